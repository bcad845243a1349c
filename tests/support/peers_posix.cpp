// The peers on POSIX: programs started with fork and exec, sockets of the system.
#include "support/peers.h"

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

}  // namespace

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

int FreePort() {
  auto [fd, port] = BindLoopback();
  ::close(fd);
  return port;
}

struct ChildProcess::State {
  pid_t pid = -1;
  int output = -1;
};

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extra_env)
    : state_(std::make_unique<State>()) {
  pid_t& pid_ = state_->pid;
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
  state_->output = pipe_fds[0];
  if (pid_ < 0) throw std::runtime_error("fork failed");
}

ChildProcess::~ChildProcess() {
  const pid_t pid_ = state_->pid;
  if (pid_ > 0 && Wait(0) == -1) {
    ::kill(pid_, SIGTERM);
    if (Wait(3) == -1) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  if (state_->output >= 0) ::close(state_->output);
}

unsigned long ChildProcess::Id() const { return static_cast<unsigned long>(state_->pid); }

std::string ChildProcess::FirstLine() {
  std::string line;
  const double deadline = Now() + 10;
  while (Now() < deadline) {
    pollfd ready{state_->output, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    char c;
    if (::read(state_->output, &c, 1) != 1) break;
    if (c == '\n') return line;
    line += c;
  }
  throw std::runtime_error("no output from a started server");
}

int ChildProcess::Wait(double seconds) {
  const double deadline = Now() + seconds;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(state_->pid, &status, WNOHANG);
    if (done == state_->pid) {
      state_->pid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (Now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

SilentServer::SilentServer() {
  auto [fd, port] = BindLoopback();
  socket_ = fd;
  port_ = port;
  // Connections complete in the kernel's backlog; nobody ever reads them.
  ::listen(int(socket_), 16);
}

SilentServer::~SilentServer() { ::close(int(socket_)); }

ScriptedServer::ScriptedServer(std::string reply, bool hang_up) {
  auto [fd, port] = BindLoopback();
  socket_ = fd;
  port_ = port;
  ::listen(int(socket_), 4);
  thread_ = std::thread([this, reply = std::move(reply), hang_up] { Serve(reply, hang_up); });
}

ScriptedServer::~ScriptedServer() {
  stop_ = true;
  thread_.join();
  ::close(int(socket_));
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
  if (!wait_readable(int(socket_))) return;
  const int client = ::accept(int(socket_), nullptr, nullptr);
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

RawClient::RawClient(int port) : RawClient(port, "127.0.0.1") {}

RawClient::RawClient(int port, const std::string& source)
    : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in from{};
  from.sin_family = AF_INET;
  if (socket_ < 0 || ::inet_pton(AF_INET, source.c_str(), &from.sin_addr) != 1 ||
      ::bind(int(socket_), reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
    if (socket_ >= 0) ::close(int(socket_));
    throw std::runtime_error("cannot bind to " + source);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (socket_ < 0 ||
      ::connect(int(socket_), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(int(socket_));
    throw std::runtime_error("cannot connect to 127.0.0.1");
  }
}

RawClient::~RawClient() { ::close(int(socket_)); }

bool RawClient::Send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(int(socket_), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

bool RawClient::ServerSpoke() {
  pollfd ready{int(socket_), POLLIN, 0};
  return ::poll(&ready, 1, 0) > 0;
}

std::optional<std::string> RawClient::StatusLine(double seconds) {
  std::string line;
  const double deadline = Now() + seconds;
  while (Now() < deadline) {
    pollfd ready{int(socket_), POLLIN, 0};
    if (::poll(&ready, 1, 50) <= 0) continue;
    char c;
    if (::read(int(socket_), &c, 1) != 1 || c == '\n') return line;
    if (c != '\r') line += c;
  }
  return std::nullopt;
}

}  // namespace kestrova::test
