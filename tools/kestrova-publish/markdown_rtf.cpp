#include "markdown_rtf.h"

#include <cstdint>

#include "base/text.h"

namespace kestrova {
namespace {

bool EndsWithIgnoreCase(const std::string& path, std::string_view suffix) {
  return path.size() >= suffix.size() &&
         EqualsIgnoreCase(std::string_view(path).substr(path.size() - suffix.size()), suffix);
}

// The code point starting at text[i] and its length; nothing for a malformed sequence.
std::optional<char32_t> DecodeUtf8(std::string_view text, size_t i, size_t& length) {
  const auto lead = static_cast<unsigned char>(text[i]);
  length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (lead >= 0xF8 || (lead >= 0x80 && lead < 0xC2) || i + length > text.size()) {
    length = 1;
    return std::nullopt;
  }
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      length = 1;
      return std::nullopt;
    }
    c = (c << 6) | (next & 0x3F);
  }
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  return c;
}

// \uN takes a signed 16-bit number.
void AppendUnicodeUnit(std::string& rtf, uint32_t unit) {
  rtf += "\\u" + std::to_string(static_cast<int16_t>(static_cast<uint16_t>(unit))) + "?";
}

}  // namespace

bool IsMarkdownName(const std::string& path) {
  return EndsWithIgnoreCase(path, ".md") || EndsWithIgnoreCase(path, ".markdown");
}

std::string EscapeRtfText(std::string_view text) {
  std::string rtf;
  for (size_t i = 0; i < text.size();) {
    size_t length = 1;
    const auto c = DecodeUtf8(text, i, length);
    i += length;
    if (!c) {
      rtf += '?';
    } else if (*c == '\\' || *c == '{' || *c == '}') {
      rtf += {'\\', static_cast<char>(*c)};
    } else if (*c == '\t') {
      rtf += "\\tab ";
    } else if (*c < 0x20) {
      rtf += ' ';
    } else if (*c < 0x80) {
      rtf += static_cast<char>(*c);
    } else if (*c < 0x10000) {
      AppendUnicodeUnit(rtf, *c);
    } else {
      AppendUnicodeUnit(rtf, 0xD800 + ((*c - 0x10000) >> 10));
      AppendUnicodeUnit(rtf, 0xDC00 + ((*c - 0x10000) & 0x3FF));
    }
  }
  return rtf;
}

}  // namespace kestrova
