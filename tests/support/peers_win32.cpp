// The peers on Windows (under Wine): sockets through Winsock, the updater started here,
// and the Linux servers started by the broker that KESTROVA_PEERS names
// (windows_peers.py), one JSON line per question.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "base/text.h"
#include "support/peers.h"

namespace kestrova::test {
namespace {

void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) throw std::runtime_error("Winsock did not start");
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Binds a socket to 127.0.0.1 on a free port; returns the socket and the port.
std::pair<SOCKET, int> BindLoopback() {
  StartWinsock();
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = Loopback(0);
  int length = sizeof address;
  if (s == INVALID_SOCKET || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot bind to 127.0.0.1");
  }
  return {s, ntohs(address.sin_port)};
}

SOCKET Connect(int port) {
  StartWinsock();
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const sockaddr_in address = Loopback(port);
  if (s != INVALID_SOCKET &&
      ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return s;
  }
  if (s != INVALID_SOCKET) ::closesocket(s);
  return INVALID_SOCKET;
}

bool Readable(SOCKET s, int milliseconds) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
  return ::select(0, &set, nullptr, nullptr, &wait) > 0;
}

bool SendAll(SOCKET s, std::string_view bytes) {
  while (!bytes.empty()) {
    const int n = ::send(s, bytes.data(), static_cast<int>(bytes.size()), 0);
    if (n <= 0) return false;
    bytes.remove_prefix(size_t(n));
  }
  return true;
}

std::wstring Wide(std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

// A path of this side as the Linux side names it: Wine shows "/" as drive Z:.
std::string LinuxArgument(const std::string& arg) {
  if (arg.size() < 3 || (arg[0] != 'Z' && arg[0] != 'z') || arg[1] != ':' || (arg[2] != '/' && arg[2] != '\\')) {
    return arg;
  }
  std::string path = arg.substr(2);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// A JSON string; bytes that are not ASCII travel as the lone surrogates that Python's
// "surrogateescape" turns back into the same bytes.
std::string JsonString(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      out += c >= 0x80 ? "\\udc" : "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string JsonList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const std::string& item : items) {
    if (out.size() > 1) out += ',';
    out += JsonString(item);
  }
  return out + "]";
}

// Asks the broker one question; the text of its "ok" answer.
std::string AskBroker(const std::string& question) {
  const char* address = std::getenv("KESTROVA_PEERS");
  if (!address || !*address) {
    throw std::runtime_error("KESTROVA_PEERS is not set: start tests/net/windows_peers.sh first");
  }
  const std::string_view text(address);
  const SOCKET s = Connect(std::stoi(std::string(text.substr(text.rfind(':') + 1))));
  if (s == INVALID_SOCKET) throw std::runtime_error("the peer broker does not answer");
  std::string answer;
  if (SendAll(s, question + "\n")) {
    char c;
    while (::recv(s, &c, 1, 0) == 1 && c != '\n') answer += c;
  }
  ::closesocket(s);
  if (answer.rfind("ok ", 0) != 0) throw std::runtime_error("the peer broker says: " + answer);
  return answer.substr(3);
}

bool IsWindowsProgram(const std::string& name) {
  return name.size() > 4 && EqualsIgnoreCase(std::string_view(name).substr(name.size() - 4), ".exe");
}

// The command line CreateProcess splits back into `argv`.
std::wstring CommandLine(const std::vector<std::string>& argv) {
  std::wstring line;
  for (const std::string& arg : argv) {
    if (!line.empty()) line += L' ';
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : Wide(arg)) {
      if (c == L'\\') {
        ++backslashes;
        continue;
      }
      line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
  }
  return line;
}

// The environment block of this process with `extra` ("NAME=value") set as well.
std::wstring EnvironmentWith(const std::vector<std::string>& extra) {
  std::wstring block;
  if (wchar_t* current = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = current; *entry; entry += wcslen(entry) + 1) {
      const std::wstring_view text(entry);
      bool replaced = false;
      for (const std::string& assignment : extra) {
        const std::wstring name = Wide(assignment.substr(0, assignment.find('=') + 1));
        replaced |= text.size() >= name.size() && _wcsnicmp(entry, name.c_str(), name.size()) == 0;
      }
      if (!replaced) block.append(text).push_back(L'\0');
    }
    FreeEnvironmentStringsW(current);
  }
  for (const std::string& assignment : extra) block.append(Wide(assignment)).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

}  // namespace

bool Accepts(int port) {
  const SOCKET s = Connect(port);
  if (s == INVALID_SOCKET) return false;
  ::closesocket(s);
  return true;
}

int FreePort() {
  auto [s, port] = BindLoopback();
  ::closesocket(s);
  return port;
}

// The temporary folders of a program that talks to the Linux peers lie under the Unix
// /tmp (Wine's Z:), so that the servers find what the tests write and the tests what
// the servers log. Set before any test makes one; a folder the caller chose stays.
const bool kTemporaryFoldersUnderZ = [] {
  const char* chosen = std::getenv("TEST_TMPDIR");
  if (!chosen || !*chosen) ::_putenv_s("TEST_TMPDIR", "Z:\\tmp");
  return true;
}();

struct ChildProcess::State {
  HANDLE process = nullptr;  // a program of this side
  HANDLE output = nullptr;
  std::string remote_id;  // a program the broker started
};

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env)
    : state_(std::make_unique<State>()) {
  if (argv.empty()) throw std::runtime_error("no program to start");
  if (!IsWindowsProgram(argv[0])) {
    std::vector<std::string> linux_argv;
    for (const std::string& arg : argv) linux_argv.push_back(LinuxArgument(arg));
    state_->remote_id =
        AskBroker("{\"op\":\"start\",\"argv\":" + JsonList(linux_argv) + ",\"env\":" + JsonList(extra_env) + "}");
    return;
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE write_end = nullptr;
  if (!CreatePipe(&state_->output, &write_end, &inherit, 0)) throw std::runtime_error("pipe failed");
  SetHandleInformation(state_->output, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring command = CommandLine(argv);
  std::wstring environment = EnvironmentWith(extra_env);
  PROCESS_INFORMATION info{};
  const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                      environment.data(), nullptr, &startup, &info);
  CloseHandle(write_end);
  if (!started) throw std::runtime_error("cannot start " + argv[0]);
  CloseHandle(info.hThread);
  state_->process = info.hProcess;
}

ChildProcess::~ChildProcess() {
  if (!state_->remote_id.empty()) {
    try {
      AskBroker("{\"op\":\"stop\",\"id\":" + JsonString(state_->remote_id) + "}");
    } catch (const std::exception&) {
      // The broker went first; it stops what it started when it goes.
    }
  }
  if (state_->process) {
    if (Wait(0) == -1) {
      TerminateProcess(state_->process, 1);
      WaitForSingleObject(state_->process, 5000);
    }
    if (state_->process) CloseHandle(state_->process);
  }
  if (state_->output) CloseHandle(state_->output);
}

unsigned long ChildProcess::Id() const { return state_->process ? GetProcessId(state_->process) : 0; }

std::string ChildProcess::FirstLine() {
  if (!state_->remote_id.empty()) {
    return AskBroker("{\"op\":\"line\",\"id\":" + JsonString(state_->remote_id) + "}");
  }
  std::string line;
  char c;
  DWORD got = 0;
  while (::ReadFile(state_->output, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
    if (c != '\r') line += c;
  }
  return line;
}

int ChildProcess::Wait(double seconds) {
  if (!state_->remote_id.empty()) {
    return std::stoi(AskBroker("{\"op\":\"wait\",\"id\":" + JsonString(state_->remote_id) +
                               ",\"seconds\":" + std::to_string(seconds) + "}"));
  }
  if (!state_->process) return -1;
  if (WaitForSingleObject(state_->process, static_cast<DWORD>(seconds * 1000)) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(state_->process, &code);
  CloseHandle(state_->process);
  state_->process = nullptr;
  return static_cast<int>(code);
}

SilentServer::SilentServer() {
  auto [s, port] = BindLoopback();
  socket_ = static_cast<intptr_t>(s);
  port_ = port;
  // Connections complete in the system's backlog; nobody ever reads them.
  ::listen(s, 16);
}

SilentServer::~SilentServer() { ::closesocket(static_cast<SOCKET>(socket_)); }

ScriptedServer::ScriptedServer(std::string reply, bool hang_up) {
  auto [s, port] = BindLoopback();
  socket_ = static_cast<intptr_t>(s);
  port_ = port;
  ::listen(s, 4);
  thread_ = std::thread([this, reply = std::move(reply), hang_up] { Serve(reply, hang_up); });
}

ScriptedServer::~ScriptedServer() {
  stop_ = true;
  thread_.join();
  ::closesocket(static_cast<SOCKET>(socket_));
}

void ScriptedServer::Serve(std::string reply, bool hang_up) {
  const double deadline = Now() + 30;
  auto wait_readable = [&](SOCKET s) {
    while (!stop_ && Now() < deadline) {
      if (Readable(s, 50)) return true;
    }
    return false;
  };
  const SOCKET listener = static_cast<SOCKET>(socket_);
  if (!wait_readable(listener)) return;
  const SOCKET client = ::accept(listener, nullptr, nullptr);
  if (client == INVALID_SOCKET) return;
  std::string request;
  char buffer[1024];
  while (request.find("\r\n\r\n") == std::string::npos && wait_readable(client)) {
    const int n = ::recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, size_t(n));
  }
  SendAll(client, reply);
  if (!hang_up) {
    while (!stop_ && Now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::closesocket(client);
}

RawClient::RawClient(int port) : socket_(static_cast<intptr_t>(Connect(port))) {
  if (static_cast<SOCKET>(socket_) == INVALID_SOCKET) throw std::runtime_error("cannot connect to 127.0.0.1");
}

RawClient::~RawClient() { ::closesocket(static_cast<SOCKET>(socket_)); }

bool RawClient::Send(const std::string& bytes) { return SendAll(static_cast<SOCKET>(socket_), bytes); }

bool RawClient::ServerSpoke() { return Readable(static_cast<SOCKET>(socket_), 0); }

std::optional<std::string> RawClient::StatusLine(double seconds) {
  std::string line;
  const double deadline = Now() + seconds;
  while (Now() < deadline) {
    if (!Readable(static_cast<SOCKET>(socket_), 50)) continue;
    char c;
    if (::recv(static_cast<SOCKET>(socket_), &c, 1, 0) != 1 || c == '\n') return line;
    if (c != '\r') line += c;
  }
  return std::nullopt;
}

}  // namespace kestrova::test
