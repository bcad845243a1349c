// The save and install steps through the real archive dialog: what the save archive
// holds, and that a bad release leaves the installation byte for byte as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "support/peers.h"
#include "upgrade/form_main_screen.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

int Python(const std::string& script, const std::string& args, std::string* output = nullptr) {
  const std::string command = "python3 -c '" + script + "' " + args;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    if (output) output->append(buffer, n);
  }
  return pclose(pipe);
}

class SaveInstall : public ::testing::Test {
 protected:
  SaveInstall() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME")) old_cache_ = cache;
    setenv("XDG_CACHE_HOME", temp_.WithSeparator().c_str(), 1);
    settings_.app_directory = app_.WithSeparator();
    settings_.name = "Demo";
    settings_.selected_server = test::RefusingBaseUrl();
    settings_.link_for_update = "/update";
    settings_.internet_option_connect_timeout = 1;
    settings_.INTERNET_OPEN_TYPE = kOpenTypeDirect;
    form_ = std::make_unique<TFormMainScreen>(settings_, "kestrova");
  }
  ~SaveInstall() override {
    form_.reset();
    if (old_cache_) {
      setenv("XDG_CACHE_HOME", old_cache_->c_str(), 1);
    } else {
      unsetenv("XDG_CACHE_HOME");
    }
  }

  // Writes a release archive into the application folder (entries stored, so that
  // their bytes can be found and damaged).
  void MakeRelease(const std::string& name, const Files& files) {
    std::string args = "'" + app_.WithSeparator() + name + "'";
    for (const auto& [entry, content] : files) args += " '" + entry + "' '" + content + "'";
    ASSERT_EQ(Python("import sys, zipfile\n"
                     "z = zipfile.ZipFile(sys.argv[1], \"w\")\n"
                     "for i in range(2, len(sys.argv), 2): z.writestr(sys.argv[i], sys.argv[i + 1])",
                     args),
              0);
  }
  // Every file below the application folder with its content.
  Files Installed() const {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(app_.WithSeparator())) {
      if (entry.is_regular_file()) files[fs::relative(entry.path(), app_.WithSeparator()).string()] = test::ReadFile(entry.path().string());
    }
    return files;
  }
  std::string SaveListing(const std::string& name, const std::string& generation = "") {
    std::string names;
    EXPECT_EQ(Python("import sys, zipfile\n"
                     "z = zipfile.ZipFile(sys.argv[1])\n"
                     "assert z.testzip() is None\n"
                     "print(*sorted(z.namelist()))",
                     "'" + temp_.WithSeparator() + "kestrova/" + name + "_save" + generation + ".zip'", &names),
              0);
    return names;
  }

  testing::TempFolder app_;
  testing::TempFolder temp_;
  std::optional<std::string> old_cache_;
  TSettings settings_;
  std::unique_ptr<TFormMainScreen> form_;
};

TEST_F(SaveInstall, SaveWritesEveryNamedPathIntoTheTemporaryFolder) {
  app_.Write("program.bin", "program");
  app_.Write("data/one.txt", "1");
  app_.Write("data/two.txt", "2");
  EXPECT_TRUE(form_->SaveCurrentVersion({"program.bin", "data\\*.*", "nothing-*.dat"}));
  EXPECT_EQ(form_->LastStatus, 1);
  EXPECT_EQ(SaveListing("Demo"), "data/one.txt data/two.txt program.bin\n");
  EXPECT_EQ(fs::status(temp_.path() / "kestrova").permissions(), fs::perms::owner_all) << "the user's own";

  // Another application keeps its own archive; the same one replaces its own.
  settings_.name = "Other";
  EXPECT_TRUE(form_->SaveCurrentVersion({"nothing-*.dat"}));
  EXPECT_EQ(SaveListing("Other"), "\n");
  EXPECT_EQ(SaveListing("Demo"), "data/one.txt data/two.txt program.bin\n");
  settings_.name = "Demo";
  EXPECT_TRUE(form_->SaveCurrentVersion({"program.bin"}));
  EXPECT_TRUE(form_->SaveCurrentVersion({"data\\one.txt"}));
  EXPECT_TRUE(form_->SaveCurrentVersion({"data\\two.txt"}));
  // The latest save and the two before it; the oldest is gone.
  EXPECT_EQ(SaveListing("Demo"), "data/two.txt\n");
  EXPECT_EQ(SaveListing("Demo", ".1"), "data/one.txt\n");
  EXPECT_EQ(SaveListing("Demo", ".2"), "program.bin\n");
  EXPECT_FALSE(fs::exists(temp_.path() / "kestrova/Demo_save.3.zip"));
}

TEST_F(SaveInstall, SaveWithoutAPrivateFolderFails) {
  form_->LastStatus = 1;  // as the download step leaves it
  const std::string blocked = temp_.Write("a-file", "").string() + "/below";
  setenv("XDG_CACHE_HOME", blocked.c_str(), 1);
  const std::string tmpdir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  setenv("TMPDIR", blocked.c_str(), 1);
  EXPECT_FALSE(form_->SaveCurrentVersion({"program.bin"}));
  setenv("TMPDIR", tmpdir.c_str(), 1);
  if (tmpdir.empty()) unsetenv("TMPDIR");
  EXPECT_EQ(form_->LastStatus, 3);
  EXPECT_NE(form_->LastArchiveError.find("no private folder"), std::string::npos) << form_->LastArchiveError;
}

TEST_F(SaveInstall, InstallReplacesExistingAndReadOnlyFiles) {
  app_.Write("program.bin", "old program");
  app_.Write("readme.txt", "old readme");
  fs::permissions(app_.WithSeparator() + "readme.txt", fs::perms::owner_read);
  app_.Write("keep.cfg", "settings");
  MakeRelease("release1.zip", {{"program.bin", "new program"}, {"lib/new.so", "library"}});
  MakeRelease("release2.zip", {{"readme.txt", "new readme"}});
  form_->ReleaseFiles = {"release1.zip", "release2.zip"};
  EXPECT_TRUE(form_->VerifyReleaseArchives());
  EXPECT_TRUE(form_->InstallRelease());
  EXPECT_EQ(form_->LastStatus, 1);
  Files installed = Installed();
  installed.erase("release1.zip");
  installed.erase("release2.zip");
  EXPECT_EQ(installed, (Files{{"program.bin", "new program"}, {"readme.txt", "new readme"},
                              {"keep.cfg", "settings"}, {"lib/new.so", "library"}}));
}

TEST_F(SaveInstall, BadReleaseLeavesEveryInstalledFileAsItWas) {
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::string error;  // the start of LastArchiveError
  };
  const std::vector<Case> cases = {
      {"crc failure in the second archive",
       [this] {
         std::string bytes = test::ReadFile(app_.WithSeparator() + "release2.zip");
         bytes[bytes.find("new readme")] = 'N';
         app_.Write("release2.zip", bytes);
       },
       "Invalid size or check sum of file or unsupported compression format - Native error: 00008"},
      {"missing archive", [this] { fs::remove(app_.WithSeparator() + "release2.zip"); },
       "File \"" + app_.WithSeparator() + "release2.zip\" not found - Native error: 00012"},
      {"target that cannot be replaced", [this] { fs::create_directories(app_.WithSeparator() + "readme.txt/in/the/way"); },
       "Cannot create file \"" + app_.WithSeparator() + "readme.txt\" - Native error: 00019"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(app_.WithSeparator());
    fs::create_directories(app_.WithSeparator());
    app_.Write("program.bin", "old program");
    MakeRelease("release1.zip", {{"program.bin", "new program"}, {"lib/new.so", "library"}});
    MakeRelease("release2.zip", {{"readme.txt", "new readme"}});
    form_->ReleaseFiles = {"release1.zip", "release2.zip"};
    c.prepare();
    const Files before = Installed();
    if (std::string(c.name) != "target that cannot be replaced") {
      EXPECT_FALSE(form_->VerifyReleaseArchives());
      EXPECT_EQ(form_->LastStatus, 3);
      EXPECT_EQ(form_->LastArchiveError, c.error);
    }
    EXPECT_FALSE(form_->InstallRelease());
    EXPECT_EQ(form_->LastStatus, 3);
    EXPECT_EQ(form_->LastArchiveError, c.error);
    EXPECT_EQ(Installed(), before);
    EXPECT_FALSE(fs::exists(app_.WithSeparator() + "lib"));
  }
}

TEST_F(SaveInstall, NoReleaseFileIsAFailure) {
  form_->LastStatus = 1;
  form_->ReleaseFiles.clear();
  EXPECT_FALSE(form_->VerifyReleaseArchives());
  EXPECT_FALSE(form_->InstallRelease());
  EXPECT_EQ(form_->LastStatus, 3);
  EXPECT_EQ(form_->LastArchiveError, "The action list names no release file");
}

}  // namespace
}  // namespace kestrova
