// The update server's answers to the updater's requests.
#pragma once

#include <string>

#include "catalog.h"
#include "completion_log.h"
#include "http_service.h"

namespace kestrova::server {

/// Where the server takes its answers from and where it answers.
struct ServerOptions {
  std::string request_path = "/update";  // the updaters' link_for_update
  std::string files_prefix = "/files";   // release files: <prefix>/<name>/<file>
};

/// Answers requests 1 (release check), 2 (description), 3 (action list),
/// 4 (release manifest) and 5 (completion report) at the request path, and serves
/// release files with their length. An unknown application, request, path or file gets 404.
class UpdateServer {
 public:
  UpdateServer(const Catalog& catalog, CompletionLog& log, ServerOptions options);

  /// The reply to one request; safe to call from several threads at once.
  HttpReply Answer(const HttpRequest& request) const;

 private:
  HttpReply AnswerProtocol(const HttpRequest& request) const;
  HttpReply AnswerFile(const HttpRequest& request, const std::string& path) const;

  const Catalog& catalog_;
  CompletionLog& log_;
  ServerOptions options_;
};

/// `text` with its percent-escapes decoded; a "+" stays a plus sign, and an escape
/// that is not two hexadecimal digits is kept as it stands.
std::string DecodePercent(const std::string& text);

/// The value of `key` in the query of `target`, percent-decoded; the first
/// occurrence counts, and a missing key gives an empty text.
std::string QueryValue(const std::string& target, const std::string& key);

}  // namespace kestrova::server
