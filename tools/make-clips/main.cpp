// make-clips: draws the program's animation clips and writes them as AVI files.
//   make-clips OUTPUT_DIR    writes OUTPUT_DIR/anim.avi and OUTPUT_DIR/wheel.avi
#include <cstdio>
#include <fstream>
#include <string>

#include "avi_writer.h"
#include "clip_art.h"

namespace {

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-clips OUTPUT_DIR\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  using namespace kestrova::clips;
  if (!WriteFile(dir + "anim.avi", WriteAvi16(DrawAnimClip())) ||
      !WriteFile(dir + "wheel.avi", WriteAvi16(DrawWheelClip()))) {
    std::fprintf(stderr, "make-clips: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
