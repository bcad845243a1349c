// `kestrova --check`: what the updater reads from its configuration, and what is
// wrong with it, before a customer meets it.
#pragma once

#include <string>
#include <vector>

namespace kestrova {

/// The lines the check prints, and whether it found nothing wrong. Problem lines
/// start with "error: ".
struct ConfigurationReport {
  std::vector<std::string> lines;
  bool ok = true;
};

/// Reads the configuration of the updater at `executable_path` as a start would,
/// changing no file, and asks each configured release server once. Runs on the GUI
/// thread (GuiThread::Attach), whose hand-over the server requests use.
ConfigurationReport CheckConfiguration(const std::string& executable_path);

/// The number of single-character insertions, removals and replacements that turn
/// `a` into `b`, ASCII letters compared without regard to case.
size_t EditDistance(std::string_view a, std::string_view b);

}  // namespace kestrova
