// The attacks on an update that the signed release manifest stops, each against
// kestrova-server on 127.0.0.1 and the updater's own check and window (upgrade_driver
// presses "Update now"): published with kestrova-publish, then tampered with as an
// attacker between updater and server, or a thief of one key, would.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

#include "key_file.h"
#include "release/release_manifest.h"
#include "support/peers.h"
#include "upgrade/demo_publication.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

constexpr int kUpgraded = 0, kNoOffer = 2, kUpgradeFailed = 3;

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int64_t Now() { return std::time(nullptr); }

class ReleaseManifestE2E : public ::testing::Test {
 protected:
  ReleaseManifestE2E() {
    for (int k = 0; k < 3; ++k) {
      keys_.push_back(*GenerateReleaseKeyPair());
      WriteKeyFile(Path("k" + std::to_string(k)), keys_.back());
    }
    fs::permissions(world_.Write("release/app.sh", "#!/bin/sh\n# 1.1\n"), fs::perms(0755));
    world_.Write("notes.txt", "Demo 1.1, the genuine notes");
    const std::string server = "\ndownload_server " + publication_.BaseUrl();
    world_.Write("recipe.txt", "version 1.1" + server + server +
                                   "\ndescription notes.txt\ndelete old.txt\nsave *.cfg\n");
    world_.Write("older.txt", "version 1.0.9" + server + "\ndescription notes.txt\n");
  }

  std::string Path(const std::string& name) const { return world_.WithSeparator() + name; }
  std::string Key(int k) const { return EncodeBase64(keys_[k].public_key); }

  // kestrova-publish in the world's folder (key files k0, k1, k2) on `folder`.
  int Tool(const std::string& arguments, const std::string& folder = "") const {
    return Shell("cd " + Path("") + " && " KESTROVA_BIN_DIR "/kestrova-publish " + arguments +
                 " --folder " + (folder.empty() ? publication_.Folder().WithSeparator() : folder) +
                 " >/dev/null 2>&1");
  }

  // The updater's folder with `version` installed, trusting `keys` with `threshold`.
  void Install(const std::string& version, const std::string& keys, int threshold = 1) const {
    world_.Write("app/updater.ini",
                 "[application]\nname=Demo\nmain_program=app.sh\nfilename_config=app.cfg\n"
                 "param_appli_version=VERSION\n[server]\nlink_for_update=/update\nserver_addr1=" +
                     publication_.BaseUrl() + "\nrelease_public_key=" + keys +
                     "\nrelease_key_threshold=" + std::to_string(threshold) + "\n");
    world_.Write("app/app.cfg", "[Kestrova]\nVERSION=" + version + "\n");
    world_.Write("app/old.txt", "obsolete");
    fs::permissions(world_.Write("app/app.sh", "#!/bin/sh\n# 1.0\n"), fs::perms(0755));
  }

  // Runs the updater; its exit code, the window's description and log in `window`.
  int Update(std::string* window = nullptr) const {
    const int code = Shell("env HOME=" + Path("home") + " XDG_DATA_HOME=" + Path("data") +
                           " XDG_CACHE_HOME=" + Path("cache") +
                           " QT_QPA_PLATFORM=offscreen " KESTROVA_BIN_DIR "/upgrade_driver " +
                           Path("app/updater") + " " + Path("window") + " >/dev/null 2>&1");
    if (window) *window = fs::exists(Path("window")) ? world_.Read("window") : "";
    fs::remove(Path("window"));
    return code;
  }

  // The updater with 1.1 installed sees the manifest now published, and offers nothing.
  void SeenBefore() const {
    Install("1.1", Key(0));
    EXPECT_EQ(Update(), kNoOffer);
  }

  // The published manifest with `change` made to it, signed by the keys `signers`.
  void Resign(const std::function<void(TReleaseManifest&)>& change, const std::string& signers) {
    std::string fault;
    TReleaseManifest manifest = *ReadManifestBody(publication_.Folder().Read(kManifest), fault);
    change(manifest);
    std::vector<TReleaseKeyPair> pairs;
    for (char k : signers) pairs.push_back(keys_[k - '0']);
    const std::string body = ManifestText(manifest);
    publication_.Folder().Write(kManifest, pairs.empty() ? body : *SignManifest(body, pairs));
  }

  // Replaces the published action list by the one of another signed release.
  void PublishActionListOf(const std::string& name, const std::string& recipe) const {
    Tool("release --name " + name + " --from release --recipe " + recipe + " --key k0",
         Path("other"));
    fs::copy_file(Path("other/" + name + "/actionlist.ini"),
                  publication_.Folder().path() / "Demo/actionlist.ini",
                  fs::copy_options::overwrite_existing);
  }

  static constexpr char kManifest[] = "Demo/manifest.ini";
  testing::TempFolder world_;
  testing::DemoPublication publication_;
  std::vector<TReleaseKeyPair> keys_;
};

TEST_F(ReleaseManifestE2E, EachAttackIsRefusedBeforeAnythingChanges) {
  const auto version = [](std::string v) { return [v](TReleaseManifest& m) { m.version = v; }; };
  const std::string archive = publication_.FilePath("Demo-1.1.zip");
  const struct {
    const char* attack;
    std::function<void()> arrange;  // after release 1.1 was published signed by key 0
    int outcome;
    std::string words;         // in the upgrade log or the window
    std::string trusted = {};  // the keys the updater holds, "," between them; default key 0
    int threshold = 1;
  } cases[] = {
      {"none: a valid manifest", [] {}, kUpgraded, "Done successfuly"},
      {"none, no key: the release check of before",
       [&] { fs::remove(publication_.Folder().path() / kManifest); }, kUpgraded, "Done successfuly",
       "-"},
      {"arbitrary installation: unsigned", [&] { Resign(version("6.6"), ""); }, kNoOffer,
       "is not signed"},
      {"arbitrary installation: an unknown key", [&] { Resign(version("6.6"), "2"); }, kNoOffer,
       "valid signatures of 0 of the 1 keys"},
      {"rollback: an old manifest after a newer one",
       [&] {
         const std::string old = publication_.Folder().Read(kManifest);
         Tool("refresh --name Demo --key k0");
         SeenBefore();
         publication_.Folder().Write(kManifest, old);
       },
       kNoOffer, "an older release is replayed"},
      {"indefinite freeze: expired", [&] { Resign([](auto& m) { m.expires = Now() - 60; }, "0"); },
       kNoOffer, "expired at"},
      {"from the future", [&] { Resign([](auto& m) { m.signed_at = Now() + 86400; }, "0"); },
       kNoOffer, "in the future"},
      {"mix-and-match: an older action list", [&] { PublishActionListOf("Demo", "older.txt"); },
       kUpgradeFailed, "the release manifest names"},
      {"mix-and-match: another description",
       [&] { publication_.Describe("description.txt", "forged notes"); }, kUpgraded,
       "Done successfuly"},
      {"wrong software: another application's list",
       [&] { PublishActionListOf("Other", "recipe.txt"); }, kUpgradeFailed,
       "the release manifest names"},
      {"malicious mirror: other bytes",
       [&] {
         std::string bytes = test::ReadFile(archive);
         bytes[bytes.size() / 2] ^= 1;
         publication_.Folder().Write("Demo/files/Demo-1.1.zip", bytes);
       },
       kUpgradeFailed, "differs from the signed one"},
      {"endless data", [&] { std::ofstream(archive, std::ios::app) << std::string(4 << 20, 'x'); },
       kUpgradeFailed, "bytes stated"},
      {"key compromise: one of a threshold of two", [&] { Resign(version("6.6"), "1"); }, kNoOffer,
       "valid signatures of 1 of the 2 keys", Key(0) + "," + Key(1), 2},
      {"key compromise: the retired key after a rotation",
       [&] {
         Tool("rotate-key --name Demo --key k0 --next-key k2");
         SeenBefore();
         Tool("refresh --name Demo --key k0");
       },
       kNoOffer, "valid signatures of 0 of the 1 keys"},
      {"none: the key handed over",
       [&] {
         Tool("rotate-key --name Demo --key k0 --next-key k2");
         SeenBefore();
         Tool("refresh --name Demo --key k2");
       },
       kUpgraded, "Done successfuly"},
  };
  for (const auto& c : cases) {
    for (const char* gone : {"other", "cache", "data", "app"}) fs::remove_all(Path(gone));
    fs::remove_all(publication_.Folder().path() / "Demo");
    ASSERT_EQ(Tool("release --name Demo --from release --recipe recipe.txt --key k0"), 0);
    c.arrange();
    Install("1.0", c.trusted.empty() ? Key(0) : c.trusted == "-" ? "" : c.trusted, c.threshold);
    std::string window;
    EXPECT_EQ(Update(&window), c.outcome) << c.attack;
    const std::string log = test::ReadFile(Path("cache/kestrova/Demo_upgrade.log")) + window;
    EXPECT_NE(log.find(c.words), std::string::npos) << c.attack << ":\n" << log;
    EXPECT_EQ(window.find("forged notes"), std::string::npos) << c.attack;
    if (c.outcome == kUpgraded) continue;
    EXPECT_TRUE(fs::exists(Path("app/old.txt"))) << c.attack << ": nothing is removed";
    EXPECT_FALSE(fs::exists(Path("cache/kestrova/Demo_save.zip"))) << c.attack;
    EXPECT_EQ(world_.Read("app/app.cfg"), "[Kestrova]\nVERSION=1.0\n") << c.attack;
  }
}

}  // namespace
}  // namespace kestrova
