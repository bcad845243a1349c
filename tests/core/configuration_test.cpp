#include "core/configuration.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace kestrova {
namespace {

using kestrova::testing::TempFolder;
namespace fs = std::filesystem;

// 0444 or 0644, through the library so that Windows sets the read-only attribute.
void SetReadOnly(const fs::path& file, bool read_only) {
  const auto read = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  fs::permissions(file, read_only ? read : read | fs::perms::owner_write);
}

constexpr char kFullConfiguration[] =
    "[application]\r\n"
    "check_release=1\r\nname=Demo\r\nmain_program=bin\\demo\r\nmain_directory=bin\r\n"
    "program_parameters=-silent\r\nprocess_priority=3\r\nfilename_config=demo.cfg\r\n"
    "param_email=EMAIL\r\nparam_appli_version=VERSION\r\n"
    "[server]\r\nserver_addr1=http://one\r\nserver_addr2=http://two\r\n"
    "internet_option_connect_timeout=0x1E\r\nINTERNET_OPEN_TYPE=1\r\nPROXY_SERVER=proxy:3128\r\n"
    "PROXY_LOGIN=user\r\nPROXY_PASSWORD=secret\r\nlink_for_update=/upd.php\r\n";

class ConfigurationTest : public ::testing::Test {
 protected:
  ConfigurationTest() { settings_.app_directory = folder_.WithSeparator(); }

  bool Load() {
    return LoadConfiguration(settings_, "updater.exe", [this](const std::string& caption, const std::string& text) {
      messages_.push_back(caption + "|" + text);
    });
  }

  TempFolder folder_;
  TSettings settings_;
  std::vector<std::string> messages_;
};

TEST(ConfigurationPathTest, ReplacesTheExtensionOfTheExecutable) {
  EXPECT_EQ(ConfigurationPath("/app/", "updater.exe"), "/app/updater.ini");
  EXPECT_EQ(ConfigurationPath("/app/", "kestrova"), "/app/kestrova.ini");
  EXPECT_EQ(ConfigurationPath("/app/", "my.tool.bin"), "/app/my.tool.ini");
}

TEST(ReleaseComparisonTest, ComparesVersionTextsByteByByte) {
  EXPECT_TRUE(IsNewerRelease("2.0", "1.9"));
  EXPECT_FALSE(IsNewerRelease("1.10", "1.9"));
  EXPECT_FALSE(IsNewerRelease("2.0", "2.0"));
  EXPECT_TRUE(IsNewerRelease("2.0.1", "2.0"));
  EXPECT_FALSE(IsNewerRelease("2.0", "2.0.1"));
  EXPECT_FALSE(IsNewerRelease("", "1.0"));
  EXPECT_TRUE(IsNewerRelease("a", "B")) << "no case folding";
  EXPECT_TRUE(IsNewerRelease("\xE9", "z")) << "bytes compare unsigned";
  EXPECT_FALSE(IsNewerRelease(" 2.0", "1.0")) << "no trimming";
}

TEST_F(ConfigurationTest, MissingConfigurationShowsTheMessageAndChangesNothing) {
  settings_.process_priority = 0;
  EXPECT_FALSE(Load());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Error|The file: " + folder_.WithSeparator() +
                              "updater.ini is missing! Impossible to run the software.");
  EXPECT_EQ(settings_.process_priority, 0) << "nothing is started after the message";
}

TEST_F(ConfigurationTest, APlainLauncherReadsOnlyTheApplicationSection) {
  folder_.Write("updater.ini", "[application]\ncheck_release=0\n[server]\nserver_addr1=http://x\n");
  settings_.server_addr1 = "kept";
  ASSERT_TRUE(Load());
  EXPECT_FALSE(settings_.check_release);
  EXPECT_EQ(settings_.process_priority, 2);
  EXPECT_EQ(settings_.main_program, "");
  EXPECT_EQ(settings_.server_addr1, "kept") << "fields the plain launcher does not read keep their values";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 1)
      << "no other file is touched";
}

TEST_F(ConfigurationTest, ReadsEveryFieldAndClearsTheProxyUnlessNamed) {
  folder_.Write("updater.ini", kFullConfiguration);
  folder_.Write("demo.cfg", "[Kestrova]\r\nVERSION=2.3.1\r\nEMAIL=user@example.org\r\n");
  ASSERT_TRUE(Load());
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(settings_.name, "Demo");
  EXPECT_EQ(settings_.main_program, "bin\\demo");
  EXPECT_EQ(settings_.process_priority, 3) << "\"process_priority \" is found without its blank";
  EXPECT_EQ(settings_.current_version, "2.3.1");
  EXPECT_EQ(settings_.email, "user@example.org");
  EXPECT_EQ(settings_.internet_option_connect_timeout, 30);
  EXPECT_EQ(settings_.INTERNET_OPEN_TYPE, 1);
  EXPECT_EQ(settings_.PROXY_SERVER, "");
  EXPECT_EQ(settings_.PROXY_LOGIN, "");
  EXPECT_EQ(settings_.PROXY_PASSWORD, "");
  EXPECT_EQ(settings_.link_for_update, "/upd.php");

  std::string named_proxy = kFullConfiguration;
  named_proxy.replace(named_proxy.find("INTERNET_OPEN_TYPE=1"), 20, "INTERNET_OPEN_TYPE=3");
  named_proxy.replace(named_proxy.find("0x1E"), 4, "abc");
  folder_.Write("updater.ini", named_proxy);
  ASSERT_TRUE(Load());
  EXPECT_EQ(settings_.PROXY_SERVER, "proxy:3128");
  EXPECT_EQ(settings_.PROXY_PASSWORD, "secret");
  EXPECT_EQ(settings_.internet_option_connect_timeout, 5);
}

TEST_F(ConfigurationTest, InsertsTheMarkerOnceInFrontOfTheApplicationsBytes) {
  folder_.Write("updater.ini", kFullConfiguration);
  folder_.Write("demo.cfg", "VERSION=2.3.1");
  ASSERT_TRUE(Load());
  EXPECT_EQ(folder_.Read("demo.cfg"), "[Kestrova]\r\nVERSION=2.3.1");
  EXPECT_EQ(settings_.current_version, "2.3.1");
  EXPECT_EQ(settings_.email, "");
  ASSERT_TRUE(Load());
  EXPECT_EQ(folder_.Read("demo.cfg"), "[Kestrova]\r\nVERSION=2.3.1") << "a second load changes nothing";
}

TEST_F(ConfigurationTest, KeepsLargeAndOddApplicationFilesWhole) {
  folder_.Write("updater.ini", kFullConfiguration);
  std::string large;
  for (int i = 0; large.size() < 5000; ++i) large += "key" + std::to_string(i) + "=value\n";
  large += std::string("\0\xFF binary tail", 14);
  folder_.Write("demo.cfg", large);
  ASSERT_TRUE(Load());
  EXPECT_EQ(folder_.Read("demo.cfg"), "[Kestrova]\r\n" + large);
  EXPECT_EQ(settings_.current_version, "1.0") << "the version key is absent";

  folder_.Write("demo.cfg", "[Kestrova]\r\nwords only\r\n");
  ASSERT_TRUE(Load());
  EXPECT_EQ(folder_.Read("demo.cfg"), "[Kestrova]\r\n[Kestrova]\r\nwords only\r\n")
      << "a header without keys does not count as the section";

  folder_.Write("demo.cfg", "\xEF\xBB\xBFVERSION=2.5\r\n");
  ASSERT_TRUE(Load());
  EXPECT_EQ(folder_.Read("demo.cfg"), "\xEF\xBB\xBF[Kestrova]\r\nVERSION=2.5\r\n")
      << "the marker goes after a byte order mark, which stays first";
  EXPECT_EQ(settings_.current_version, "2.5");
}

TEST_F(ConfigurationTest, AReadOnlyApplicationFileIsAcceptedOnlyWhenItHasTheSection) {
  folder_.Write("updater.ini", kFullConfiguration);
  const auto cfg = folder_.Write("demo.cfg", "[Kestrova]\nVERSION=4.0\n");
  SetReadOnly(cfg, true);
  ASSERT_TRUE(Load());
  EXPECT_EQ(settings_.current_version, "4.0");

  SetReadOnly(cfg, false);
  folder_.Write("demo.cfg", "VERSION=4.0\n");
  SetReadOnly(cfg, true);
  EXPECT_THROW(Load(), EInOutError);
  EXPECT_EQ(folder_.Read("demo.cfg"), "VERSION=4.0\n");
}

TEST_F(ConfigurationTest, AMissingOrUnnamedApplicationFileIsAnInputOutputError) {
  folder_.Write("updater.ini", kFullConfiguration);
  EXPECT_THROW(Load(), EInOutError);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "demo.cfg")) << "nothing is created";
  std::string unnamed = kFullConfiguration;
  unnamed.replace(unnamed.find("filename_config=demo.cfg"), 24, "filename_config=");
  folder_.Write("updater.ini", unnamed);
  EXPECT_THROW(Load(), EInOutError);
}

TEST_F(ConfigurationTest, AnUnreadableConfigurationSaysWhy) {
  const std::string path = folder_.WithSeparator() + "updater.ini";
  struct Case {
    std::string content;
    std::string message;
  } cases[] = {
      {std::string("\xFF\xFE[\0a\0]\0", 8), path + " is UTF-16 text; save it as UTF-8 or ANSI"},
      {std::string("[application]\r\nname=\0x\r\n", 24),
       path + " is UTF-16 text; save it as UTF-8 or ANSI"},
      {"garbage without sections\r\n[server]\r\nserver_addr1=http://one\r\n",
       path + " has no [application] section"},
      {"[application]\r\nname=Demo\r\n",
       "No application configuration file is named (filename_config)."},
  };
  for (const Case& c : cases) {
    folder_.Write("updater.ini", c.content);
    try {
      Load();
      ADD_FAILURE() << c.message;
    } catch (const EInOutError& error) {
      EXPECT_EQ(error.what(), c.message);
    }
  }
}

TEST_F(ConfigurationTest, UpdateInstalledVersionWritesTheReleaseSafely) {
  folder_.Write("updater.ini", kFullConfiguration);
  const auto cfg = folder_.Write("demo.cfg", "VERSION=1.0\r\nOTHER=x\r\n");
  ASSERT_TRUE(Load());
  settings_.release_version = "2.0";
  ASSERT_TRUE(UpdateInstalledVersion(settings_));
  EXPECT_EQ(folder_.Read("demo.cfg"), "[Kestrova]\r\nVERSION=2.0\r\nOTHER=x\r\n");
  ASSERT_TRUE(Load());
  EXPECT_EQ(settings_.current_version, "2.0");

  SetReadOnly(cfg, true);
  settings_.release_version = "3.0";
  EXPECT_FALSE(UpdateInstalledVersion(settings_));
  EXPECT_EQ(folder_.Read("demo.cfg"), "[Kestrova]\r\nVERSION=2.0\r\nOTHER=x\r\n");
}

TEST_F(ConfigurationTest, CutsOverlongTexts) {
  folder_.Write("updater.ini", "[application]\ncheck_release=0\nname=" + std::string(3000, 'a') + "\n");
  ASSERT_TRUE(Load());
  EXPECT_EQ(settings_.name.size(), 2047u);
}

}  // namespace
}  // namespace kestrova
