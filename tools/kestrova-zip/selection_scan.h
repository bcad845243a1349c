// A look at what an add's masks select before the archiver adds it, for the faults
// the archiver passes over quietly and for the linked folders it does not walk.
#pragma once

#include <string>
#include <vector>

namespace kestrova {

/// What one mask selects under a base folder, as far as the tool checks it.
struct SelectionScan {
  bool matched = false;                  // some file or folder matches the mask
  std::vector<std::string> problems;     // unreadable folders, links that lead nowhere
  std::vector<std::string> extra_masks;  // the same selection inside linked folders
};

/// Walks what `mask` selects under `base_dir` the way the archiver walks it, but
/// following links to folders too. A link whose target is missing or lies on the way
/// to the link itself is a problem, not a walk.
SelectionScan ScanSelection(const std::string& base_dir, const std::string& mask);

}  // namespace kestrova
