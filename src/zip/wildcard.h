// File-mask matching: "*" any run, "?" any one character, "*.*" everything;
// letters compared without regard to case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

/// The upper-case form used for case-insensitive names and masks.
std::u16string UpperName(std::u16string_view name);

bool MatchesMask(std::u16string_view name, std::u16string_view mask);
bool MatchesAnyMask(std::u16string_view name, const std::vector<std::u16string>& masks);
bool HasWildcard(std::u16string_view mask);

}  // namespace kestrova
