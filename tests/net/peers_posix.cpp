#include "peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <stdexcept>
#include <thread>

namespace kestrova::test {
namespace {

// Binds a socket to 127.0.0.1 on a free port; returns the socket and the port.
std::pair<int, int> BindLoopback() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot bind to 127.0.0.1");
  }
  return {fd, ntohs(address.sin_port)};
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int FreePort() {
  auto [fd, port] = BindLoopback();
  ::close(fd);
  return port;
}

std::string RefusingBaseUrl() { return "http://127.0.0.1:" + std::to_string(FreePort()); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrova-net-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
  const std::filesystem::path path = path_ + name;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extra_env) {
  // Everything the child needs is prepared before the fork: between fork and exec
  // only async-signal-safe calls are allowed.
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (char** entry = environ; *entry; ++entry) {
    const std::string_view current(*entry);
    const std::string_view name = current.substr(0, current.find('=') + 1);
    bool replaced = false;
    for (const std::string& assignment : extra_env) replaced |= assignment.rfind(name, 0) == 0;
    if (!replaced) env.push_back(*entry);
  }
  for (const std::string& assignment : extra_env) env.push_back(const_cast<char*>(assignment.c_str()));
  env.push_back(nullptr);
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(pipe_fds[1], STDOUT_FILENO);
    ::execvpe(args[0], args.data(), env.data());
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  output_ = pipe_fds[0];
  if (pid_ < 0) throw std::runtime_error("fork failed");
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && Wait(0) == -1) {
    ::kill(pid_, SIGTERM);
    if (Wait(3) == -1) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  if (output_ >= 0) ::close(output_);
}

std::string ChildProcess::FirstLine() {
  std::string line;
  const double deadline = Now() + 10;
  while (Now() < deadline) {
    pollfd ready{output_, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    char c;
    if (::read(output_, &c, 1) != 1) break;
    if (c == '\n') return line;
    line += c;
  }
  throw std::runtime_error("no output from a started server");
}

int ChildProcess::Wait(double seconds) {
  const double deadline = Now() + seconds;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (Now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

FixedReplyServer::FixedReplyServer(int status, const std::string& body, const std::string& tls_cert,
                                   const std::string& required_auth)
    : log_(dir_.Path() + "requests.log"),
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

namespace {

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

ReferenceServer::ReferenceServer(const std::string& folder, const std::string& path,
                                 const std::string& log, const std::vector<std::string>& extra_args)
    : process_(ReferenceServerArgs(folder, path, log, extra_args)) {
  const std::string line = process_.FirstLine();  // "... at http://127.0.0.1:PORT/path"
  const size_t at = line.find("http://");
  if (at == std::string::npos) throw std::runtime_error("unexpected server output: " + line);
  base_url_ = line.substr(at, line.find('/', at + 7) - at);
}

SilentServer::SilentServer() {
  std::tie(socket_, port_) = BindLoopback();
  // Connections complete in the kernel's backlog; nobody ever reads them.
  ::listen(socket_, 16);
}

SilentServer::~SilentServer() { ::close(socket_); }

ScriptedServer::ScriptedServer(std::string reply, bool hang_up) {
  std::tie(socket_, port_) = BindLoopback();
  ::listen(socket_, 4);
  thread_ = std::thread([this, reply = std::move(reply), hang_up] { Serve(reply, hang_up); });
}

ScriptedServer::~ScriptedServer() {
  stop_ = true;
  thread_.join();
  ::close(socket_);
}

void ScriptedServer::Serve(std::string reply, bool hang_up) {
  const double deadline = Now() + 30;
  auto wait_readable = [&](int fd) {
    while (!stop_ && Now() < deadline) {
      pollfd ready{fd, POLLIN, 0};
      if (::poll(&ready, 1, 50) > 0) return true;
    }
    return false;
  };
  if (!wait_readable(socket_)) return;
  const int client = ::accept(socket_, nullptr, nullptr);
  if (client < 0) return;
  std::string request;
  char buffer[1024];
  while (request.find("\r\n\r\n") == std::string::npos && wait_readable(client)) {
    const ssize_t n = ::read(client, buffer, sizeof buffer);
    if (n <= 0) break;
    request.append(buffer, size_t(n));
  }
  ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
  if (!hang_up) {
    while (!stop_ && Now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::close(client);
}

RawClient::RawClient(int port) : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (socket_ < 0 ||
      ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("cannot connect to 127.0.0.1");
  }
}

RawClient::~RawClient() { ::close(socket_); }

bool RawClient::Send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(socket_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

bool RawClient::ServerSpoke() {
  pollfd ready{socket_, POLLIN, 0};
  return ::poll(&ready, 1, 0) > 0;
}

std::optional<std::string> RawClient::StatusLine(double seconds) {
  std::string line;
  const double deadline = Now() + seconds;
  while (Now() < deadline) {
    pollfd ready{socket_, POLLIN, 0};
    if (::poll(&ready, 1, 50) <= 0) continue;
    char c;
    if (::read(socket_, &c, 1) != 1 || c == '\n') return line;
    if (c != '\r') line += c;
  }
  return std::nullopt;
}

AuthProxy::AuthProxy(const std::string& user, const std::string& password) {
  port_ = FreePort();
  const std::string config = dir_.Write(
      "tinyproxy.conf", "Port " + std::to_string(port_) +
                            "\nListen 127.0.0.1\nTimeout 10\nMaxClients 20\nAllow 127.0.0.1\n"
                            "LogLevel Critical\nBasicAuth " + user + " " + password + "\n");
  process_ = std::make_unique<ChildProcess>(std::vector<std::string>{"tinyproxy", "-d", "-c", config});
  const double deadline = Now() + 5;
  while (!Accepts(port_)) {
    if (Now() > deadline) throw std::runtime_error("tinyproxy did not start");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace kestrova::test
