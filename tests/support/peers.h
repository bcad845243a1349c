// Real servers on 127.0.0.1 for the network tests: each starts on a port of its own
// and is stopped when the object goes. The servers are Linux programs; on Windows a
// broker on the Linux side (windows_peers.py, found through KESTROVA_PEERS) starts
// them, and paths reach them through Wine's drive Z:, where the temporary folders
// (support/temp_folder.h) of the programs that use them lie.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace kestrova::test {

/// A started program; killed and reaped when the object goes. On Windows a program
/// whose name ends in ".exe" runs here, any other through the broker.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv,
                        const std::vector<std::string>& extra_env = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  /// The first line the program prints, waiting at most a few seconds for it.
  std::string FirstLine();
  /// Waits for the program to end by itself; its exit code, or -1 after `seconds`.
  int Wait(double seconds);
  /// The program's process id; 0 for one the broker started.
  unsigned long Id() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

/// python's http.server giving every GET the same status and body; each request's
/// path, User-Agent and Via header go to LogPath as one tab-separated line.
class FixedReplyServer {
 public:
  /// With `tls_cert` (a PEM file holding key and certificate) it speaks https; with
  /// `required_auth` ("user:password") a request without that basic login gets 401.
  FixedReplyServer(int status, const std::string& body, const std::string& tls_cert = "",
                   const std::string& required_auth = "");
  std::string BaseUrl() const {
    return (tls_ ? "https" : "http") + std::string("://127.0.0.1:") + std::to_string(port_);
  }
  std::vector<std::string> RequestedPaths() const;
  std::vector<std::string> LogLines() const;

 private:
  testing::TempFolder dir_;
  std::string log_;
  bool tls_;
  ChildProcess process_;
  int port_ = 0;
};

/// An HTTP server that holds or floods its client: "trickle", "silent-body", "drip"
/// or "flood" (see hostile_server.py).
class HostileServer {
 public:
  explicit HostileServer(const std::string& mode);
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  ChildProcess process_;
  int port_ = 0;
};

/// cutting_server.py: serves `folder`, hanging up once at each offset of `cuts`.
class CuttingServer {
 public:
  CuttingServer(const std::string& folder, const std::vector<int64_t>& cuts, bool ranges = true);
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  /// Each request as "RANGE STATUS": "- 200", "bytes=1000- 206".
  std::vector<std::string> Requests() const;

 private:
  testing::TempFolder dir_;
  std::string log_;
  std::unique_ptr<ChildProcess> process_;
  int port_ = 0;
};

/// The reference update server, serving `folder` with requests at `path`. An empty
/// `log` leaves the log where the server puts it by default.
class ReferenceServer {
 public:
  ReferenceServer(const std::string& folder, const std::string& path, const std::string& log,
                  const std::vector<std::string>& extra_args = {});
  const std::string& BaseUrl() const { return base_url_; }  // without the path
  int Port() const { return std::stoi(base_url_.substr(base_url_.rfind(':') + 1)); }

 private:
  ChildProcess process_;
  std::string base_url_;
};

/// A port that accepts connections and never answers.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  intptr_t socket_ = -1;
  int port_ = 0;
};

/// Answers one connection with raw bytes, then hangs up or holds the connection open
/// without another byte until the object goes.
class ScriptedServer {
 public:
  ScriptedServer(std::string reply, bool hang_up);
  ~ScriptedServer();
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  void Serve(std::string reply, bool hang_up);

  intptr_t socket_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

/// A client that speaks raw bytes to a server on 127.0.0.1, as a hostile one would.
class RawClient {
 public:
  explicit RawClient(int port);
  /// Connects from `source`, a loopback address such as 127.0.0.7 (Linux only), so
  /// that one test can stand for many client addresses.
  RawClient(int port, const std::string& source);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  /// False once the server has closed or reset the connection.
  bool Send(const std::string& bytes);
  /// True when the server has answered or hung up: something can be read at once.
  bool ServerSpoke();
  /// The first line the server answers; empty when it hung up without one, nothing
  /// when it said nothing within `seconds`.
  std::optional<std::string> StatusLine(double seconds);

 private:
  intptr_t socket_ = -1;
};

/// tinyproxy with basic authentication.
class AuthProxy {
 public:
  AuthProxy(const std::string& user, const std::string& password);
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  testing::TempFolder dir_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

/// True when something accepts connections on 127.0.0.1 at `port`.
bool Accepts(int port);
/// A base URL where nothing listens: connections are refused at once.
std::string RefusingBaseUrl();
/// A port that was free a moment ago.
int FreePort();
/// Reads a whole file; empty when it does not exist.
std::string ReadFile(const std::string& path);
/// Seconds since `start` (a steady-clock reading from Now()).
double Now();

}  // namespace kestrova::test
