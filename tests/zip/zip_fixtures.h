// Fixtures that the portable ZIP tests share with their Unix-only siblings.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "zip/parallel_deflate.h"
#include "zip_test_support.h"

namespace kestrova::testing {

/// Extraction cases: one deflated file to damage, and an extraction that records failures.
class ExtractionFixture : public ZipTest {
 protected:
  // An archive of one deflated file "data.txt" and the offset of its data.
  size_t MakeDeflatedArchive(const std::string& content) {
    Make("src/data.txt", content);
    ZipArchiver archiver;
    archiver.SetCompressionLevel(clMax);
    CreateArchive(archiver, Path("t.zip"), Path("src"), {u"data.txt"});
    const std::string bytes = ReadFile(Path("t.zip"));
    return 30 + Read16(bytes, 26) + Read16(bytes, 28);
  }
  std::vector<ReportedFailure> Extract(const fs::path& archive, const std::function<void(ZipArchiver&)>& setup = {}) {
    ZipArchiver archiver;
    archiver.FileName = U(archive);
    archiver.BaseDir = U(Path("out"));
    archiver.FileMasks = {u"*.*"};
    RecordFailures(archiver);
    if (setup) setup(archiver);
    archiver.Open(fmOpenReadDenyNone);
    archiver.ExtractMatching();
    return failures;
  }
  // Only the entries themselves: no temporary files left beside them.
  std::vector<std::string> FolderContent(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

/// Adding where one file vanishes between the listing and its turn.
class WriterFailureFixture : public ZipTest {
 protected:
  // Adds a.txt and b.txt in one call; b.txt vanishes before it is written.
  void AddWithVanishingFile(ZipArchiver& archiver, TFileFailureAction action) {
    Make("base/a.txt", "a");
    Make("base/b.txt", "b");
    archiver.FileName = U(Path("t.zip"));
    archiver.BaseDir = U(Path("base"));
    archiver.Open(fmCreate);
    archiver.AddMatching(u"first.txt");
    after_first_ = ReadFile(Path("t.zip"));
    archiver.OnStoreFile = [&](ZipArchiver&, std::u16string& name, uint32_t&, std::string&,
                               const std::u16string&) {
      if (name == u"b.txt") fs::remove(Path("base/b.txt"));
    };
    RecordFailures(archiver, action);
    archiver.AddMatching(u"*.txt");
  }
  std::string after_first_;
};

/// A folder for the parallel add: small files around large ones.
class ParallelWriterFixture : public ZipTest {
 protected:
  static constexpr size_t kLarge = ParallelDeflate::kWholeLimit + (3 << 20);  // cut into blocks

  // Many small files around a file cut into blocks, an incompressible one as large, and
  // one compressed whole over several chunks of progress.
  void MakeFolder() {
    for (int i = 0; i < 300; ++i) {
      Make("base/small/f" + std::to_string(i) + ".txt", CompressibleText(size_t(i) * 97));
    }
    Make("base/big/text.bin", CompressibleText(kLarge));
    Make("base/big/noise.bin", RandomBytes(kLarge, 7));
    Make("base/big/whole.bin", CompressibleText(4 << 20));
  }
};

}  // namespace kestrova::testing
