// Native path helpers. The separator and what makes a path complete belong to the
// platform (paths_posix.cpp, paths_win32.cpp), so portable code builds paths only
// through these; joining is the same everywhere (paths.cpp).
#pragma once

#include <string>
#include <string_view>

namespace kestrova {

/// Separator of native paths. A function, not a constant: the program and the parts it
/// loads each hold this code, and a constant would be defined in both.
char NativeSeparator();

/// Whether `c` separates folders in a native path.
bool IsNativeSeparator(char c);

/// The folder with one separator at its end (an empty folder stays empty).
std::string WithTrailingSeparator(std::string folder);

/// `name` inside `folder`; the folder may end in a separator or not.
std::string JoinPath(const std::string& folder, const std::string& name);

/// The folder part of a path, ending in the separator; empty when there is none.
std::string FolderOf(const std::string& path);

/// The part of a path after its last separator.
std::string FileNameOf(const std::string& path);

/// Whether a path is complete rather than relative to the current folder.
bool IsFullPath(std::string_view path);

/// Why the platform's file systems would refuse `name` as one file or folder name
/// (without separators), or an empty text when they take it.
std::string FileNameRefusal(std::string_view name);

}  // namespace kestrova
