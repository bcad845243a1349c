// Builds without libcmark (the Windows one) refuse Markdown rather than show it raw.
#include "markdown_rtf.h"

namespace kestrova {

std::optional<std::string> MarkdownToRtf(std::string_view, std::string& error) {
  error = "Markdown release notes need a publisher tool built with libcmark; write the notes as RTF or plain text";
  return std::nullopt;
}

}  // namespace kestrova
