// Configuration paths that lead to a pipe, a device or megabytes, which Linux lets a
// name be: each is refused by name and reason, and nothing waits on it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>

#include "base/files.h"
#include "core/configuration.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

TEST(ConfigurationPosixTest, APipeADeviceOrAHugeFileIsRefusedByNameWithoutWaiting) {
  struct Case {
    const char* file_name;
    std::string made_as;  // "pipe", a device to link to, or the content
    std::string reason;   // "" when the load succeeds
  };
  const std::vector<Case> cases = {
      {"updater.ini", "pipe", "is not a regular file"},  {"demo.cfg", "pipe", "is not a regular file"},
      {"demo.cfg", "/dev/zero", "is not a regular file"}, {"demo.cfg", "/dev/null", "is not a regular file"},
      {"demo.cfg", "", "is larger than 1 MiB"},           {"demo.cfg", "V=2\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file_name + (" " + c.reason));
    kestrova::testing::TempFolder folder;
    folder.Write("updater.ini", "[application]\nfilename_config=demo.cfg\nparam_appli_version=V\n");
    const std::string path = (folder.path() / c.file_name).string();
    std::filesystem::remove(path);
    if (c.made_as == "pipe") ::mkfifo(path.c_str(), 0644);
    else if (c.made_as.starts_with("/dev/")) ::symlink(c.made_as.c_str(), path.c_str());
    else folder.Write(c.file_name, c.made_as.empty() ? std::string(kMaxConfigurationSize + 1, 'x') : c.made_as);
    TSettings settings;
    settings.app_directory = folder.WithSeparator();
    auto load = std::async(std::launch::async, [&]() -> std::string {
      try {
        LoadConfiguration(settings, "updater", {});
      } catch (const EInOutError& error) {
        return error.what();
      }
      return {};
    });
    const bool ended = load.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    EXPECT_TRUE(ended) << "the load waits on the pipe";
    if (!ended) ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));  // lets it go
    const std::string message = load.get();
    EXPECT_NE(message.find(c.reason.empty() ? "" : path + " " + c.reason), std::string::npos) << message;
    if (c.reason.empty()) EXPECT_EQ(settings.current_version, "2") << message;
  }
}

}  // namespace
}  // namespace kestrova
