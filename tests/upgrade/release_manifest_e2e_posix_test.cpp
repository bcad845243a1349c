// The attacks on an update that the signed release manifest stops, each against
// kestrova-server on 127.0.0.1 and the updater's own check and window (upgrade_driver
// presses "Update now"): published with kestrova-publish, then tampered with as an
// attacker between updater and server, or a thief of one key, would.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "key_file.h"
#include "release/release_manifest.h"
#include "support/temp_folder.h"
#include "upgrade/demo_publication.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

constexpr int kUpgraded = 0, kNoOffer = 2, kUpgradeFailed = 3;

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

class ReleaseManifestE2E : public ::testing::Test {
 protected:
  ReleaseManifestE2E() {
    for (int k = 0; k < 3; ++k) {
      keys_.push_back(*GenerateReleaseKeyPair());
      WriteKeyFile(Path("k" + std::to_string(k)), keys_.back());
    }
    fs::permissions(world_.Write("release/app.sh", "#!/bin/sh\n# 1.1\n"), fs::perms(0755));
    world_.Write("notes.txt", "Demo 1.1, the genuine notes");
    world_.Write("recipe.txt", "version 1.1\ndate 2026-12-01\ndownload_server " +
                                   publication_.BaseUrl() + "\ndownload_server " +
                                   publication_.BaseUrl() +
                                   "\ndescription notes.txt\ndelete old.txt\nsave *.cfg\n");
  }

  std::string Path(const std::string& name) const { return world_.WithSeparator() + name; }
  std::string Published() const { return publication_.Folder().WithSeparator(); }
  std::string Key(int k) const { return EncodeBase64(keys_[k].public_key); }

  // kestrova-publish `command` for application `name` with the key files `keys`.
  int Publish(const std::string& command, const std::string& keys,
              const std::string& name = "Demo") const {
    std::string line = KESTROVA_BIN_DIR "/kestrova-publish " + command + " --folder " +
                       Published() + " --name " + name + " >/dev/null 2>&1";
    if (command == "release")
      line += " --from " + Path("release") + " --recipe " + Path("recipe.txt");
    for (char k : keys) line += " --key " + Path(std::string("k") + k);
    return Shell(line);
  }

  // The updater's folder with `version` installed, trusting `keys` with `threshold`.
  void Install(const std::string& version, const std::string& keys, int threshold = 1) const {
    world_.Write("app/updater.ini",
                 "[application]\nname=Demo\nmain_program=app.sh\nfilename_config=app.cfg\n"
                 "param_appli_version=VERSION\n[server]\nserver_addr1=" +
                     publication_.BaseUrl() + "\nlink_for_update=/update\n" +
                     (keys.empty() ? "" : "release_public_key=" + keys + "\n") +
                     "release_key_threshold=" + std::to_string(threshold) + "\n");
    world_.Write("app/app.cfg", "[Kestrova]\nVERSION=" + version + "\n");
    world_.Write("app/old.txt", "obsolete");
    fs::permissions(world_.Write("app/app.sh", "#!/bin/sh\n# 1.0\n"), fs::perms(0755));
  }

  // Runs the updater; its exit code, the window's text in `window`.
  int Update(std::string* window = nullptr) const {
    const int code = Shell("env HOME=" + Path("home") + " XDG_DATA_HOME=" + Path("data") +
                           " XDG_CACHE_HOME=" + Path("cache") +
                           " QT_QPA_PLATFORM=offscreen " KESTROVA_BIN_DIR "/upgrade_driver " +
                           Path("app/updater") + " " + Path("window") + " >/dev/null 2>&1");
    if (window) *window = fs::exists(Path("window")) ? world_.Read("window") : "";
    fs::remove(Path("window"));
    return code;
  }

  // The published manifest with `change` made to it, signed by the keys `signers`.
  void Resign(const std::function<void(TReleaseManifest&)>& change,
              const std::string& signers) const {
    std::string fault;
    TReleaseManifest manifest =
        *ReadManifestBody(publication_.Folder().Read("Demo/manifest.ini"), fault);
    change(manifest);
    std::vector<TReleaseKeyPair> pairs;
    for (char k : signers) pairs.push_back(keys_[k - '0']);
    const std::string body = ManifestText(manifest);
    publication_.Folder().Write("Demo/manifest.ini",
                                pairs.empty() ? body : *SignManifest(body, pairs));
  }

  // A release of `name` in another folder, signed by key 0; the path of its action list.
  std::string OtherRelease(const std::string& name, const std::string& version) const {
    world_.Write("recipe2.txt", "version " + version + "\ndate 2026-11-01\ndownload_server " +
                                    publication_.BaseUrl() + "\ndescription notes.txt\n");
    Shell(KESTROVA_BIN_DIR "/kestrova-publish release --folder " + Path("other") + " --name " +
          name + " --from " + Path("release") + " --recipe " + Path("recipe2.txt") + " --key " +
          Path("k0") + " >/dev/null 2>&1");
    return Path("other/" + name + "/actionlist.ini");
  }

  testing::TempFolder world_;
  testing::DemoPublication publication_;
  std::vector<TReleaseKeyPair> keys_;
};

TEST_F(ReleaseManifestE2E, EachAttackIsRefusedBeforeAnythingChanges) {
  const std::string publish = publication_.Folder().WithSeparator();
  const auto replace = [&](const std::string& name, const std::string& from) {
    fs::copy_file(from, publish + name, fs::copy_options::overwrite_existing);
  };
  const struct {
    const char* attack;
    std::string trusted;  // the keys the updater holds, "," between them
    int threshold;
    std::function<void()> arrange;  // after release 1.1 was published signed by key 0
    int outcome;
    std::string words;  // in the upgrade log or the window
  } cases[] = {
      {"none: a valid manifest", Key(0), 1, [] {}, kUpgraded, "Done successfuly"},
      {"none, and no key configured: the release check of before", "", 1,
       [&] { fs::remove(publish + "Demo/manifest.ini"); }, kUpgraded, "Done successfuly"},
      {"arbitrary installation: an unsigned offer", Key(0), 1,
       [&] { Resign([](TReleaseManifest& m) { m.version = "6.6"; }, ""); }, kNoOffer,
       "is not signed"},
      {"arbitrary installation: an offer signed by an unknown key", Key(0), 1,
       [&] { Resign([](TReleaseManifest& m) { m.version = "6.6"; }, "2"); }, kNoOffer,
       "valid signatures of 0 of the 1 keys"},
      {"rollback: an old signed manifest after a newer one", Key(0), 1,
       [&] {
         fs::copy_file(publish + "Demo/manifest.ini", Path("old.ini"));
         Publish("refresh", "0");
         Install("1.1", Key(0));
         EXPECT_EQ(Update(), kNoOffer) << "the newer manifest is seen with nothing newer to offer";
         replace("Demo/manifest.ini", Path("old.ini"));
       },
       kNoOffer, "an older release is replayed"},
      {"indefinite freeze: an expired manifest", Key(0), 1,
       [&] { Resign([](TReleaseManifest& m) { m.expires = Now() - 60; }, "0"); }, kNoOffer,
       "expired at"},
      {"a manifest from the future", Key(0), 1,
       [&] { Resign([](TReleaseManifest& m) { m.signed_at = Now() + 86400; }, "0"); }, kNoOffer,
       "in the future"},
      {"mix-and-match: the action list of an older release", Key(0), 1,
       [&] { replace("Demo/actionlist.ini", OtherRelease("Demo", "1.0.9")); }, kUpgradeFailed,
       "none of those the release manifest names"},
      {"mix-and-match: the description of another release", Key(0), 1,
       [&] { publication_.Describe("description.txt", "forged notes"); }, kUpgraded,
       "Done successfuly"},
      {"wrong software: the action list of another application", Key(0), 1,
       [&] { replace("Demo/actionlist.ini", OtherRelease("Other", "1.1")); }, kUpgradeFailed,
       "none of those the release manifest names"},
      {"malicious mirror: an archive with other bytes", Key(0), 1,
       [&] {
         std::string bytes = publication_.Folder().Read("Demo/files/Demo-1.1.zip");
         bytes[bytes.size() / 2] ^= 1;
         publication_.Folder().Write("Demo/files/Demo-1.1.zip", bytes);
       },
       kUpgradeFailed, "differs from the signed one"},
      {"endless data: an archive past its stated size", Key(0), 1,
       [&] {
         std::ofstream(publish + "Demo/files/Demo-1.1.zip", std::ios::app)
             << std::string(4 << 20, 'x');
       },
       kUpgradeFailed, "bytes stated"},
      {"key compromise: one leaked key of a threshold of two", Key(0) + "," + Key(1), 2,
       [&] { Resign([](TReleaseManifest& m) { m.version = "6.6"; }, "1"); }, kNoOffer,
       "valid signatures of 1 of the 2 keys"},
      {"key compromise: the retired key after a rotation", Key(0), 1,
       [&] {
         EXPECT_EQ(Shell(KESTROVA_BIN_DIR "/kestrova-publish rotate-key --folder " + Published() +
                         " --name Demo --key " + Path("k0") + " --next-key " + Path("k2") +
                         " >/dev/null 2>&1"),
                   0);
         Install("1.1", Key(0));
         EXPECT_EQ(Update(), kNoOffer) << "the manifest handing over key 2 is seen";
         Publish("refresh", "0");
       },
       kNoOffer, "valid signatures of 0 of the 1 keys"},
      {"none: the rotated key is trusted", Key(0), 1,
       [&] {
         Shell(KESTROVA_BIN_DIR "/kestrova-publish rotate-key --folder " + Published() +
               " --name Demo --key " + Path("k0") + " --next-key " + Path("k2") +
               " >/dev/null 2>&1");
         Install("1.1", Key(0));
         Update();
         Publish("refresh", "2");
       },
       kUpgraded, "Done successfuly"},
  };
  for (const auto& c : cases) {
    for (const char* gone : {"other", "cache", "data", "app", "old.ini"})
      fs::remove_all(Path(gone));
    fs::remove_all(publish + "Demo");
    ASSERT_EQ(Publish("release", "0"), 0);
    c.arrange();
    Install("1.0", c.trusted, c.threshold);
    std::string window;
    EXPECT_EQ(Update(&window), c.outcome) << c.attack;
    const std::string log_path = "cache/kestrova/Demo_upgrade.log";
    const std::string log = fs::exists(Path(log_path)) ? world_.Read(log_path) : "";
    EXPECT_NE((log + window).find(c.words), std::string::npos) << c.attack << ":\n"
                                                               << log << window;
    EXPECT_EQ(window.find("forged notes"), std::string::npos) << c.attack;
    if (c.outcome == kUpgraded) continue;
    EXPECT_TRUE(fs::exists(Path("app/old.txt"))) << c.attack << ": nothing is removed";
    EXPECT_FALSE(fs::exists(Path("cache/kestrova/Demo_save.zip")))
        << c.attack << ": nothing is saved";
    EXPECT_EQ(world_.Read("app/app.cfg"), "[Kestrova]\nVERSION=1.0\n") << c.attack;
  }
}

}  // namespace
}  // namespace kestrova
