// "Update now" end to end: the real main window offscreen against the reference
// server, over an application folder of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/manage_check.h"
#include "base/files.h"
#include "demo_publication.h"
#include "release/action_list.h"
#include "release/release_signature.h"
#include "support/peers.h"
#include "upgrade/form_main_screen.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

class UpgradeProcedure : public ::testing::Test {
 protected:
  UpgradeProcedure() {
    ::setenv("KESTROVA_PROFILES_ROOT", (home_.WithSeparator() + "home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home_.WithSeparator() + "data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", temp_.WithSeparator().c_str(), 1);
    home_.Write("home/ann/Desktop/demo.desktop", "[Desktop Entry]\nExec=/opt/demo/bin/demo %F\n");
    publication_.Announce("2.1", "2009-05-04");
    publication_.Describe("description.txt", "Demo 2.1");
    Zip("a.zip", {{"bin/demo", "demo 2.1"}, {"data/new.dat", "new"}});
    Zip("b.zip", {{"readme.txt", "read me 2.1"}});
    app_.Write("kestrova.ini", "[application]\nname=Demo\nmain_program=bin/demo\nfilename_config=demo.cfg\n"
                               "param_appli_version=VERSION\nparam_email=EMAIL\n[server]\nserver_addr1=" +
                                   publication_.BaseUrl() + "\nlink_for_update=/update\n");
    app_.Write("demo.cfg", "[Kestrova]\nVERSION=2.0\nEMAIL=ann@example.org\n");
    app_.Write("bin/demo", "demo 2.0");
    app_.Write("readme.txt", "read me 2.0");
    app_.Write("old.txt", "obsolete");
    app_.Write("cache/x", "cached");
    settings_.app_directory = app_.WithSeparator();
    settings_.name = "Demo";
    settings_.main_program = "bin/demo";
    settings_.filename_config = "demo.cfg";
    settings_.param_appli_version = "VERSION";
    settings_.current_version = "2.0";
    settings_.email = "ann@example.org";
    settings_.release_version = "2.1";
    settings_.selected_server = publication_.BaseUrl();
    settings_.link_for_update = "/update";
    settings_.internet_option_connect_timeout = 5;
    settings_.INTERNET_OPEN_TYPE = kOpenTypeDirect;
  }
  ~UpgradeProcedure() override {
    for (const char* name : {"KESTROVA_PROFILES_ROOT", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) ::unsetenv(name);
  }

  void Zip(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files) {
    testing::TempFolder staging;
    for (const auto& [path, content] : files) staging.Write(path, content);
    const std::string archive = publication_.FilePath(name);
    ASSERT_EQ(std::system(("cd '" + staging.WithSeparator() + "' && zip -qr '" + archive + "' .").c_str()), 0);
  }

  void PublishActionList(const std::string& first_server, const std::string& more = "") {
    publication_.PublishActionList(
        "[release]\ndownload_server_adr1=" + first_server + "\ndownload_server_adr2=" + publication_.BaseUrl() +
        "\nfiledir=/files/Demo\nfilename1=a.zip\nfilename2=b.zip\n" + more +
        "check_shortcuts=1\n[save_action]\npath1=*.cfg\npath2=bin\\*.*\n"
        "[files_to_delete]\nfile1=old.txt\n[folders_to_delete]\ndir1=cache\n");
  }

  // Publishes an action list signed by a fresh key that the updater holds, carrying
  // the hashes of the archives as they are now.
  void PublishSignedActionList(const std::string& version = "2.1") {
    const TReleaseKeyPair keys = *GenerateReleaseKeyPair();
    settings_.release_public_key = EncodeBase64(keys.public_key);
    const std::string files = publish_.WithSeparator() + "Demo/files/";
    const std::string content = "[release]\nname=Demo\nversion=" + version + "\ndownload_server_adr1=" +
                                publication_.BaseUrl() + "\nfiledir=/files/Demo\nfilename1=a.zip\nfilename2=b.zip\n" +
                                "sha256_1=" + *FileSha256Hex(files + "a.zip") + "\nsha256_2=" +
                                *FileSha256Hex(files + "b.zip") +
                                "\n[save_action]\npath1=*.cfg\n[files_to_delete]\nfile1=old.txt\n";
    publication_.PublishActionList(*SignActionList(content, keys));
  }

  // Publishes release 2.1 (readme.txt, old.txt removed) with kestrova-publish, signed
  // by a new key; returns the public key.
  std::string PublishWithTheTool(const std::string& download_server) {
    const std::string tool = std::string(KESTROVA_BIN_DIR) + "/kestrova-publish ";
    testing::TempFolder work;
    work.Write("release/readme.txt", "read me 2.1");
    work.Write("notes.txt", "Demo 2.1");
    work.Write("recipe.txt", "version 2.1\ndate 2009-05-04\ndownload_server " + download_server +
                                 "\ndescription notes.txt\ndelete old.txt\nsave *.cfg\n");
    fs::remove(publish_.WithSeparator() + "Demo/release.ini");
    EXPECT_EQ(std::system((tool + "keygen --key " + work.WithSeparator() + "key > " + work.WithSeparator() + "line").c_str()), 0);
    EXPECT_EQ(std::system((tool + "release --folder " + publish_.WithSeparator() + " --name Demo --from " + work.WithSeparator() +
                           "release --recipe " + work.WithSeparator() + "recipe.txt --key " + work.WithSeparator() + "key")
                              .c_str()),
              0);
    const std::string line = test::ReadFile(work.WithSeparator() + "line");
    return line.substr(line.find('=') + 1, line.size() - line.find('=') - 2);
  }

  // Presses "Update now" and returns the log.
  std::string Upgrade() {
    TFormMainScreen form(settings_, "kestrova");
    form.Show();
    EXPECT_TRUE(form.BitBtnUpdate.Enabled());
    form.BitBtnUpdate.Click();
    update_enabled_ = form.BitBtnUpdate.Enabled();
    launch_visible_ = form.BitBtnStart.Visible();
    const std::string log = form.RichEdit1.Text();
    form.Close();
    return log;
  }

  // Presses Cancel of the download dialog as soon as one shows.
  static void PressCancelOfTheDownloadDialog() {
    QTimer::singleShot(100, [] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog) return PressCancelOfTheDownloadDialog();
      for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        if (button->text().contains("Cancel")) button->click();
      }
    });
  }

  testing::TempFolder home_, temp_;
  testing::DemoPublication publication_;
  const testing::TempFolder& publish_ = publication_.Folder();
  testing::TempFolder app_;
  std::unique_ptr<test::ScriptedServer> stalling_;
  std::string first_server_;
  TSettings settings_;
  bool update_enabled_ = false;
  bool launch_visible_ = false;
};

TEST_F(UpgradeProcedure, UpgradesTheApplicationAndReportsIt) {
  PublishActionList(test::RefusingBaseUrl());  // the first server is down: the second serves
  EXPECT_EQ(Upgrade(),
            "Start upgrade\n"
            "Get action list ...                          : Done\n"
            "Download release ...                         : Done\n"
            "Save current Version ...                     : Done\n"
            "Remove obsolete files ...                    : Done\n"
            "Remove obsolete folders ...                  : Done\n"
            "Update shortcut(s) ...                       : Modified Shortcut:1\n"
            "Install release ...                          : Done successfuly");
  EXPECT_TRUE(launch_visible_);
  EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "bin/demo"), "demo 2.1");
  EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "readme.txt"), "read me 2.1");
  EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "data/new.dat"), "new");
  EXPECT_FALSE(fs::exists(app_.WithSeparator() + "old.txt"));
  EXPECT_FALSE(fs::exists(app_.WithSeparator() + "cache"));
  EXPECT_EQ(test::ReadFile(home_.WithSeparator() + "data/Trash/files/cache/x"), "cached") << "removed into the trash";
  EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "demo.cfg"), "[Kestrova]\nVERSION=2.1\nEMAIL=ann@example.org\n");
  EXPECT_EQ(settings_.current_version, "2.1") << "the configuration is read again";
  EXPECT_EQ(test::ReadFile(home_.WithSeparator() + "home/ann/Desktop/demo.desktop"),
            "[Desktop Entry]\nExec=" + ExecutablePath() + " %F\n");
  const std::string listing = temp_.WithSeparator() + "listing.txt";
  ASSERT_EQ(std::system(("unzip -Z1 '" + temp_.WithSeparator() + "kestrova/Demo_save.zip' > '" + listing + "'").c_str()), 0);
  for (const char* saved : {"demo.cfg\n", "bin/demo\n"}) {
    EXPECT_NE(test::ReadFile(listing).find(saved), std::string::npos) << saved;
  }
  std::string completions = publish_.WithSeparator();
  completions.back() = '-';  // the server's log lies beside the published folder
  EXPECT_NE(test::ReadFile(completions + "completions.log").find("ann@example.org"), std::string::npos);
}

TEST_F(UpgradeProcedure, FailuresLeaveTheInstallationAsItWas) {
  struct Case {
    const char* why;
    std::function<void()> arrange;
    const char* log_end;
    bool installed;
  };
  const Case cases[] = {
      {"a damaged release archive",
       [&] {
         std::string zip = test::ReadFile(publish_.WithSeparator() + "Demo/files/b.zip");
         zip[zip.find("read me") + 2] ^= 0x55;
         publish_.Write("Demo/files/b.zip", zip);
       },
       "Download release ...                         : Failed\n"
       "Upgrading of the current version aborted.",
       false},
      {"a missing action list", [&] { fs::remove(publish_.WithSeparator() + "Demo/actionlist.ini"); },
       "Get action list ...                          : Failed\n"
       "Upgrading of the current version aborted.",
       false},
      {"a download cancelled on the first server: the second is not asked",
       [&] {
         stalling_ = std::make_unique<test::ScriptedServer>(
             "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nPK", false);
         first_server_ = stalling_->BaseUrl();
         PublishActionList(first_server_);
         PressCancelOfTheDownloadDialog();
       },
       "Download release ...                         : Aborted\n"
       "Upgrading of the current version aborted.",
       false},
      {"a read-only configuration file", [&] { ::chmod((app_.WithSeparator() + "demo.cfg").c_str(), 0444); },
       "Get action list ...                          : Done\n"
       "The system is not able to modify the configuration file!\n"
       "Upgrading of the current version aborted.",
       false},
      {"a release file larger than the list states",
       [&] { PublishActionList(publication_.BaseUrl(), "size_2=10\n"); },
       "Upgrading of the current version aborted.    : b.zip: the server announced ",
       false},
      {"a link in a release archive",
       [&] {
         testing::TempFolder staging;
         staging.Write("target", "x");
         ASSERT_EQ(::symlink("target", (staging.WithSeparator() + "readme.txt").c_str()), 0);
         ASSERT_EQ(std::system(("cd '" + staging.WithSeparator() + "' && zip -qy '" + publication_.FilePath("b.zip") +
                                "' readme.txt").c_str()), 0);
       },
       "Upgrading of the current version aborted.    : The release archive b.zip holds the link readme.txt, "
       "which is not installed",
       false},
      {"a release that puts a folder where the installation has a file",
       [&] {
         fs::remove(publication_.FilePath("b.zip"));
         Zip("b.zip", {{"readme.txt/inner", "x"}});
       },
       "Upgrading of the current version aborted.    : The release puts a folder at ",
       false},
  };
  for (const Case& c : cases) {
    PublishActionList(first_server_.empty() ? publication_.BaseUrl() : first_server_);
    fs::remove(publication_.FilePath("b.zip"));
    Zip("b.zip", {{"readme.txt", "read me 2.1"}});
    c.arrange();
    const std::string log = Upgrade();
    first_server_.clear();
    ::chmod((app_.WithSeparator() + "demo.cfg").c_str(), 0644);
    EXPECT_NE(log.find(c.log_end), std::string::npos) << c.why << ":\n" << log;
    EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "readme.txt"), c.installed ? "read me 2.1" : "read me 2.0") << c.why;
    EXPECT_EQ(fs::exists(app_.WithSeparator() + "old.txt"), !c.installed) << c.why << ": nothing removed";
    EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "demo.cfg"), "[Kestrova]\nVERSION=2.0\nEMAIL=ann@example.org\n") << c.why;
    EXPECT_EQ(update_enabled_, !c.installed) << c.why;
    EXPECT_TRUE(launch_visible_) << c.why << ": the installation as it was can be started";
    for (const char* leftover : {"a.zip", "b.zip", "actionlist.ini", "kestrova-upgrade"}) {
      EXPECT_FALSE(fs::exists(app_.WithSeparator() + leftover)) << c.why << ": " << leftover;
    }
  }
}

// An installation the user cannot write (a read-only mount, which binds root as well):
// the log names the folder and the reason, nothing is fetched, the application can
// still be started.
TEST_F(UpgradeProcedure, AFolderThatCannotBeWrittenIsNamedBeforeAnythingIsFetched) {
  PublishActionList(publication_.BaseUrl());
  const std::string locked = home_.WithSeparator() + "locked/";
  fs::create_directories(locked);
  if (std::system(("mount -t tmpfs -o ro kestrova-test '" + locked + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "no read-only file system can be mounted here";
  }
  settings_.app_directory = locked;
  const std::string log = Upgrade();
  std::system(("umount '" + locked + "'").c_str());
  EXPECT_NE(log.find("Get action list ...                          : Failed\n"
                     "The folder " + locked + " cannot be written: Read-only file system\n"
                     "Upgrading of the current version aborted."),
            std::string::npos)
      << log;
  EXPECT_TRUE(launch_visible_);
  EXPECT_TRUE(update_enabled_);
  EXPECT_TRUE(fs::is_empty(locked));
}

TEST_F(UpgradeProcedure, InstallsAReleaseThePublisherToolSignedAndRefusesItAltered) {
  settings_.release_public_key = PublishWithTheTool(publication_.BaseUrl());
  const std::string archive = publish_.WithSeparator() + "Demo/files/Demo-2.1.zip";
  const std::string genuine = test::ReadFile(archive);
  std::string altered = genuine;
  altered[altered.size() / 2] ^= 1;
  publish_.Write("Demo/files/Demo-2.1.zip", altered);
  std::string log = Upgrade();
  EXPECT_NE(log.find("The release file Demo-2.1.zip differs from the signed one."), std::string::npos) << log;
  EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "readme.txt"), "read me 2.0");
  EXPECT_TRUE(fs::exists(app_.WithSeparator() + "old.txt"));

  publish_.Write("Demo/files/Demo-2.1.zip", genuine);
  log = Upgrade();
  EXPECT_NE(log.find("Install release ...                          : Done successfuly"), std::string::npos) << log;
  EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "readme.txt"), "read me 2.1");
  EXPECT_FALSE(fs::exists(app_.WithSeparator() + "old.txt"));
}

TEST_F(UpgradeProcedure, RefusesWhatTheKeyDidNotSignBeforeSavingAnything) {
  const char* const kListRefused = "Get action list ...                          : Failed\n";
  const char* const kArchiveRefused = "Download release ...                         : Failed\n";
  const struct {
    const char* why;
    std::function<void()> arrange;
    std::string log_part;
  } cases[] = {
      {"an unsigned list",
       [&] {
         PublishActionList(publication_.BaseUrl());
         settings_.release_public_key = EncodeBase64(GenerateReleaseKeyPair()->public_key);
       },
       std::string(kListRefused) + "The action list is not signed.\n"},
      {"a list signed by another key",
       [&] {
         PublishSignedActionList();
         settings_.release_public_key = EncodeBase64(GenerateReleaseKeyPair()->public_key);
       },
       std::string(kListRefused) + "The action list is signed with another key ("},
      {"a signed list altered",
       [&] {
         PublishSignedActionList();
         std::string list = test::ReadFile(publish_.WithSeparator() + "Demo/actionlist.ini");
         list.replace(list.find("old.txt"), 7, "bin/demo");
         publication_.PublishActionList( list);
       },
       std::string(kListRefused) + "The signature of the action list does not match release_public_key.\n"},
      {"a genuine list of an older release, replayed", [&] { PublishSignedActionList("2.0"); },
       std::string(kListRefused) + "The signed action list is for Demo 2.0, not Demo 2.1.\n"},
      {"a sound archive other than the signed one",
       [&] {
         PublishSignedActionList();
         Zip("b.zip", {{"readme.txt", "read me 6.6"}});
       },
       std::string(kArchiveRefused) + "Upgrading of the current version aborted.    : "
                                      "The release file b.zip differs from the signed one."},
  };
  for (const auto& c : cases) {
    Zip("b.zip", {{"readme.txt", "read me 2.1"}});
    c.arrange();
    const std::string log = Upgrade();
    EXPECT_NE(log.find(c.log_part), std::string::npos) << c.why << ":\n" << log;
    EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "readme.txt"), "read me 2.0") << c.why;
    EXPECT_TRUE(fs::exists(app_.WithSeparator() + "old.txt")) << c.why << ": nothing removed";
    EXPECT_FALSE(fs::exists(temp_.WithSeparator() + "kestrova/Demo_save.zip")) << c.why << ": nothing saved";
  }
}

// The shipped nginx configuration, serving the publishing folder on a port of its own.
// Debian's stock site as nginx-light ships it, for machines that lack the file.
constexpr const char* kDebianDefaultSite =
    "server {\n\tlisten 80 default_server;\n\tlisten [::]:80 default_server;\n"
    "\troot /var/www/html;\n\tindex index.html index.htm index.nginx-debian.html;\n"
    "\tserver_name _;\n\tlocation / {\n\t\ttry_files $uri $uri/ =404;\n\t}\n}\n";

enum class DebianDefaultSite { kAbsent, kBeside };

class Nginx {
 public:
  Nginx(const std::string& folder, const std::string& completion_log,
        DebianDefaultSite debian_site = DebianDefaultSite::kAbsent)
      : port_(test::FreePort()) {
    const std::string listen = "listen 127.0.0.1:" + std::to_string(port_);
    std::string site = test::ReadFile(KESTROVA_TEST_DATA "/../../server/nginx/kestrova.conf");
    Substitute(site, "listen 80;", listen + ";");
    Substitute(site, "/srv/kestrova/publish", folder);
    Substitute(site, "/var/log/kestrova/completions.log", completion_log);
    dir_.Write("kestrova.conf", site);
    const std::string d = dir_.WithSeparator();
    std::string includes = "include " + d + "kestrova.conf;\n";
    if (debian_site == DebianDefaultSite::kBeside) {
      // Debian's nginx.conf takes conf.d/*.conf first, then sites-enabled/*.
      std::string stock = test::ReadFile("/etc/nginx/sites-available/default");
      if (stock.find("listen 80 default_server;") == std::string::npos) stock = kDebianDefaultSite;
      Substitute(stock, "listen 80 default_server;", listen + " default_server;");
      Substitute(stock, "listen [::]:80 default_server;", "");
      dir_.Write("default", stock);
      includes += "include " + d + "default;\n";
    }
    dir_.Write("nginx.conf", std::string(::geteuid() == 0 ? "user root;\n" : "") + "pid " + d +
                                 "nginx.pid;\nerror_log " + d + "error.log;\nevents {}\nhttp {\n" +
                                 "client_body_temp_path " + d + "body;\nproxy_temp_path " + d + "proxy;\n" +
                                 "fastcgi_temp_path " + d + "fastcgi;\nuwsgi_temp_path " + d + "uwsgi;\n" +
                                 "scgi_temp_path " + d + "scgi;\n" + includes + "}\n");
    process_ = std::make_unique<test::ChildProcess>(std::vector<std::string>{
        "/usr/sbin/nginx", "-p", d, "-e", d + "error.log", "-c", d + "nginx.conf", "-g", "daemon off;"});
    for (int attempt = 0; attempt < 100 && !Listening(); ++attempt) ::usleep(50000);
  }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  int Port() const { return port_; }
  std::string ErrorLog() const { return test::ReadFile(dir_.WithSeparator() + "error.log"); }

 private:
  static void Substitute(std::string& text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  }
  bool Listening() const {
    try {
      test::RawClient probe(port_);
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }

  testing::TempFolder dir_;
  int port_;
  std::unique_ptr<test::ChildProcess> process_;
};

TEST_F(UpgradeProcedure, NginxWithTheShippedConfigurationServesAWholeUpgrade) {
  const std::string completions = temp_.WithSeparator() + "nginx-completions.log";
  std::string folder = publish_.WithSeparator();
  folder.pop_back();
  Nginx nginx(folder, completions);
  const std::string key = PublishWithTheTool(nginx.BaseUrl());
  app_.Write("kestrova.ini", "[application]\nname=Demo\nmain_program=bin/demo\nfilename_config=demo.cfg\n"
                             "param_appli_version=VERSION\nparam_email=EMAIL\n[server]\nserver_addr1=" +
                                 nginx.BaseUrl() + "\nlink_for_update=/update\nrelease_public_key=" + key + "\n");
  settings_ = TSettings{};
  settings_.app_directory = app_.WithSeparator();
  TManageCheck check(settings_, app_.WithSeparator() + "kestrova", nullptr);
  ASSERT_TRUE(check.ReleaseCheck()) << nginx.ErrorLog();
  EXPECT_TRUE(settings_.vouched_release) << "nginx answers request 4 with the signed manifest";
  EXPECT_EQ(settings_.release_version + ";" + settings_.release_date, "2.1;2009-05-04");
  const std::string log = Upgrade();
  EXPECT_NE(log.find("Install release ...                          : Done successfuly"), std::string::npos)
      << log << nginx.ErrorLog();
  EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "readme.txt"), "read me 2.1");
  EXPECT_NE(test::ReadFile(completions).find("\tDemo\t2.1\tann@example.org"), std::string::npos)
      << test::ReadFile(completions);
}

TEST_F(UpgradeProcedure, NginxAndTheReferenceServerAnswerOneRangeOfAReleaseFileAlike) {
  struct Case {
    int64_t from;
    std::string if_range;  // "etag" and "date" stand for the file's own
    std::string status, content_range, body;
  };
  const std::string file = std::string(70000, 'z') + "end";
  const std::vector<Case> cases = {
      {70000, "", "206", "bytes 70000-70002/70003", "end"},
      {1000, "etag", "206", "bytes 1000-70002/70003", file.substr(1000)},
      {69999, "date", "206", "bytes 69999-70002/70003", "zend"},
      {1000, "\"another file\"", "200", "", file},
      {70003, "", "416", "bytes */70003", ""},
  };
  publish_.Write("Demo/files/r.bin", file);
  Nginx nginx(publish_.path().string(), temp_.WithSeparator() + "nginx-completions.log");
  auto internet = OpenInternetSession("kestrova", kOpenTypeDirect, "");
  for (const int port : {std::stoi(publication_.BaseUrl().substr(17)), nginx.Port()}) {
    const HttpTarget whole{"127.0.0.1", port, "/files/Demo/r.bin", "", ""};
    const auto named = internet->SendHttpRequest(whole);
    ASSERT_TRUE(named && named->ETag() && named->LastModified()) << port;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(port) + " from " + std::to_string(c.from) + " if " + c.if_range);
      HttpTarget target = whole;
      target.range_start = c.from;
      target.if_range = c.if_range == "etag"   ? *named->ETag()
                        : c.if_range == "date" ? *named->LastModified()
                                               : c.if_range;
      const auto request = internet->SendHttpRequest(target);
      ASSERT_TRUE(request);
      EXPECT_EQ(request->StatusCode(), c.status);
      EXPECT_EQ(request->ContentRange().value_or(""), c.content_range);
      std::string piece(4096, '\0'), body;
      while (size_t n = request->Read(piece.data(), piece.size())) body.append(piece.data(), n);
      EXPECT_TRUE(c.status == "416" || body == c.body);
    }
  }
}

// Beside Debian's default site only the host name in server_name reaches the
// publishing folder; any other name gets the default site's 404. The action list
// request gets the delta published for the installed version, and the full list for
// any other version or none.
TEST_F(UpgradeProcedure, NginxBesideDebiansDefaultSiteAnswersItsServerNameAndEachInstalledVersion) {
  std::string folder = publish_.WithSeparator();
  folder.pop_back();
  Nginx nginx(folder, temp_.WithSeparator() + "nginx-completions.log", DebianDefaultSite::kBeside);
  PublishWithTheTool(nginx.BaseUrl());
  publish_.Write("Demo/deltas/2.0/actionlist.ini", "[release]\nbase_version=2.0\n");
  const struct {
    const char* host;
    const char* query;
    const char* expected;
  } rows[] = {{"updates.example.com", "request=1", "2009-05-04"},
              {"127.0.0.1", "request=1", "404 Not Found"},
              {"updates.example.com", "request=3&appli_version=2.0", "base_version=2.0"},
              {"updates.example.com", "request=3&appli_version=1.9", "filename1=Demo-2.1.zip"},
              {"updates.example.com", "request=3&appli_version=", "filename1=Demo-2.1.zip"},
              {"updates.example.com", "request=3&appli_version=../Demo/deltas/2.0", "filename1=Demo-2.1.zip"}};
  for (const auto& row : rows) {
    test::RawClient client(nginx.Port());
    ASSERT_TRUE(client.Send(std::string("GET /update?") + row.query + "&appli_name=Demo HTTP/1.1\r\nHost: " +
                            row.host + "\r\nConnection: close\r\n\r\n"));
    std::string reply;
    for (int i = 0; i < 40; ++i) reply += client.StatusLine(5).value_or("") + "\n";
    EXPECT_NE(reply.find(row.expected), std::string::npos) << row.host << " " << row.query << "\n"
                                                           << reply << nginx.ErrorLog();
  }
}

}  // namespace
}  // namespace kestrova
