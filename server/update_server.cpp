#include "update_server.h"

#include "base/text.h"
#include "range_reply.h"

namespace kestrova::server {
namespace {

HttpReply NotFound() { return HttpReply{404, "text/plain", "Not found\n", std::nullopt}; }

HttpReply Text(std::string content, std::string media_type = "text/plain") {
  return HttpReply{200, std::move(media_type), std::move(content), std::nullopt};
}

HttpReply ReplyDocument(const std::optional<Document>& document) {
  if (!document) return NotFound();
  return Text(document->content, document->media_type);
}

}  // namespace

std::string DecodePercent(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
        HexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Updaters join their values in unescaped, so a "+" is a plus sign (as in an
// application named "Notepad++"), never a blank.
std::string QueryValue(const std::string& target, const std::string& key) {
  const size_t question = target.find('?');
  if (question == std::string::npos) return "";
  const std::string query = target.substr(question + 1);
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    const size_t eq = pair.find('=');
    if (pair.substr(0, eq) == key) {
      return eq == std::string::npos ? "" : DecodePercent(pair.substr(eq + 1));
    }
    start = end + 1;
  }
  return "";
}

UpdateServer::UpdateServer(const Catalog& catalog, CompletionLog& log, ServerOptions options)
    : catalog_(catalog), log_(log), options_(std::move(options)) {
  if (options_.request_path.empty()) options_.request_path.push_back('/');
}

HttpReply UpdateServer::Answer(const HttpRequest& request) const {
  const std::string path = DecodePercent(request.target.substr(0, request.target.find('?')));
  if (path == options_.request_path) return AnswerProtocol(request);
  const std::string files = options_.files_prefix + "/";
  if (path.compare(0, files.size(), files) == 0) {
    return AnswerFile(request, path.substr(files.size()));
  }
  return NotFound();
}

HttpReply UpdateServer::AnswerProtocol(const HttpRequest& request) const {
  const std::string name = QueryValue(request.target, "appli_name");
  if (!catalog_.Knows(name)) return NotFound();
  const std::string kind = QueryValue(request.target, "request");
  if (kind == "1") {
    const auto release = catalog_.Release(name);
    if (!release) return NotFound();
    return Text(release->version + ";" + release->date);
  }
  if (kind == "2") return ReplyDocument(catalog_.Description(name));
  if (kind == "3") return ReplyDocument(catalog_.ActionList(name, QueryValue(request.target, "appli_version")));
  if (kind == "4") return ReplyDocument(catalog_.Manifest(name));
  if (kind == "5") {
    const CompletionReport report{request.client_address, name,
                                  QueryValue(request.target, "appli_version"),
                                  QueryValue(request.target, "email")};
    // A report that was not kept is not acknowledged.
    if (!log_.Append(report)) {
      return HttpReply{500, "text/plain", "The report could not be recorded\n", std::nullopt};
    }
    return Text("OK\n");
  }
  return NotFound();
}

// `rest` is "<name>/<file>"; the file may lie in a subfolder of the release files.
HttpReply UpdateServer::AnswerFile(const HttpRequest& request, const std::string& rest) const {
  const size_t slash = rest.find('/');
  if (slash == std::string::npos) return NotFound();
  const auto path = catalog_.ReleaseFile(rest.substr(0, slash), rest.substr(slash + 1));
  if (!path) return NotFound();
  return FileReply(request, *path);
}

}  // namespace kestrova::server
