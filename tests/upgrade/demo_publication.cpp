#include "demo_publication.h"

#include <filesystem>

namespace kestrova::testing {

DemoPublication::DemoPublication(const std::string& completion_log)
    : server_(std::make_unique<test::ReferenceServer>(folder_.WithSeparator(), "/update", completion_log)) {}

void DemoPublication::Announce(const std::string& version, const std::string& date) const {
  folder_.Write("Demo/release.ini", "[release]\nversion=" + version + "\ndate=" + date + "\n");
}

void DemoPublication::Describe(const std::string& file_name, const std::string& text) const {
  folder_.Write("Demo/" + file_name, text);
}

void DemoPublication::PublishActionList(const std::string& text) const {
  folder_.Write("Demo/actionlist.ini", text);
}

std::string DemoPublication::FilePath(const std::string& name) const {
  const std::filesystem::path file = folder_.path() / "Demo" / "files" / name;
  std::filesystem::create_directories(file.parent_path());
  return file.string();
}

}  // namespace kestrova::testing
