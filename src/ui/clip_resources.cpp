#include "ui/clip_resources.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "ui/embedded_clips.h"

namespace kestrova::ui {

std::string_view ClipResource(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const EmbeddedClip& clip : EmbeddedClips()) {
    if (clip.name == lower) return clip.bytes;
  }
  return {};
}

}  // namespace kestrova::ui
