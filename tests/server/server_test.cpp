// The reference update server, run as a publisher runs it, asked through the
// updater's own fetcher.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <sstream>
#include <thread>

#include "catalog.h"
#include "completion_log.h"
#include "net/get_internet_data.h"
#include "net/protocol.h"
#include "publication_check.h"
#include "request_log.h"
#include "support/peers.h"

namespace kestrova {
namespace {

class ReferenceServer : public ::testing::Test {
 protected:
  void SetUp() override {
    GuiThread::Attach();
    root_.Write("Demo/release.ini", "[release]\nversion=2.1\ndate=2009-05-04\n");
    root_.Write("Demo/description.rtf", "{\\rtf1 Better than ever}");
    root_.Write("Demo/actionlist.ini", "[files]\nfile1=demo21.zip\n");
    root_.Write("Demo/files/demo21.zip", release_file_);
    root_.Write("Other/release.ini", "[release]\nversion=1;0\n");  // unusable version
    root_.Write("Pad++ 2/release.ini", "[release]\nversion=3.0\ndate=d\n");
    root_.Write("secret.txt", "not for clients");
  }

  std::optional<std::string> Fetch(const std::string& url) {
    TGetInternetData fetcher(OpenInternetSession("kestrova", kOpenTypeDirect, ""), 5);
    std::optional<std::string> reply;
    fetcher.OnDone = [&reply](TGetInternetData& sender, const std::string* data) {
      if (data) reply = *data;
      sender.ReleaseData();
    };
    fetcher.FetchAndWait(url);
    return reply;
  }

  testing::TempFolder root_;
  testing::TempFolder logs_;
  const std::string log_ = logs_.WithSeparator() + "completions.log";
  const std::string release_file_ = std::string(70000, 'z') + "end";
};

TEST_F(ReferenceServer, AnswersTheFourRequestsOfAPublishedApplication) {
  test::ReferenceServer server(root_.WithSeparator(), "/upd.php", log_);
  const std::string base = server.BaseUrl();
  EXPECT_EQ(Fetch(ReleaseCheckUrl(base, "/upd.php", "Demo")), "2.1;2009-05-04");
  EXPECT_EQ(Fetch(ReleaseDescriptionUrl(base, "/upd.php", "Demo", "2.0")), "{\\rtf1 Better than ever}");
  EXPECT_EQ(Fetch(ActionListUrl(base, "/upd.php", "Demo", "2.0")), "[files]\nfile1=demo21.zip\n");
  EXPECT_TRUE(Fetch(CompletionReportUrl(base, "/upd.php", "Demo", "2.1", "user@example.org")));
  const std::string log = test::ReadFile(log_);
  EXPECT_NE(log.find("\t127.0.0.1\tDemo\t2.1\tuser@example.org\n"), std::string::npos) << log;
  // Names travel unescaped: a "+" is a plus sign, a blank arrives as the updater's
  // library sends it.
  EXPECT_EQ(Fetch(ReleaseCheckUrl(base, "/upd.php", "Pad++ 2")), "3.0;d");
}

TEST_F(ReferenceServer, UnknownApplicationsRequestsAndFilesGetNothing) {
  test::ReferenceServer server(root_.WithSeparator(), "/upd.php", log_);
  const std::string base = server.BaseUrl();
  EXPECT_FALSE(Fetch(ReleaseCheckUrl(base, "/upd.php", "Nope")));
  EXPECT_FALSE(Fetch(ReleaseCheckUrl(base, "/upd.php", "Other")));
  EXPECT_FALSE(Fetch(ReleaseDescriptionUrl(base, "/upd.php", "Other", "1.0")));
  EXPECT_FALSE(Fetch(base + "/upd.php?request=4&appli_name=Demo"));
  EXPECT_FALSE(Fetch(ReleaseCheckUrl(base, "/other.php", "Demo")));
  EXPECT_FALSE(Fetch(CompletionReportUrl(base, "/upd.php", "Nope", "1", "x")));
  EXPECT_EQ(test::ReadFile(log_), "");
}

TEST_F(ReferenceServer, ServesReleaseFilesWithTheirLength) {
  test::ReferenceServer server(root_.WithSeparator(), "/upd.php", log_);
  const int port = std::stoi(server.BaseUrl().substr(server.BaseUrl().rfind(':') + 1));
  auto internet = OpenInternetSession("kestrova", kOpenTypeDirect, "");
  auto request = internet->SendHttpRequest({"127.0.0.1", port, "/files/Demo/demo21.zip", "", ""});
  ASSERT_TRUE(request);
  EXPECT_EQ(request->StatusCode(), "200");
  EXPECT_EQ(request->ContentLength(), std::to_string(release_file_.size()));
  std::string body(1025, '\0'), all;
  while (size_t n = request->Read(body.data(), body.size())) all.append(body.data(), n);
  EXPECT_EQ(all, release_file_);
  request = internet->SendHttpRequest({"127.0.0.1", port, "/files/Demo/missing.zip", "", ""});
  ASSERT_TRUE(request);
  EXPECT_EQ(request->StatusCode(), "404");
}

TEST_F(ReferenceServer, KeepsEveryReportOfClientsReportingAtOnce) {
  test::ReferenceServer server(root_.WithSeparator(), "/upd.php", log_);
  constexpr int kClients = 12;
  std::vector<std::thread> clients;
  std::atomic<int> answered{0};
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      auto internet = OpenInternetSession("kestrova", kOpenTypeDirect, "");
      const std::string url = CompletionReportUrl(server.BaseUrl(), "/upd.php", "Demo", "2.1",
                                                  "u" + std::to_string(i) + "@x");
      auto request = internet->OpenUrl(url, std::chrono::seconds(10));
      if (request && request->StatusCode() == "200") ++answered;
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(answered, kClients);
  const std::string log = test::ReadFile(log_);
  for (int i = 0; i < kClients; ++i) {
    EXPECT_NE(log.find("\tDemo\t2.1\tu" + std::to_string(i) + "@x\n"), std::string::npos) << log;
  }
}

TEST_F(ReferenceServer, SlowClientsNeitherStopOthersNorKeepTheirConnections) {
  test::ReferenceServer server(root_.WithSeparator(), "/upd.php", log_,
                               {"--threads", "2", "--head-timeout", "2"});
  std::vector<std::unique_ptr<test::RawClient>> slow;
  for (int i = 0; i < 20; ++i) {
    slow.push_back(std::make_unique<test::RawClient>(server.Port()));
    slow.back()->Send("GET /upd.php?request=1&appli_name=Demo HTTP/1.1\r\nHost: x\r\n");
  }
  // Each trickles in a header line now and then, never finishing its request.
  std::atomic<int> ended{0};
  std::thread trickle([&] {
    std::vector<bool> done(slow.size());
    for (const double stop = test::Now() + 15; ended < int(slow.size()) && test::Now() < stop;) {
      for (size_t i = 0; i < slow.size(); ++i) {
        if (!done[i] && (slow[i]->ServerSpoke() || !slow[i]->Send("X-Slow: 1\r\n"))) {
          done[i] = true;
          ++ended;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
  });
  EXPECT_EQ(Fetch(ReleaseCheckUrl(server.BaseUrl(), "/upd.php", "Demo")), "2.1;2009-05-04");
  trickle.join();
  EXPECT_EQ(ended, 20);
}

// 300 connections from 20 addresses send half a request and stall, and come back
// as soon as they are dropped; an honest client is still answered promptly.
TEST_F(ReferenceServer, AnHonestClientIsServedBesideAPoolOfStalledOnes) {
  test::ReferenceServer server(root_.WithSeparator(), "/upd.php", log_,
                               {"--threads", "2", "--max-connections", "200", "--per-address", "16"});
  std::vector<std::unique_ptr<test::RawClient>> stalled(300);
  std::atomic<bool> done{false};
  std::thread attacker([&] {
    for (const double stop = test::Now() + 40; !done && test::Now() < stop;) {
      for (size_t i = 0; i < stalled.size(); ++i) {
        if (stalled[i] && !stalled[i]->ServerSpoke()) continue;
        try {
          stalled[i] = std::make_unique<test::RawClient>(server.Port(), "127.0.0." + std::to_string(2 + i % 20));
          stalled[i]->Send("GET /upd.php?request=1&appli_name=Demo HTTP/1.1\r\nHost: x\r\n");
        } catch (const std::exception&) {
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  std::this_thread::sleep_for(std::chrono::seconds(1));
  for (int i = 0; i < 20; ++i) {
    const double start = test::Now();
    EXPECT_EQ(Fetch(ReleaseCheckUrl(server.BaseUrl(), "/upd.php", "Demo")), "2.1;2009-05-04") << i;
    EXPECT_LT(test::Now() - start, 1.0) << i;
  }
  done = true;
  attacker.join();
}

// One address keeps at most --per-address connections waiting for a request: clients
// at the cap that reconnect at once are never turned away (connections closing behind
// them once made the server reset some), and a newcomer past it is served in place of
// an idle or stalled connection of its address.
TEST_F(ReferenceServer, OneAddressHoldsItsCapAndNoMore) {
  test::ReferenceServer server(root_.WithSeparator(), "/upd.php", log_,
                               {"--threads", "2", "--per-address", "4"});
  const std::string request = "GET /upd.php?request=1&appli_name=Demo HTTP/1.1\r\nHost: x\r\n";
  const struct {
    const char* address;
    int reconnecting;     // clients asking again and again on new connections
    const char* held;     // what the four connections held meanwhile ask: "", "idle", "stalled"
  } cases[] = {{"127.0.0.60", 4, ""}, {"127.0.0.61", 0, "idle"}, {"127.0.0.62", 0, "stalled"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    std::vector<std::unique_ptr<test::RawClient>> held;
    for (int i = 0; c.held[0] && i < 4; ++i) {
      held.push_back(std::make_unique<test::RawClient>(server.Port(), c.address));
      if (std::string(c.held) == "idle") {
        held.back()->Send(request + "\r\n");
        ASSERT_TRUE(held.back()->StatusLine(2.0).value_or("").find(" 200 ") != std::string::npos);
      } else {
        held.back()->Send(request);
      }
    }
    std::atomic<int> refused{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < c.reconnecting; ++i) {
      clients.emplace_back([&] {
        for (const double stop = test::Now() + 2; test::Now() < stop;) {
          test::RawClient client(server.Port(), c.address);
          client.Send(request + "Connection: close\r\n\r\n");
          if (client.StatusLine(2.0).value_or("").find(" 200 ") == std::string::npos) ++refused;
        }
      });
    }
    for (auto& client : clients) client.join();
    EXPECT_EQ(refused, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the held ones are accepted
    test::RawClient newcomer(server.Port(), c.address);
    newcomer.Send(request + "\r\n");
    EXPECT_NE(newcomer.StatusLine(2.0).value_or("").find(" 200 "), std::string::npos);
    // An idle connection has its answer to read anyway; a stalled one only its end.
    const auto ended = std::count_if(held.begin(), held.end(), [](const auto& h) { return h->ServerSpoke(); });
    if (std::string(c.held) == "stalled") EXPECT_EQ(ended, 1) << "one held connection makes room";
  }
}

TEST_F(ReferenceServer, RefusesOversizedRequestsWithoutTakingThemIn) {
  test::ReferenceServer server(root_.WithSeparator(), "/upd.php", log_);
  const std::string start = "GET /upd.php?request=1&appli_name=Demo HTTP/1.1\r\nHost: x\r\n";
  struct Case {
    const char* what;
    std::string headers;
    int repeat;
    const char* status;  // nullptr: any refusal, or hanging up
  } cases[] = {
      {"100,000 headers", "X-Flood: 0123456789\r\n", 100000, nullptr},
      {"too many small headers", "X-N: 1\r\n", 150, "HTTP/1.1 431"},
      {"a 1 GB body announced", "Content-Length: 1000000000\r\n", 1, "HTTP/1.1 413"},
      {"a chunked body", "Transfer-Encoding: chunked\r\n", 1, "HTTP/1.1 413"},
  };
  for (const Case& c : cases) {
    test::RawClient client(server.Port());
    client.Send(start);
    // Sent in bursts, stopping as soon as the server has had enough.
    for (int sent = 0; sent < c.repeat && !client.ServerSpoke();) {
      std::string burst;
      for (int i = 0; i < 1000 && sent < c.repeat; ++i, ++sent) burst += c.headers;
      if (!client.Send(burst)) break;
    }
    client.Send("\r\n");
    const auto status = client.StatusLine(10);
    ASSERT_TRUE(status) << c.what << ": no answer";
    const bool refused = c.status ? status->rfind(c.status, 0) == 0
                                  : status->empty() || status->rfind("HTTP/1.1 4", 0) == 0;
    EXPECT_TRUE(refused) << c.what << ": " << *status;
  }
  EXPECT_EQ(Fetch(ReleaseCheckUrl(server.BaseUrl(), "/upd.php", "Demo")), "2.1;2009-05-04");
}

TEST_F(ReferenceServer, NeverServesTheCompletionLog) {
  const std::string log = root_.WithSeparator() + "Demo/files/completions.log";
  std::filesystem::create_symlink(log, root_.WithSeparator() + "Demo/files/alias.zip");
  test::ReferenceServer server(root_.WithSeparator(), "/upd.php", log);
  ASSERT_TRUE(Fetch(CompletionReportUrl(server.BaseUrl(), "/upd.php", "Demo", "2.1", "u@x")));
  for (const char* file : {"completions.log", "alias.zip", "./completions.log"}) {
    EXPECT_FALSE(Fetch(server.BaseUrl() + "/files/Demo/" + file)) << file;
  }
  EXPECT_NE(test::ReadFile(log).find("u@x"), std::string::npos);
}

TEST_F(ReferenceServer, KeepsItsLogOutsideThePublishingFolderByDefault) {
  const std::string folder = logs_.WithSeparator() + "publish";
  std::filesystem::create_directory(folder);
  std::filesystem::copy(root_.WithSeparator() + "Demo", folder + "/Demo",
                        std::filesystem::copy_options::recursive);
  test::ReferenceServer server(folder, "/upd.php", "");
  ASSERT_TRUE(Fetch(CompletionReportUrl(server.BaseUrl(), "/upd.php", "Demo", "2.1", "u@x")));
  const std::string log = test::ReadFile(logs_.WithSeparator() + "publish-completions.log");
  EXPECT_NE(log.find("u@x"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder + "/completions.log"));
}

TEST(ServerCatalog, NeverLeavesThePublishingFolder) {
  testing::TempFolder root;
  root.Write("Demo/files/a/b.zip", "b");
  root.Write("Demo/release.ini", "[release]\nversion=1\n");
  const server::Catalog catalog(root.WithSeparator());
  EXPECT_TRUE(catalog.ReleaseFile("Demo", "a/b.zip"));
  for (const char* file : {"../release.ini", "a/../../release.ini", "a//b.zip", "a/./b.zip", "a"}) {
    EXPECT_FALSE(catalog.ReleaseFile("Demo", file)) << file;
  }
  for (const char* name : {"..", ".", "", "Demo/files", "Demo\\x"}) {
    EXPECT_FALSE(catalog.Knows(name)) << name;
  }
}

TEST(ServerCompletionLog, AClientValueCannotForgeALineOrAField) {
  const server::CompletionReport report{"127.0.0.1", "Demo", "2.1\nFAKE", "a\tb\r@c"};
  EXPECT_EQ(server::FormatLogLine("T", report), "T\t127.0.0.1\tDemo\t2.1 FAKE\ta b @c\n");
}

// Oversized reports against a small limit: both files stay under it, every line keeps
// its five fields, and a cut never splits a two-byte character.
TEST(ServerCompletionLog, AFloodStaysBoundedAndWellFormed) {
  testing::TempFolder logs;
  const std::string path = logs.WithSeparator() + "completions.log";
  server::CompletionLog log(path, 64 * 1024);
  std::string wide;
  while (wide.size() < 7000) wide += "\xC3\xA9";
  for (int i = 0; i < 600; ++i) ASSERT_TRUE(log.Append({"127.0.0.1", wide, wide, wide}));
  for (const std::string& file : {path + ".1", path}) {
    std::istringstream text(test::ReadFile(file));
    EXPECT_LE(text.str().size(), 64u * 1024) << file;
    for (std::string line; std::getline(text, line);) {
      EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 4) << line.substr(0, 80);
      EXPECT_EQ(line.substr(line.size() - 6), "\xA9[cut]") << file;
    }
  }
}

TEST(ServerCommandLine, ExplainsItselfAndRefusesWhatItCannotServe) {
  test::ChildProcess help({KESTROVA_BIN_DIR "/kestrova-server", "--help"});
  EXPECT_NE(help.FirstLine().find("Usage: kestrova-server"), std::string::npos);
  EXPECT_EQ(help.Wait(5), 0);
  test::ChildProcess no_folder({KESTROVA_BIN_DIR "/kestrova-server", "--port", "0"});
  EXPECT_EQ(no_folder.Wait(5), 2);
  test::ChildProcess missing({KESTROVA_BIN_DIR "/kestrova-server", "--folder", "/nonexistent/x"});
  EXPECT_EQ(missing.Wait(5), 2);
}

// Each started through the shell so that the error, on standard error, is the first line.
TEST(ServerCommandLine, NamesWhatIsWrong) {
  testing::TempFolder root, logs;
  const std::string file = root.Write("file.txt", "x");
  test::ReferenceServer running(root.WithSeparator(), "/u", logs.WithSeparator() + "completions.log");
  const std::string in_use = std::to_string(running.Port());
  const struct {
    std::string arguments;
    int code;
    const char* message;
  } cases[] = {
      {"--frob", 2, "unknown option --frob"},
      {"--folder " + file, 2, "not a folder: "},
      {"--folder " + root.WithSeparator() + " --port " + in_use + " --log /dev/null", 1,
       "Address already in use"},
      {"--version", 0, "kestrova-server "},
  };
  for (const auto& c : cases) {
    test::ChildProcess server({"sh", "-c", KESTROVA_BIN_DIR "/kestrova-server " + c.arguments + " 2>&1"});
    std::string line = server.FirstLine();
    while (line.find("warning") != std::string::npos) line = server.FirstLine();
    EXPECT_NE(line.find(c.message), std::string::npos) << c.arguments << ": " << line;
    EXPECT_EQ(server.Wait(5), c.code) << c.arguments;
  }
}

TEST(ServerPublicationCheck, WarnsOfEachProblemNamingItsFile) {
  testing::TempFolder root;
  root.Write("Good/release.ini", "[release]\nversion=2.1\n");
  root.Write("Good/description.txt", "d");
  root.Write("Good/actionlist.ini", "[release]\n");
  root.Write("NoSection/release.ini", "version=1\n");
  root.Write("Semicolon/release.ini", "[release]\nversion=1;2\n");
  root.Write("Empty/files/a.zip", "");
  root.Write("NoArchive/actionlist.ini",
             "[release]\nfiledir=/files/NoArchive\nfilename1=a.zip\nfilename2=b.zip\n");
  root.Write("NoArchive/files/a.zip", "");
  const auto warnings = server::CheckPublication(root.WithSeparator());
  const std::pair<const char*, const char*> expected[] = {
      {"NoSection/release.ini", "no [release] section"},
      {"Semicolon/release.ini", "holds \";\""},
      {"Empty/release.ini", "missing"},
      {"Empty/actionlist.ini", "missing"},
      {"Empty/description.rtf", "missing"},
      {"NoArchive/files/b.zip", "missing, named by"},
  };
  for (const auto& [file, problem] : expected) {
    const bool found = std::any_of(warnings.begin(), warnings.end(), [&](const std::string& w) {
      return w.find(file) != std::string::npos && w.find(problem) != std::string::npos;
    });
    EXPECT_TRUE(found) << file << ": " << problem;
  }
  for (const std::string& warning : warnings) {
    EXPECT_EQ(warning.find("Good"), std::string::npos) << warning;
    EXPECT_EQ(warning.find("a.zip"), std::string::npos) << warning;
  }
}

TEST(ServerRequestLog, AClientCannotForgeALine) {
  const server::HttpRequest request{"GET", "/u?a=\"x\"\n2024 forged", "127.0.0.1"};
  EXPECT_EQ(server::FormatRequestLine("T", request, 404), "T 127.0.0.1 \"GET /u?a= x  2024 forged\" 404\n");
}

}  // namespace
}  // namespace kestrova
