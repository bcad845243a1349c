// kestrova-server: the reference update server. Serves the published applications
// of one folder to the updaters that ask for them.
#include <httplib.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "catalog.h"
#include "completion_log.h"
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
    "  --log FILE       completion report log (default DIR/completions.log)\n"
    "  --threads N      requests served at the same time (default 16)\n"
    "  --help           show this text\n"
    "\n"
    "Per application, DIR/<name>/ holds:\n"
    "  release.ini      [release] version=2.1 and date=2009-05-04\n"
    "  description.rtf  the release description (or description.txt)\n"
    "  actionlist.ini   the action list of the upgrade\n"
    "  files/           the release files, served at /files/<name>/<file>\n"
    "\n"
    "The server prints the URL it serves at once it listens, and stops on SIGINT or\n"
    "SIGTERM.\n";

struct Options {
  std::string folder;
  std::string address = "127.0.0.1";
  int port = 8080;
  std::string path = "/update";
  std::string log;
  int threads = 16;
};

std::optional<int> ParseNumber(const std::string& text, int low, int high) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < low || value > high) return std::nullopt;
  return static_cast<int>(value);
}

// Reads "--name value" and "--name=value". Prints the problem and returns nothing
// when the command line is unusable.
std::optional<Options> ParseOptions(int argc, char** argv, bool& help) {
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
    if (name == "--help" || name == "-h") {
      help = true;
      return options;
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
    } else if (name == "--port" || name == "--threads") {
      const auto number = name == "--port" ? ParseNumber(value, 0, 65535) : ParseNumber(value, 1, 1024);
      if (!number) {
        std::cerr << "kestrova-server: bad value for " << name << ": " << value << "\n";
        return std::nullopt;
      }
      (name == "--port" ? options.port : options.threads) = *number;
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

// Stops the server on SIGINT or SIGTERM. The signals are taken by a thread of their
// own, since stopping the server is not safe inside a signal handler.
std::thread WatchStopSignals(httplib::Server& http, const sigset_t& signals) {
  return std::thread([&http, signals] {
    int received = 0;
    sigwait(&signals, &received);
    http.stop();
  });
}

}  // namespace

int main(int argc, char** argv) {
  bool help = false;
  const auto options = ParseOptions(argc, argv, help);
  if (help) {
    std::cout << kUsage;
    return 0;
  }
  if (!options) {
    std::cerr << "Try kestrova-server --help\n";
    return 2;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(options->folder, error)) {
    std::cerr << "kestrova-server: no such folder: " << options->folder << "\n";
    return 2;
  }
  const std::string log_path =
      options->log.empty() ? (std::filesystem::path(options->folder) / "completions.log").string()
                           : options->log;
  kestrova::server::CompletionLog log(log_path);
  if (!log.IsOpen()) {
    std::cerr << "kestrova-server: cannot open the log " << log_path << "\n";
    return 2;
  }

  // Blocked before any thread starts, so that every thread inherits the mask and
  // only the watcher takes the signals.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  const kestrova::server::Catalog catalog(options->folder);
  kestrova::server::UpdateServer server(catalog, log, {options->path, "/files"});
  httplib::Server http;
  const int threads = options->threads;
  // The library takes ownership of the queue it is handed.
  http.new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<size_t>(threads)); };
  server.Mount(http);

  int port = options->port;
  if (port == 0) {
    port = http.bind_to_any_port(options->address);
  } else if (!http.bind_to_port(options->address, port)) {
    port = -1;
  }
  if (port <= 0) {
    std::cerr << "kestrova-server: cannot listen on " << options->address << ":" << options->port
              << "\n";
    return 1;
  }
  std::cout << "kestrova-server: serving " << options->folder << " at http://" << options->address
            << ":" << port << options->path << std::endl;

  std::thread watcher = WatchStopSignals(http, signals);
  const bool served = http.listen_after_bind();
  if (!served) {
    std::cerr << "kestrova-server: the server stopped on an error\n";
    // The watcher waits for a signal that may never come.
    std::_Exit(1);
  }
  watcher.join();
  return 0;
}
