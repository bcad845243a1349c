// kestrova-server: the reference update server. Serves the published applications
// of one folder to the updaters that ask for them.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "catalog.h"
#include "completion_log.h"
#include "http_service.h"
#include "listen_check.h"
#include "publication_check.h"
#include "request_log.h"
#include "stop_signal.h"
#include "update_server.h"

namespace {

constexpr char kUsage[] =
    "Usage: kestrova-server --folder DIR [options]\n"
    "\n"
    "Answers the updaters of the applications published in DIR.\n"
    "\n"
    "Options:\n"
    "  --folder DIR     the publishing folder: one subfolder per application, named\n"
    "                   as the updaters' \"name\" setting (required)\n"
    "  --address ADDR   address to listen on (default 127.0.0.1; 0.0.0.0 for all)\n"
    "  --port N         port to listen on (default 8080; 0 picks a free one)\n"
    "  --path PATH      request path, the updaters' link_for_update (default /update)\n"
    "  --log FILE       completion report log, never served (default: beside DIR,\n"
    "                   named DIR-completions.log)\n"
    "  --log-max-mib N  MiB the log may reach before it becomes FILE.1, replacing the\n"
    "                   one before, and a new FILE is begun (default 16); each field\n"
    "                   of a report is cut to 256 bytes, ending in \"[cut]\"\n"
    "  --threads N      threads serving requests (default: one per core but one,\n"
    "                   at least one)\n"
    "  --head-timeout N seconds a client may take to send a request head, from\n"
    "                   connecting or from its last answer (default 2)\n"
    "  --request-timeout N\n"
    "                   seconds an answer waits for a client that stops reading\n"
    "                   (default 10)\n"
    "  --max-connections N\n"
    "                   open connections at most (default 1000); past three\n"
    "                   quarters of it each new one ends an idle or stalled one\n"
    "  --per-address N  connections one client address may keep waiting for a\n"
    "                   request, each new one past it ending its oldest idle or\n"
    "                   stalled one; twice that in all on each serving\n"
    "                   thread (default 64); raise\n"
    "                   it when many users share one proxy\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "\n"
    "Per application, DIR/<name>/ holds:\n"
    "  release.ini      [release] version=2.1 and date=2009-05-04\n"
    "  description.rtf  the release description (or description.txt)\n"
    "  actionlist.ini   the action list of the upgrade\n"
    "  files/           the release files, served at /files/<name>/<file>\n"
    "\n"
    "Ports: the updaters download release files from port 80, so the server that\n"
    "serves /files must answer there: run it with --port 80 (as root, or with the\n"
    "CAP_NET_BIND_SERVICE capability, as the systemd unit does) or behind a web\n"
    "server on port 80. The release checks go to the port the updaters'\n"
    "server_addr1 (and server_addr2) names, port 80 when it names none;\n"
    "link_for_update is only the path (--path).\n"
    "\n"
    "At start the server checks every application folder and warns of each problem\n"
    "on standard error, prints the URL it serves at once it listens, then logs one\n"
    "line per request (time, client, request, status) on standard error. It stops on\n"
    "SIGINT or SIGTERM.\n"
    "\n"
    "As a service: the kestrova-server package installs the systemd unit\n"
    "kestrova-server.service, serving /srv/kestrova-server on port 80 as its own\n"
    "user; `systemctl enable --now kestrova-server` starts it, `journalctl -u\n"
    "kestrova-server` shows its log.\n";

struct Options {
  std::string folder;
  std::string address = "127.0.0.1";
  int port = 8080;
  std::string path = "/update";
  std::string log;
  int threads = 0;
  int request_timeout = 10;
  int log_max_mib = 16;
  int head_timeout = 2;
  int max_connections = 1000;
  int per_address = 64;
};

std::optional<int> ParseNumber(const std::string& text, int low, int high) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < low || value > high) return std::nullopt;
  return static_cast<int>(value);
}

bool TakesValue(const std::string& name) {
  for (const char* known : {"--folder", "--address", "--port", "--path", "--log", "--threads",
                            "--request-timeout", "--log-max-mib", "--head-timeout",
                            "--max-connections", "--per-address"}) {
    if (name == known) return true;
  }
  return false;
}

int* NumberOption(Options& options, const std::string& name) {
  if (name == "--port") return &options.port;
  if (name == "--threads") return &options.threads;
  if (name == "--request-timeout") return &options.request_timeout;
  if (name == "--log-max-mib") return &options.log_max_mib;
  if (name == "--head-timeout") return &options.head_timeout;
  if (name == "--max-connections") return &options.max_connections;
  if (name == "--per-address") return &options.per_address;
  return nullptr;
}

// Reads "--name value" and "--name=value". Prints the problem and returns nothing
// when the command line is unusable.
std::optional<Options> ParseOptions(int argc, char** argv, bool& help, bool& version) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::string value;
    bool has_value = false;
    if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_value = true;
    }
    if (name == "--help" || name == "-h" || name == "--version") {
      help = name != "--version";
      version = name == "--version";
      return options;
    }
    if (!TakesValue(name)) {
      std::cerr << "kestrova-server: unknown option " << name << "\n";
      return std::nullopt;
    }
    if (!has_value) {
      if (i + 1 >= argc) {
        std::cerr << "kestrova-server: " << name << " needs a value\n";
        return std::nullopt;
      }
      value = argv[++i];
    }
    if (name == "--folder") {
      options.folder = value;
    } else if (name == "--address") {
      options.address = value;
    } else if (name == "--path") {
      options.path = value;
    } else if (name == "--log") {
      options.log = value;
    } else if (int* number = NumberOption(options, name)) {
      const auto parsed =
          name == "--port" ? ParseNumber(value, 0, 65535) : ParseNumber(value, 1, 1024);
      if (!parsed) {
        std::cerr << "kestrova-server: bad value for " << name << ": " << value << "\n";
        return std::nullopt;
      }
      *number = *parsed;
    } else {
      std::cerr << "kestrova-server: unknown option " << name << "\n";
      return std::nullopt;
    }
  }
  if (options.folder.empty()) {
    std::cerr << "kestrova-server: --folder is required\n";
    return std::nullopt;
  }
  if (options.path.empty() || options.path[0] != '/') options.path = "/" + options.path;
  return options;
}

// The log holds the users' e-mail addresses, so by default it lies beside the
// publishing folder, never inside it: "publish" logs to "publish-completions.log".
// Empty when the folder has no parent to write beside.
std::string DefaultLogPath(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(folder, error);
  if (error || !real.has_parent_path() || real.filename().empty() || real == real.root_path()) {
    return "";
  }
  return (real.parent_path() / (real.filename().string() + "-completions.log")).string();
}

bool LiesInside(const std::string& path, const std::string& folder) {
  std::error_code error;
  const auto file = std::filesystem::weakly_canonical(path, error);
  const auto root = std::filesystem::canonical(folder, error);
  if (error) return false;
  return std::mismatch(root.begin(), root.end(), file.begin(), file.end()).first == root.end();
}

}  // namespace

int main(int argc, char** argv) {
  bool help = false, version = false;
  const auto options = ParseOptions(argc, argv, help, version);
  if (help || version) {
    std::cout << (help ? kUsage : "kestrova-server " KESTROVA_VERSION "\n");
    return 0;
  }
  if (!options) {
    std::cerr << "Try kestrova-server --help\n";
    return 2;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(options->folder, error)) {
    std::cerr << "kestrova-server: "
              << (std::filesystem::exists(options->folder, error) ? "not a folder: " : "no such folder: ")
              << options->folder << "\n";
    return 2;
  }
  const std::string log_path =
      options->log.empty() ? DefaultLogPath(options->folder) : options->log;
  if (log_path.empty()) {
    std::cerr << "kestrova-server: choose a completion log outside the folder with --log\n";
    return 2;
  }
  kestrova::server::CompletionLog log(log_path,
                                      static_cast<std::size_t>(options->log_max_mib) << 20);
  if (!log.IsOpen()) {
    std::cerr << "kestrova-server: cannot open the log " << log_path << "\n";
    return 2;
  }
  if (LiesInside(log_path, options->folder)) {
    std::cerr << "kestrova-server: note: the log " << log_path
              << " lies in the publishing folder; this server never serves it, but another\n"
                 "web server serving that folder would\n";
  }

  for (const std::string& warning : kestrova::server::CheckPublication(options->folder)) {
    std::cerr << "kestrova-server: warning: " << warning << "\n";
  }

  const kestrova::server::StopSignal stop;
  const kestrova::server::Catalog catalog(options->folder, {log_path});
  const kestrova::server::UpdateServer server(catalog, log, {options->path, "/files"});
  kestrova::server::HttpLimits limits;
  limits.threads = options->threads;
  limits.request_seconds = options->request_timeout;
  limits.head_seconds = options->head_timeout;
  limits.max_connections = static_cast<unsigned>(options->max_connections);
  limits.max_connections_per_client = static_cast<unsigned>(options->per_address);
  kestrova::server::RequestLog requests(stderr);
  kestrova::server::HttpService http(
      [&server, &requests](const kestrova::server::HttpRequest& request) {
        kestrova::server::HttpReply reply = server.Answer(request);
        requests.Write(request, reply.status);
        return reply;
      },
      limits);
  // The serving threads share their port with each other, and so would share it with
  // another server already there: that one is looked for first.
  const auto why_not = [&] {
    return kestrova::server::ListenFailureReason(options->address, options->port);
  };
  const std::string busy = options->port != 0 ? why_not() : "";
  if (!busy.empty() || !http.Listen(options->address, options->port)) {
    const std::string reason = busy.empty() ? why_not() : busy;
    std::cerr << "kestrova-server: cannot listen on " << options->address << ":" << options->port
              << (reason.empty() ? "" : ": " + reason) << "\n";
    return 1;
  }
  std::cout << "kestrova-server: serving " << options->folder << " at http://" << options->address
            << ":" << http.Port() << options->path << std::endl;
  stop.Wait();
  return 0;
}
