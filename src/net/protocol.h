// The update server protocol: the URL of every request and the reading of replies.
// URLs are the pieces joined as they are: no separator is added and nothing is
// escaped, so a base URL without a trailing "/" needs a link_for_update with a
// leading one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrova {

/// Request 1, the release check, to one update server.
std::string ReleaseCheckUrl(const std::string& server, const std::string& link_for_update,
                            const std::string& name);

/// Request 2, the release description, for the installed version.
std::string ReleaseDescriptionUrl(const std::string& selected_server,
                                  const std::string& link_for_update, const std::string& name,
                                  const std::string& current_version);

/// Request 3, the action list, for the installed version.
std::string ActionListUrl(const std::string& selected_server, const std::string& link_for_update,
                          const std::string& name, const std::string& current_version);

/// Request 4, the signed release manifest, asked in place of request 1 by an
/// updater that holds a release key.
std::string ReleaseManifestUrl(const std::string& server, const std::string& link_for_update,
                               const std::string& name);

/// Request 5, the completion report: carries the release now installed.
std::string CompletionReportUrl(const std::string& selected_server,
                                const std::string& link_for_update, const std::string& name,
                                const std::string& release_version, const std::string& email);

/// A release file on a download server.
std::string ReleaseFileUrl(const std::string& download_server, const std::string& filedir,
                           const std::string& file_name);

/// The largest reply of each request that the updater reads; a longer one is no reply.
inline constexpr size_t kMaxReleaseReply = 4 * 1024;
inline constexpr size_t kMaxManifest = 16 * 1024;
inline constexpr size_t kMaxActionList = 1024 * 1024;
inline constexpr size_t kMaxDescription = 8 * 1024 * 1024;

/// The appli_version of an action list request that asks for the full release: a
/// server answers each installed version it holds a delta for with that delta, and
/// every other one, this among them, with the full list.
inline constexpr char kFullReleaseVersion[] = "";

/// The release check's reply: version and date around the first ";".
struct ReleaseReply {
  std::string version;
  std::string date;
};

/// Splits a release check reply at its first ";". Nothing is trimmed; further ";"
/// belong to the date; a reply without ";" has no version and is all date.
ReleaseReply ReadReleaseReply(std::string_view body);

}  // namespace kestrova
