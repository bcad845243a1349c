// `kestrova --check` in-process: one configuration per mistake a publisher makes,
// against real servers, and a correct one against the reference server.
#include "app/configuration_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "base/threads.h"
#include "support/peers.h"
#include "upgrade/demo_publication.h"

namespace kestrova {
namespace {

std::string Configuration(const std::string& server, const std::string& tail = "",
                          const std::string& program = "app.sh") {
  return "[application]\nname=Demo\nmain_program=" + program + "\nfilename_config=app.cfg\n"
         "param_appli_version=VERSION\n"
         "[server]\nlink_for_update=/update\ninternet_option_connect_timeout=2\nserver_addr1=" +
         server + "\n" + tail;
}

TEST(ConfigurationCheck, NamesEveryMistakeOnItsOwnLineAndPassesACorrectConfiguration) {
  GuiThread::Attach();
  testing::DemoPublication publication;
  publication.Announce("2.1", "2010-01-01");
  const std::string server = publication.BaseUrl();
  const std::string refusing = test::RefusingBaseUrl();
  testing::TempFolder dir;
  const std::string app = dir.WithSeparator();
  namespace fs = std::filesystem;
  fs::permissions(dir.Write("app.sh", "#!/bin/sh\n"), fs::perms::owner_all);
  publication.Folder().Write("Demo/manifest.ini", "[manifest]\nname=Demo\nversion=6.6\n");
  const std::string key = "release_public_key=11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=\n";
  struct Case {
    std::string ini;
    std::string app_cfg;
    bool ok;
    std::string line;
  } cases[] = {
      {Configuration(server, "release_public_kee=abc\n"), "VERSION=2.0\n", false,
       "error: release_public_kee: unknown key in [server]; did you mean release_public_key?"},
      {Configuration(server, "[sever]\nserver_addr2=http://two\n"), "VERSION=2.0\n", false,
       "error: [sever]: unknown section; did you mean [server]?"},
      {Configuration(refusing), "VERSION=2.0\n", false,
       "error: no answer from " + refusing + "/update?request=1&appli_name=Demo"},
      {Configuration(server, key + "release_key_threshold=2\n"), "VERSION=2.0\n", false,
       "error: release_key_threshold=2 needs between 1 and 1 (the distinct keys of "
       "release_public_key)"},
      {Configuration(server, key), "VERSION=2.0\n", false,
       "error: " + server + "/update?request=4&appli_name=Demo: The release manifest is not signed. "
                            "No release is offered."},
      {Configuration(server, "", "absent"), "VERSION=2.0\n", false,
       "error: main program " + app + "absent does not exist"},
      {Configuration(server), "[Kestrova]\nVERSIONS=2.0\n", false,
       "error: param_appli_version: VERSION not found in [Kestrova] of " + app +
           "app.cfg; the updater would append it"},
      {Configuration(server), "VERSION=2.0\n", true,
       server + "/update?request=1&appli_name=Demo: release 2.1 of 2010-01-01"},
  };
  for (const Case& c : cases) {
    dir.Write("kestrova.ini", c.ini);
    dir.Write("app.cfg", c.app_cfg);
    const ConfigurationReport report = CheckConfiguration(app + "kestrova");
    EXPECT_EQ(report.ok, c.ok) << c.line;
    EXPECT_NE(std::find(report.lines.begin(), report.lines.end(), c.line), report.lines.end())
        << c.line << "\nin:\n" << ::testing::PrintToString(report.lines);
    EXPECT_EQ(dir.Read("app.cfg"), c.app_cfg) << "the check changes no file";
  }
}

}  // namespace
}  // namespace kestrova
