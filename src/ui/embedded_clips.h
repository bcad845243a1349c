// The table of clips that the build embeds from resources/ (generated source).
#pragma once

#include <span>
#include <string_view>

namespace kestrova::ui {

struct EmbeddedClip {
  std::string_view name;  // lower case, without extension
  std::string_view bytes;
};

std::span<const EmbeddedClip> EmbeddedClips();

}  // namespace kestrova::ui
