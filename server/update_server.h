// The update server's answers to the updater's requests.
#pragma once

#include <string>

#include "catalog.h"
#include "completion_log.h"

namespace httplib {
class Server;
}

namespace kestrova::server {

/// Where the server takes its answers from and where it answers.
struct ServerOptions {
  std::string request_path = "/update";  // the updaters' link_for_update
  std::string files_prefix = "/files";   // release files: <prefix>/<name>/<file>
};

/// Answers requests 1 (release check), 2 (description), 3 (action list) and
/// 5 (completion report) at the request path, and serves release files with their
/// length. An unknown application, request or file gets 404.
class UpdateServer {
 public:
  UpdateServer(const Catalog& catalog, CompletionLog& log, ServerOptions options);

  /// Installs the handlers on `http`.
  void Mount(httplib::Server& http);

 private:
  const Catalog& catalog_;
  CompletionLog& log_;
  ServerOptions options_;
};

/// `path` as an exact-match pattern for the HTTP library's regular expressions.
std::string ExactPattern(const std::string& path);

}  // namespace kestrova::server
