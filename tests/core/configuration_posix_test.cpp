// Configuration paths that lead to a pipe, a device or megabytes, which Linux lets a
// name be: each is refused by name and reason, and nothing waits on it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <future>

#include "base/files.h"
#include "core/configuration.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

TEST(ConfigurationPosixTest, APipeADeviceOrAHugeFileIsRefusedByNameWithoutWaiting) {
  using Make = std::function<void(const std::string& path)>;
  const Make pipe = [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); };
  const auto link_to = [](const char* device) {
    return [device](const std::string& path) { ASSERT_EQ(::symlink(device, path.c_str()), 0); };
  };
  const auto file = [](std::string content) {
    return [content](const std::string& path) { std::ofstream(path, std::ios::binary) << content; };
  };
  struct Case {
    const char* file_name;
    Make make;
    std::string reason;  // "" when the load succeeds
  };
  const std::vector<Case> cases = {
      {"updater.ini", pipe, "is not a regular file"},
      {"demo.cfg", pipe, "is not a regular file"},
      {"demo.cfg", link_to("/dev/zero"), "is not a regular file"},
      {"demo.cfg", link_to("/dev/null"), "is not a regular file"},
      {"demo.cfg", file(std::string(kMaxConfigurationSize + 1, 'x')), "is larger than 1 MiB"},
      {"demo.cfg", file("V=2\n"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file_name + (" " + c.reason));
    kestrova::testing::TempFolder folder;
    const std::string path = (folder.path() / c.file_name).string();
    if (std::string(c.file_name) != "updater.ini") {
      folder.Write("updater.ini", "[application]\nfilename_config=demo.cfg\nparam_appli_version=V\n");
    }
    c.make(path);
    TSettings settings;
    settings.app_directory = folder.WithSeparator();
    auto load = std::async(std::launch::async, [&]() -> std::string {
      try {
        LoadConfiguration(settings, "updater", {});
        return {};
      } catch (const EInOutError& error) {
        return error.what();
      }
    });
    const bool ended = load.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    EXPECT_TRUE(ended) << "the load waits on the pipe";
    if (!ended) ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));  // lets it go
    const std::string message = load.get();
    if (c.reason.empty()) {
      EXPECT_EQ(message, "");
      EXPECT_EQ(settings.current_version, "2");
    } else {
      EXPECT_NE(message.find(path + " " + c.reason), std::string::npos) << message;
    }
  }
}

}  // namespace
}  // namespace kestrova
