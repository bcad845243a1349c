// The peers that are programs of their own: started the same way on every platform.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/peers.h"

namespace kestrova::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> ReferenceServerArgs(const std::string& folder, const std::string& path,
                                             const std::string& log,
                                             const std::vector<std::string>& extra_args) {
  std::vector<std::string> args{KESTROVA_BIN_DIR "/kestrova-server", "--folder", folder,
                                "--port", "0", "--path", path};
  if (!log.empty()) args.insert(args.end(), {"--log", log});
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  return args;
}

}  // namespace

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string RefusingBaseUrl() { return "http://127.0.0.1:" + std::to_string(FreePort()); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

FixedReplyServer::FixedReplyServer(int status, const std::string& body, const std::string& tls_cert,
                                   const std::string& required_auth)
    : log_(dir_.WithSeparator() + "requests.log"),
      tls_(!tls_cert.empty()),
      process_({"python3", KESTROVA_TEST_DATA "/net/fixed_reply_server.py", "--status",
                std::to_string(status), "--body", body, "--log", log_, "--lifetime", "60",
                "--tls-cert", tls_cert, "--require-auth", required_auth}) {
  port_ = std::stoi(process_.FirstLine());
}

std::vector<std::string> FixedReplyServer::LogLines() const { return Lines(ReadFile(log_)); }

std::vector<std::string> FixedReplyServer::RequestedPaths() const {
  std::vector<std::string> paths;
  for (const std::string& line : LogLines()) paths.push_back(line.substr(0, line.find('\t')));
  return paths;
}

HostileServer::HostileServer(const std::string& mode)
    : process_({"python3", KESTROVA_TEST_DATA "/net/hostile_server.py", "--mode", mode}) {
  port_ = std::stoi(process_.FirstLine());
}

CuttingServer::CuttingServer(const std::string& folder, const std::vector<int64_t>& cuts,
                             bool ranges) : log_(dir_.WithSeparator() + "requests.log") {
  std::string list;
  for (int64_t cut : cuts) list += std::to_string(cut) + ",";
  std::vector<std::string> argv{"python3", KESTROVA_TEST_DATA "/net/cutting_server.py",
                                "--folder", folder, "--cuts", list, "--log", log_};
  if (!ranges) argv.push_back("--no-ranges");
  process_ = std::make_unique<ChildProcess>(argv);
  port_ = std::stoi(process_->FirstLine());
}

std::vector<std::string> CuttingServer::Requests() const { return Lines(ReadFile(log_)); }

ReferenceServer::ReferenceServer(const std::string& folder, const std::string& path,
                                 const std::string& log, const std::vector<std::string>& extra_args)
    : process_(ReferenceServerArgs(folder, path, log, extra_args)) {
  const std::string line = process_.FirstLine();  // "... at http://127.0.0.1:PORT/path"
  const size_t at = line.find("http://");
  if (at == std::string::npos) throw std::runtime_error("unexpected server output: " + line);
  base_url_ = line.substr(at, line.find('/', at + 7) - at);
}

AuthProxy::AuthProxy(const std::string& user, const std::string& password) {
  port_ = FreePort();
  const std::string config =
      dir_.Write("tinyproxy.conf", "Port " + std::to_string(port_) +
                                       "\nListen 127.0.0.1\nTimeout 10\nMaxClients 20\nAllow 127.0.0.1\n"
                                       "LogLevel Critical\nBasicAuth " + user + " " + password + "\n")
          .string();
  process_ = std::make_unique<ChildProcess>(std::vector<std::string>{"tinyproxy", "-d", "-c", config});
  const double deadline = Now() + 5;
  while (!Accepts(port_)) {
    if (Now() > deadline) throw std::runtime_error("tinyproxy did not start");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace kestrova::test
