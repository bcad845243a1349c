// Release files answered in ranges, so that an updater whose download broke asks
// for the rest instead of the whole file again.
#pragma once

#include <filesystem>

#include "http_service.h"

namespace kestrova::server {

/// The answer to a GET of the release file at `path`: the one range its `Range`
/// header asks for (206, "bytes=first-", "bytes=first-last" or "bytes=-suffix")
/// while `If-Range` still names the file, 416 for a range that starts beyond its end,
/// else the whole file (200; several ranges at once get it too). Every answer names
/// the file (ETag, Last-Modified) and offers ranges (Accept-Ranges). A file that
/// cannot be read is not found.
HttpReply FileReply(const HttpRequest& request, const std::filesystem::path& path);

}  // namespace kestrova::server
