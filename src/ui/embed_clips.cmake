# Writes a C++ source holding the given files as byte arrays, so the program carries
# its clips without any file beside it. Usage:
#   cmake -DOUTPUT=out.cpp -DINPUTS="a.avi;b.avi" -P embed_clips.cmake
set(arrays "")
set(table "")
foreach(input IN LISTS INPUTS)
  get_filename_component(name "${input}" NAME_WE)
  string(TOLOWER "${name}" name)
  file(READ "${input}" hex HEX)
  file(SIZE "${input}" size)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "const unsigned char k_${name}[] = {\n    ${bytes}};\n")
  string(APPEND table "    {\"${name}\", std::string_view(reinterpret_cast<const char*>(k_${name}), ${size})},\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from resources/ by embed_clips.cmake; do not edit.
#include \"ui/embedded_clips.h\"

namespace kestrova::ui {
namespace {
${arrays}
const EmbeddedClip kClips[] = {
${table}};
}  // namespace

std::span<const EmbeddedClip> EmbeddedClips() { return kClips; }

}  // namespace kestrova::ui
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
