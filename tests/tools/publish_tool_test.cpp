// kestrova-publish from the command line: keys, publishing, and what check finds.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "release/release_signature.h"
#include "support/peers.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

// Runs the tool with `arguments` (shell words); its exit code, output and errors in `output`.
int Publish(const std::string& arguments, std::string* output = nullptr) {
  const std::string command = std::string(KESTROVA_BIN_DIR) + "/kestrova-publish " + arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string text;
  char buffer[4096];
  while (size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
  const int status = ::pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class PublishTool : public ::testing::Test {
 protected:
  PublishTool() {
    dir_.Write("app/bin/demo", "demo 2.1");
    dir_.Write("notes.rtf", "{\\rtf1 Demo 2.1}");
    WriteRecipe("2.1");
  }

  void WriteRecipe(const std::string& version) {
    dir_.Write("recipe.txt", "# Demo\nversion " + version +
                                 "\ndate 2009-05-04\ndownload_server http://updates.example.com\n"
                                 "description notes.rtf\nsave *.cfg\ndelete old.txt\ndelete_folder cache\n");
  }

  // Generates the key pair; the public key line it prints.
  std::string Keygen() {
    std::string line;
    EXPECT_EQ(Publish("keygen --key " + dir_.WithSeparator() + "demo.key", &line), 0) << line;
    return line;
  }

  int Release(std::string* output = nullptr, const std::string& extra = "") {
    return Publish("release --folder " + Folder() + " --name Demo --from " + dir_.WithSeparator() + "app --recipe " +
                       dir_.WithSeparator() + "recipe.txt --key=" + dir_.WithSeparator() + "demo.key " + extra,
                   output);
  }

  int Check(const std::string& options, std::string* output) {
    return Publish("check --folder " + Folder() + " --name Demo " + options, output);
  }

  // Replaces the first `from` in the published file `name`, as a hand editing it would.
  void EditFile(const std::string& name, const std::string& from, const std::string& to) {
    std::string text = test::ReadFile(App(name));
    dir_.Write("publish/Demo/" + name, text.replace(text.find(from), from.size(), to));
  }

  std::string Folder() const { return dir_.WithSeparator() + "publish"; }
  std::string App(const std::string& name) const { return Folder() + "/Demo/" + name; }

  testing::TempFolder dir_;
};

TEST_F(PublishTool, PublishesASignedReleaseThatChecks) {
  const std::string line = Keygen();
  ASSERT_TRUE(line.starts_with("release_public_key=")) << line;
  const std::string key = line.substr(19, line.size() - 20);
  EXPECT_EQ(fs::status(dir_.WithSeparator() + "demo.key").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(Publish("keygen --key " + dir_.WithSeparator() + "demo.key"), 0) << "an existing key is kept";

  std::string output;
  ASSERT_EQ(Release(&output), 0) << output;
  EXPECT_EQ(test::ReadFile(App("version.txt")), "2.1;2009-05-04");
  EXPECT_EQ(test::ReadFile(App("description.rtf")), "{\\rtf1 Demo 2.1}");
  const std::string list = test::ReadFile(App("actionlist.ini"));
  for (const char* part : {"filename1=Demo-2.1.zip\n", "path1=*.cfg\n", "file1=old.txt\n", "dir1=cache\n",
                           "filedir=/files/Demo\n", "\n[signature]\nkey_id=", "\ned25519="}) {
    EXPECT_NE(list.find(part), std::string::npos) << part << " in\n" << list;
  }
  EXPECT_EQ(Check("--public-key " + key, &output), 0) << output;
  EXPECT_EQ(output, "ok\n");
}

TEST_F(PublishTool, PublishesMarkdownNotesAsRtf) {
  dir_.Write("notes.md", "# Demo 2.1\n\n**new**\n");
  const std::string recipe = test::ReadFile(dir_.WithSeparator() + "recipe.txt");
  dir_.Write("recipe.txt", recipe.substr(0, recipe.find("notes.rtf")) + "notes.md" +
                               recipe.substr(recipe.find("notes.rtf") + 9));
  Keygen();
  std::string output;
  ASSERT_EQ(Release(&output), 0) << output;
  const std::string rtf = test::ReadFile(App("description.rtf"));
  EXPECT_TRUE(rtf.starts_with("{\\rtf1")) << rtf;
  EXPECT_EQ(rtf.find("**"), std::string::npos) << rtf;
}

TEST_F(PublishTool, PublishesTheReadmeRecipeAsItStands) {
  const std::string readme = test::ReadFile(std::string(KESTROVA_TEST_DATA) + "/../../README.md");
  const size_t begin = readme.find("```\n# release.txt");
  ASSERT_NE(begin, std::string::npos) << "the README's recipe example";
  dir_.Write("recipe.txt", readme.substr(begin + 4, readme.find("```", begin + 4) - begin - 4));
  Keygen();
  std::string output;
  ASSERT_EQ(Release(&output), 0) << output;
  const std::string list = test::ReadFile(App("actionlist.ini"));
  EXPECT_NE(list.find("download_server_adr1=http://updates.example.com\n"), std::string::npos)
      << list;
  EXPECT_EQ(list.find('#'), std::string::npos) << list;
}

TEST_F(PublishTool, CheckFindsWhatWouldFailTheUpgrade) {
  Keygen();
  WriteRecipe("2.0");
  dir_.Write("app/bin/demo", "demo 2.0");
  ASSERT_EQ(Release(), 0);
  WriteRecipe("2.1");
  dir_.Write("app/bin/demo", "demo 2.1");
  ASSERT_EQ(Release(nullptr, "--previous 2.0 --delta-margin 0"), 0);
  const std::string archive = App("files/Demo-2.1.zip");
  const std::string good = test::ReadFile(archive);
  const struct {
    const char* why;
    std::function<void()> arrange;
    std::string options, finding;
  } cases[] = {
      {"a missing release file", [&] { fs::remove(archive); }, "", "error: release file Demo-2.1.zip is missing"},
      {"an archive changed after publishing",
       [&] {
         std::string bytes = good;
         bytes[bytes.size() / 2] ^= 1;
         dir_.Write("publish/Demo/files/Demo-2.1.zip", bytes);
       },
       "", "error: release file Demo-2.1.zip does not match its sha256_1"},
      {"a version that does not sort after the installed one", [] {}, "--previous 2.10",
       "warning: version \"2.1\" does not count as newer than \"2.10\""},
      // RFC 8032's first test key, whose id is 21fe31dfa154a261.
      {"another key", [] {}, "--public-key 11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=",
       "not release_public_key (21fe31dfa154a261)."},
      {"an action list changed after signing, checked with the key published beside it",
       [&] { EditFile("actionlist.ini", "old", "new"); }, "",
       "error: The action list changed after signing: its signature does not match "},
      {"a download server no updater can use", [&] { EditFile("actionlist.ini", "http:", "ftp:"); },
       "", "actionlist.ini: a download server is an http:// or https:// URL"},
      {"a delta archive missing", [&] { fs::remove(App("files/Demo-2.1-from-2.0.zip")); }, "",
       "error: deltas/2.0/actionlist.ini: release file Demo-2.1-from-2.0.zip is missing"},
      {"a delta list changed after signing", [&] { EditFile("deltas/2.0/actionlist.ini", "2.0", "1.9"); }, "",
       "error: deltas/2.0/actionlist.ini: its base_version is \"1.9\"\nerror: deltas/2.0/actionlist.ini: The action "
       "list changed after signing"},
      {"a version no updater takes",
       [&] { dir_.Write("publish/Demo/release.ini", "[release]\nversion=1.1 beta\n"); }, "",
       "release.ini: version \"1.1 beta\" is refused by every updater"},
  };
  const std::string delta_list = test::ReadFile(App("deltas/2.0/actionlist.ini"));
  const std::string delta = test::ReadFile(App("files/Demo-2.1-from-2.0.zip"));
  for (const auto& c : cases) {
    dir_.Write("publish/Demo/files/Demo-2.1.zip", good);
    dir_.Write("publish/Demo/files/Demo-2.1-from-2.0.zip", delta);
    dir_.Write("publish/Demo/deltas/2.0/actionlist.ini", delta_list);
    c.arrange();
    std::string output;
    EXPECT_EQ(Check(c.options, &output), c.finding.starts_with("warning") ? 0 : 1) << c.why;
    EXPECT_NE(output.find(c.finding), std::string::npos) << c.why << ":\n" << output;
  }
}

TEST_F(PublishTool, AnInterruptedReleaseLeavesTheOldOneServed) {
  Keygen();
  ASSERT_EQ(Release(), 0);
  const std::string old_list = test::ReadFile(App("actionlist.ini"));
  dir_.Write("app/bin/demo", "demo 2.2");
  WriteRecipe("2.2");
  // A file that cannot be replaced stops the release there, as a crash would.
  for (const char* stuck : {"description.rtf", "actionlist.ini", "version.txt", "release.ini"}) {
    ::chmod(App(stuck).c_str(), 0444);
    std::string output;
    EXPECT_EQ(Release(&output), 1) << stuck;
    ::chmod(App(stuck).c_str(), 0644);
    EXPECT_EQ(test::ReadFile(App("version.txt")) + "|" + test::ReadFile(App("release.ini")),
              std::string(stuck) == "release.ini" ? "2.2;2009-05-04|[release]\nversion=2.1\ndate=2009-05-04\n"
                                                  : "2.1;2009-05-04|[release]\nversion=2.1\ndate=2009-05-04\n")
        << stuck;
    EXPECT_TRUE(fs::exists(App("files/Demo-2.1.zip"))) << stuck << ": the old release's file stays";
    Check("", &output);
    EXPECT_EQ(output.find("error: release file"), std::string::npos) << stuck << ":\n" << output;
  }
  std::string output;
  EXPECT_EQ(Release(&output), 0) << output;
  EXPECT_NE(test::ReadFile(App("actionlist.ini")), old_list);
}

TEST_F(PublishTool, RefusesMistakesWithClearWordsAndExitCodes) {
  Keygen();
  ASSERT_EQ(Release(), 0);
  dir_.Write("conf/bin/Kestrova.ini", "[application]\nfilename_config=../demo.cfg\n");
  dir_.Write("conf/demo.cfg", "email=publisher@example.com\n");
  const std::string conf = "release --folder " + Folder() + " --name Demo --recipe " +
                           dir_.WithSeparator() + "recipe.txt --from " + dir_.WithSeparator() +
                           "conf";
  const struct {
    std::string arguments;
    int exit_code;
    std::string message;
  } cases[] = {
      {"--help", 0, "usage: kestrova-publish keygen"},
      {"--version", 0, "kestrova-publish "},
      {"frobnicate", 2, "unknown command: frobnicate"},
      {"release --folder x", 2, "release needs --name"},
      {"check --folder", 2, "--folder needs a value"},
      {"check --colour=x", 2, "unknown option: --colour"},
      {conf, 1, "address: bin/Kestrova.ini, ../demo.cfg (filename_config of bin/Kestrova.ini)"},
      // Before anything is looked at: a release its manifest cannot follow stays unpublished.
      {conf + " --key " + dir_.WithSeparator() + "demo.key --expires-days 0", 1,
       "--expires-days needs a whole number, at least 1"},
      {conf + " --overwrite-configuration --force", 0, "published Demo 2.1"},
  };
  for (const auto& c : cases) {
    std::string output;
    EXPECT_EQ(Publish(c.arguments, &output), c.exit_code) << c.arguments;
    EXPECT_NE(output.find(c.message), std::string::npos) << c.arguments << ":\n" << output;
  }
  std::string output;
  WriteRecipe("2.9");
  ASSERT_EQ(Release(), 0);
  WriteRecipe("2.10");
  EXPECT_EQ(Release(&output), 1);
  EXPECT_NE(output.find("version \"2.10\" does not count as newer than \"2.9\""), std::string::npos) << output;
  EXPECT_EQ(Release(&output, "--force"), 0) << output;
  const struct {
    std::string recipe_lines, message;  // after "description notes.rtf\n"
  } recipes[] = {
      {"version 3.0\ndownload_server http://x\ndelete ../etc/passwd\n", "line 4: must name a"},
      {"version 1.1 beta\ndownload_server http://x\n", "line 2: version \"1.1 beta\" is refused"},
      {"version 3.0\ndownload_server ftp://x\n", "line 3: a download server is an http:// or"},
      {"version 3.0\ndownload_server http://x /y\n", "line 3: a download server has no blanks"},
      // A "#" inside a value is no comment: the recipe passes, the empty --from does not.
      {"version 3.0\ndownload_server http://x#top\n", "nothing to publish in"},
  };
  for (const auto& r : recipes) {
    dir_.Write("recipe.txt", "description notes.rtf\n" + r.recipe_lines);
    if (r.message.starts_with("nothing")) fs::remove_all(dir_.WithSeparator() + "app/bin");
    EXPECT_EQ(Release(&output), 1) << r.recipe_lines;
    EXPECT_NE(output.find(r.message), std::string::npos) << r.recipe_lines << output;
  }
}

}  // namespace
}  // namespace kestrova
