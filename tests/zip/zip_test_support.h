// Shared helpers of the ZIP tests: a private temporary folder per test, file
// helpers, running peer tools, and reading raw archive bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "zip/zip_archiver.h"

namespace kestrova::testing {

namespace fs = std::filesystem;

/// A path from UTF-8 text, which a plain string gives only where the code page is UTF-8.
fs::path Utf8Path(const std::string& text);

/// A failure reported through OnProcessFileFailure.
struct ReportedFailure {
  std::u16string file_name;
  int native_error = 0;
  std::string message;
};

/// Fixture giving each test an empty folder of its own, removed afterwards.
class ZipTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  fs::path Path(const std::string& relative) const { return dir_ / Utf8Path(relative); }
  /// Writes `content` to the relative path, creating its folders.
  fs::path Make(const std::string& relative, const std::string& content);
  /// Records failures (answering `action`) into `failures`.
  void RecordFailures(ZipArchiver& archiver, TFileFailureAction action = fxaIgnore);

  fs::path dir_;
  std::vector<ReportedFailure> failures;

 private:
  std::unique_ptr<TempFolder> folder_;
};

std::u16string U(const fs::path& path);
std::u16string U(const std::string& text);
std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& content);
/// Bytes that deflate well, and bytes that do not.
std::string CompressibleText(size_t size);
std::string RandomBytes(size_t size, unsigned seed = 1);

/// Runs a shell command; returns its exit status and puts its output in `output`.
int Shell(const std::string& command, std::string* output = nullptr);
/// Runs a python3 script with arguments; returns the exit status.
int RunPython(const fs::path& folder, const std::string& script, const std::string& args,
              std::string* output = nullptr);
std::string Quote(const fs::path& path);

uint16_t Read16(const std::string& bytes, size_t at);
uint32_t Read32(const std::string& bytes, size_t at);

/// Creates an archive with `archiver` settings applied by the caller, adding `mask`.
void CreateArchive(ZipArchiver& archiver, const fs::path& archive, const fs::path& base,
                   const std::vector<std::u16string>& masks);
/// The names of the entries in `archive`, as UTF-8.
std::set<std::string> EntryNames(const fs::path& archive);
/// Extracts all of `archive` into `target` with default options; returns failures.
std::vector<ReportedFailure> ExtractAll(const fs::path& archive, const fs::path& target);

}  // namespace kestrova::testing
