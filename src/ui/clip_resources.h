// The animation clips embedded in the program.
#pragma once

#include <string_view>

namespace kestrova::ui {

/// The bytes of the embedded AVI clip `name` ("anim", "wheel"; letter case does not
/// matter), or an empty view when there is none of that name.
std::string_view ClipResource(std::string_view name);

}  // namespace kestrova::ui
