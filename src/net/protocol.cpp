#include "net/protocol.h"

namespace kestrova {

std::string ReleaseCheckUrl(const std::string& server, const std::string& link_for_update,
                            const std::string& name) {
  return server + link_for_update + "?request=1" + "&appli_name=" + name;
}

std::string ReleaseManifestUrl(const std::string& server, const std::string& link_for_update,
                               const std::string& name) {
  return server + link_for_update + "?request=4" + "&appli_name=" + name;
}

std::string ReleaseDescriptionUrl(const std::string& selected_server,
                                  const std::string& link_for_update, const std::string& name,
                                  const std::string& current_version) {
  return selected_server + link_for_update + "?request=" + "2" + "&appli_name=" + name +
         "&appli_version=" + current_version;
}

std::string ActionListUrl(const std::string& selected_server, const std::string& link_for_update,
                          const std::string& name, const std::string& current_version) {
  return selected_server + link_for_update + "?request=" + "3" + "&appli_name=" + name +
         "&appli_version=" + current_version;
}

std::string CompletionReportUrl(const std::string& selected_server,
                                const std::string& link_for_update, const std::string& name,
                                const std::string& release_version, const std::string& email) {
  return selected_server + link_for_update + "?request=5&appli_name=" + name +
         "&appli_version=" + release_version + "&email=" + email;
}

std::string ReleaseFileUrl(const std::string& download_server, const std::string& filedir,
                           const std::string& file_name) {
  return download_server + filedir + "/" + file_name;
}

ReleaseReply ReadReleaseReply(std::string_view body) {
  const size_t separator = body.find(';');
  if (separator == std::string_view::npos) return {"", std::string(body)};
  return {std::string(body.substr(0, separator)), std::string(body.substr(separator + 1))};
}

}  // namespace kestrova
