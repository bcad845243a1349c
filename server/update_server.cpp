#include "update_server.h"

#include <httplib.h>

#include <fstream>
#include <memory>

namespace kestrova::server {
namespace {

constexpr char kPlainText[] = "text/plain";

// A query value as the updater sent it. Updaters join their values in unescaped, so
// a "+" is a plus sign (as in an application named "Notepad++"), never a blank;
// only percent-escapes are decoded. The first occurrence of a key counts.
std::string QueryValue(const httplib::Request& req, const std::string& key) {
  const size_t question = req.target.find('?');
  if (question == std::string::npos) return "";
  const std::string query = req.target.substr(question + 1);
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    const size_t eq = pair.find('=');
    if (pair.substr(0, eq) == key) {
      return eq == std::string::npos ? "" : httplib::detail::decode_url(pair.substr(eq + 1), false);
    }
    start = end + 1;
  }
  return "";
}

void NotFound(httplib::Response& res) {
  res.status = 404;
  res.set_content("Not found\n", kPlainText);
}

void ReplyReleaseCheck(const Catalog& catalog, const std::string& name, httplib::Response& res) {
  const auto release = catalog.Release(name);
  if (!release) return NotFound(res);
  res.set_content(release->version + ";" + release->date, kPlainText);
}

void ReplyDocument(const std::optional<Document>& document, httplib::Response& res) {
  if (!document) return NotFound(res);
  res.set_content(document->content, document->media_type);
}

void ReplyCompletion(CompletionLog& log, const httplib::Request& req, const std::string& name,
                     httplib::Response& res) {
  const CompletionReport report{req.remote_addr, name, QueryValue(req, "appli_version"),
                                QueryValue(req, "email")};
  if (!log.Append(report)) {
    // The report was not kept: say so rather than pretend it was.
    res.status = 500;
    res.set_content("The report could not be recorded\n", kPlainText);
    return;
  }
  res.set_content("OK\n", kPlainText);
}

void ServeFile(const std::filesystem::path& path, httplib::Response& res) {
  auto stream = std::make_shared<std::ifstream>(path, std::ios::binary);
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (!*stream || error) return NotFound(res);
  res.set_content_provider(
      static_cast<size_t>(size), "application/octet-stream",
      [stream](size_t offset, size_t length, httplib::DataSink& sink) {
        char block[64 * 1024];
        stream->seekg(static_cast<std::streamoff>(offset));
        const auto wanted = static_cast<std::streamsize>(std::min(length, sizeof block));
        stream->read(block, wanted);
        const std::streamsize got = stream->gcount();
        // A file that shrank under us ends the response early; the client sees fewer
        // bytes than announced and rejects the download.
        if (got <= 0) return false;
        return sink.write(block, static_cast<size_t>(got));
      });
}

}  // namespace

std::string ExactPattern(const std::string& path) {
  std::string pattern;
  for (char c : path) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) pattern += '\\';
    pattern += c;
  }
  return pattern;
}

UpdateServer::UpdateServer(const Catalog& catalog, CompletionLog& log, ServerOptions options)
    : catalog_(catalog), log_(log), options_(std::move(options)) {}

void UpdateServer::Mount(httplib::Server& http) {
  const std::string request_path = options_.request_path.empty() ? "/" : options_.request_path;
  http.Get(ExactPattern(request_path), [this](const httplib::Request& req, httplib::Response& res) {
    const std::string name = QueryValue(req, "appli_name");
    if (!catalog_.Knows(name)) return NotFound(res);
    const std::string request = QueryValue(req, "request");
    if (request == "1") return ReplyReleaseCheck(catalog_, name, res);
    if (request == "2") return ReplyDocument(catalog_.Description(name), res);
    if (request == "3") return ReplyDocument(catalog_.ActionList(name), res);
    if (request == "5") return ReplyCompletion(log_, req, name, res);
    NotFound(res);
  });
  http.Get(ExactPattern(options_.files_prefix) + "/([^/]+)/(.+)",
           [this](const httplib::Request& req, httplib::Response& res) {
             const auto path = catalog_.ReleaseFile(req.matches[1], req.matches[2]);
             if (!path) return NotFound(res);
             ServeFile(*path, res);
           });
}

}  // namespace kestrova::server
