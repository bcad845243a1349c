#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "support/process.h"

namespace kestrova::testing {

TempFolder::TempFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  path_ = std::filesystem::path(::testing::TempDir()) /
          (std::string("kestrova_") + info->test_suite_name() + "_" + info->name() + "_" +
           std::to_string(CurrentProcessId()));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
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
