// Files that only their owner may read, for secret keys.
#pragma once

#include <string>

namespace kestrova {

/// Creates `path` with `content`, readable and writable by its owner only. Refuses
/// (false) when the file exists already, so that no key is overwritten.
bool CreateOwnerOnlyFile(const std::string& path, const std::string& content);

}  // namespace kestrova
