// The check of a publishing folder at start-up, so that a publisher learns of a
// mistake from the server's first lines rather than from updaters finding nothing.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kestrova::server {

/// One warning per problem found in the application folders under `root`, each
/// naming the file or folder concerned: a release.ini that is missing, has no
/// [release] section or no usable version (empty or holding ";"), a missing
/// action list or description, and a release file the action list downloads from
/// this server's /files/<name> that is not in files/. An empty list when everything can be served.
std::vector<std::string> CheckPublication(const std::filesystem::path& root);

}  // namespace kestrova::server
