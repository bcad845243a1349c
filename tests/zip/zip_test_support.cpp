#include "zip_test_support.h"

#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "base/text.h"
#include "support/process.h"

namespace kestrova::testing {

void ZipTest::SetUp() {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir_ = fs::path(::testing::TempDir()) /
         ("kzip-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(counter++) + "-" + info->name());
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

void ZipTest::TearDown() {
  std::error_code ignored;
  // Read-only files inside folders are removable; read-only folders are not.
  for (auto it = fs::recursive_directory_iterator(dir_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    if (it->is_directory(ignored)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(dir_, ignored);
}

fs::path ZipTest::Make(const std::string& relative, const std::string& content) {
  const fs::path path = dir_ / relative;
  fs::create_directories(path.parent_path());
  WriteFile(path, content);
  return path;
}

void ZipTest::RecordFailures(ZipArchiver& archiver, TFileFailureAction action) {
  archiver.OnProcessFileFailure = [this, action](ZipArchiver&, const std::u16string& name,
                                                 TProcessOperation, int native, int,
                                                 const std::string& message, TFileFailureAction& answer) {
    failures.push_back({name, native, message});
    answer = action;
  };
}

std::u16string U(const fs::path& path) { return Utf8ToUtf16(path.string()); }
std::u16string U(const std::string& text) { return Utf8ToUtf16(text); }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string CompressibleText(size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line) text += "line " + std::to_string(line % 977) + " of the text\n";
  text.resize(size);
  return text;
}

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

int Shell(const std::string& command, std::string* output) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  while (const size_t n = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  const int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunPython(const fs::path& folder, const std::string& script, const std::string& args,
              std::string* output) {
  const fs::path file = folder / "script.py";
  WriteFile(file, script);
  return Shell("python3 " + Quote(file) + " " + args, output);
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

uint16_t Read16(const std::string& bytes, size_t at) {
  return uint16_t(uint8_t(bytes[at]) | (uint8_t(bytes[at + 1]) << 8));
}

uint32_t Read32(const std::string& bytes, size_t at) {
  return uint32_t(Read16(bytes, at)) | (uint32_t(Read16(bytes, at + 2)) << 16);
}

void CreateArchive(ZipArchiver& archiver, const fs::path& archive, const fs::path& base,
                   const std::vector<std::u16string>& masks) {
  archiver.FileName = U(archive);
  archiver.BaseDir = U(base);
  archiver.Open(fmCreate);
  for (const auto& mask : masks) archiver.AddMatching(mask);
  archiver.Close();
}

std::vector<ReportedFailure> ExtractAll(const fs::path& archive, const fs::path& target) {
  std::vector<ReportedFailure> failures;
  ZipArchiver archiver;
  archiver.FileName = U(archive);
  archiver.BaseDir = U(target);
  archiver.FileMasks = {u"*.*"};
  archiver.OnProcessFileFailure = [&](ZipArchiver&, const std::u16string& name, TProcessOperation,
                                      int native, int, const std::string& message,
                                      TFileFailureAction& action) {
    failures.push_back({name, native, message});
    action = fxaIgnore;
  };
  archiver.Open(fmOpenReadDenyNone);
  archiver.ExtractMatching();
  return failures;
}

}  // namespace kestrova::testing
