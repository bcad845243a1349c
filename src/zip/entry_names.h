// The rules that turn file paths into stored entry names and entry names back into
// paths below the extraction folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "zip/archiver_types.h"

namespace kestrova {

/// Removes "." parts and resolves ".." parts of a path without looking at the disk.
/// Separators are "/"; an absolute path stays absolute.
std::u16string NormalizePath(std::u16string_view path);

/// The stored name of a file or folder found at `full_path` ("/" separators), formed
/// by `mode` against `base_dir`: relative when inside it, else the full path without
/// drive, server and leading separator; folders end in "/".
std::u16string MakeStoredName(std::u16string_view full_path, std::u16string_view base_dir,
                              TStorePath mode, bool is_folder);

/// The relative path ("/" separators, no empty or "." parts) an entry name may be
/// extracted to, or nothing when the name would leave the target folder: absolute
/// names, drives, network paths and ".." parts with either separator. A name of
/// only "." parts ("./") gives the empty path: the target folder itself.
std::optional<std::u16string> SafeRelativePath(std::u16string_view entry_name);

}  // namespace kestrova
