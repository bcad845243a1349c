#include "zip/wildcard.h"

namespace kestrova {
namespace {

char16_t UpperChar(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return char16_t(c - 32);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && c != 0x131 && c != 0x138 && c != 0x149) {
    // Latin Extended-A pairs letters as upper/lower neighbours; the parity of the
    // upper one flips between 0x138 and 0x149 and again at 0x178.
    const bool odd_lower = (c < 0x138) || (c > 0x149 && c < 0x178);
    if (odd_lower && (c & 1)) return char16_t(c - 1);
    if (!odd_lower && !(c & 1) && c != 0x178) return char16_t(c - 1);
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return char16_t(c - 32);  // Greek
  if (c >= 0x430 && c <= 0x44F) return char16_t(c - 32);                // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return char16_t(c - 80);
  return c;
}

}  // namespace

std::u16string UpperName(std::u16string_view name) {
  std::u16string upper(name);
  for (char16_t& c : upper) c = UpperChar(c);
  return upper;
}

bool MatchesMask(std::u16string_view name, std::u16string_view mask) {
  if (mask == u"*.*" || mask == u"*") return true;
  size_t n = 0, m = 0;
  size_t star = std::u16string_view::npos, resume = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == u'*') {
      star = m++;
      resume = n;
    } else if (m < mask.size() && (mask[m] == u'?' || UpperChar(mask[m]) == UpperChar(name[n]))) {
      ++m;
      ++n;
    } else if (star != std::u16string_view::npos) {
      m = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == u'*') ++m;
  return m == mask.size();
}

bool MatchesAnyMask(std::u16string_view name, const std::vector<std::u16string>& masks) {
  for (const auto& mask : masks) {
    if (MatchesMask(name, mask)) return true;
  }
  return false;
}

bool HasWildcard(std::u16string_view mask) {
  return mask.find_first_of(u"*?") != std::u16string_view::npos;
}

}  // namespace kestrova
