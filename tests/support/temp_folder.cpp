#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "support/process.h"

namespace kestrova::testing {

namespace {

// The running test's name, or the suite's while it sets up or tears down, as one
// folder name; parameterized names carry slashes.
std::string RunningTestName() {
  const auto* unit = ::testing::UnitTest::GetInstance();
  std::string name;
  if (const auto* test = unit->current_test_info()) {
    name = std::string(test->test_suite_name()) + "_" + test->name();
  } else if (const auto* suite = unit->current_test_suite()) {
    name = suite->name();
  }
  for (char& c : name) {
    if (c == '/' || c == '\\') c = '_';
  }
  return name;
}

}  // namespace

TempFolder::TempFolder() {
  // Several folders in one test each get a number of their own.
  static std::atomic<int> count{0};
  path_ = std::filesystem::path(::testing::TempDir()) /
          ("kestrova_" + RunningTestName() + "_" + std::to_string(CurrentProcessId()) + "_" +
           std::to_string(++count));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Read-only folders keep their content, and on Windows read-only files stay too.
  // Links are left alone: what they point to is none of the test's business.
  namespace fs = std::filesystem;
  for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    const fs::file_status status = it->symlink_status(ignored);
    if (fs::is_directory(status) || fs::is_regular_file(status)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path_, ignored);
}

std::string TempFolder::WithSeparator() const {
  return (path_ / "").string();
}

std::filesystem::path TempFolder::Write(const std::string& name, const std::string& content) const {
  const auto file = path_ / name;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
  return file;
}

std::string TempFolder::Read(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string TempFolder::ReadOnceWritten(const std::string& name) const {
  for (int i = 0; i < 500; ++i) {
    if (std::string content = Read(name); !content.empty()) return content;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return {};
}

}  // namespace kestrova::testing
