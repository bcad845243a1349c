// Turns Markdown release notes into the RTF the updater's window shows formatted.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

/// Whether the description file `path` is Markdown: it ends in ".md" or ".markdown".
bool IsMarkdownName(const std::string& path);

/// The RTF for `markdown`: headings bold and larger, strong bold, emphasis italic,
/// code marked fixed-pitch (\f1), list items after a bullet or their number, links as
/// their text; raw HTML is left out. Nothing, with `error` set, when this build of
/// the tool cannot read Markdown.
std::optional<std::string> MarkdownToRtf(std::string_view markdown, std::string& error);

/// `text` (UTF-8) as RTF text: "\", "{" and "}" escaped, tabs as \tab, anything
/// beyond ASCII as \uN? (UTF-16 units; an invalid byte becomes "?").
std::string EscapeRtfText(std::string_view text);

}  // namespace kestrova
