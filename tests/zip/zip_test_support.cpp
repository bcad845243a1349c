#include "zip_test_support.h"

#include <fstream>
#include <random>
#include <sstream>

#include "base/text.h"

namespace kestrova::testing {

void ZipTest::SetUp() {
  folder_ = std::make_unique<TempFolder>();
  dir_ = folder_->path();
}

void ZipTest::TearDown() { folder_.reset(); }

fs::path Utf8Path(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

fs::path ZipTest::Make(const std::string& relative, const std::string& content) {
  const fs::path path = Path(relative);
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

// The UTF-8 form, which string() gives only where the system's code page is UTF-8.
std::u16string U(const fs::path& path) {
  const std::u8string utf8 = path.u8string();
  return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}
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

std::set<std::string> EntryNames(const fs::path& archive) {
  ZipArchiver archiver;
  archiver.FileName = U(archive);
  archiver.Open(fmOpenReadDenyNone);
  std::set<std::string> names;
  for (const auto& item : archiver.Items()) names.insert(Utf16ToUtf8(item.name));
  return names;
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
