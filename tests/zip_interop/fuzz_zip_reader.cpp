// libFuzzer target: opening and extracting any byte string as an archive must end
// without a crash, undefined behaviour or leak, and must write nothing outside the
// extraction folder. EArchiverError is the expected way to refuse bad input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "base/text.h"
#include "zip/zip_archiver.h"

namespace fs = std::filesystem;

namespace {

// scratch/
//   input.zip      the archive under test
//   deep/base/     BaseDir, two levels down so that "../" escapes have somewhere to go
// The current folder stays where it is: libFuzzer reads and writes its corpus by the
// paths it was given, which may be relative.
struct Scratch {
  Scratch() {
    root = fs::temp_directory_path() / ("fuzz-zip-reader-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  fs::path root;
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

[[noreturn]] void Escaped(const fs::path& path) {
  std::fprintf(stderr, "written outside the extraction folder: %s\n", path.c_str());
  std::abort();
}

// Anything in the scratch folder other than the input and what lies below BaseDir was
// written by an escaping entry.
void CheckNothingEscaped(const fs::path& root, const fs::path& base) {
  for (const auto& entry : fs::directory_iterator(root)) {
    const auto name = entry.path().filename();
    if (name == "input.zip") continue;
    if (name != "deep") Escaped(entry.path());
    for (const auto& inner : fs::directory_iterator(entry.path())) {
      if (inner.path() != base) Escaped(inner.path());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path root = TheScratch().root;
  const fs::path archive = root / "input.zip";
  const fs::path base = root / "deep" / "base";
  std::error_code ignored;
  fs::remove_all(root / "deep", ignored);
  fs::create_directories(base);
  {
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  kestrova::ZipArchiver archiver;
  archiver.FileName = kestrova::Utf8ToUtf16(archive.string());
  archiver.BaseDir = kestrova::Utf8ToUtf16(base.string());
  archiver.FileMasks = {u"*.*"};
  archiver.OnProcessFileFailure = [](kestrova::ZipArchiver&, const std::u16string&,
                                     kestrova::TProcessOperation, int, int, const std::string&,
                                     kestrova::TFileFailureAction& action) {
    action = kestrova::fxaIgnore;
  };
  try {
    archiver.Open(kestrova::fmOpenReadDenyNone);
    archiver.ExtractMatching();
    archiver.TestMatching();
  } catch (const kestrova::EArchiverError&) {
  }
  archiver.Close();

  CheckNothingEscaped(root, base);
  return 0;
}
