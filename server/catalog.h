// What the publisher has put in the server's folder, one subfolder per application.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrova::server {

/// The release an application is offered in: its version and date.
struct ReleaseInfo {
  std::string version;
  std::string date;
};

/// A text the server hands out, with the media type it goes out as.
struct Document {
  std::string content;
  std::string media_type;
};

/// The published applications. Every answer is read from the folder when it is asked
/// for, so the publisher can change a release while the server runs.
///
///   <root>/<name>/release.ini        [release] version=..., date=...
///   <root>/<name>/description.rtf    or description.txt
///   <root>/<name>/actionlist.ini
///   <root>/<name>/deltas/<installed version>/actionlist.ini   a delta release
///   <root>/<name>/manifest.ini       the signed release manifest (request 4)
///   <root>/<name>/files/...          the release files
///
/// Files named as private (the server's own log) are never handed out, whatever
/// name or link leads to them.
class Catalog {
 public:
  explicit Catalog(std::filesystem::path root,
                   std::vector<std::filesystem::path> private_files = {})
      : root_(std::move(root)), private_files_(std::move(private_files)) {}

  /// True when `name` is a published application.
  bool Knows(const std::string& name) const;
  /// Nothing when the application is unknown or its release.ini gives no usable
  /// version (empty, or holding the ";" that separates version and date).
  std::optional<ReleaseInfo> Release(const std::string& name) const;
  std::optional<Document> Description(const std::string& name) const;
  /// The delta list published for `installed_version` when there is one, else the
  /// full list (also for an empty version: how an updater asks for the full release).
  std::optional<Document> ActionList(const std::string& name, const std::string& installed_version = "") const;
  std::optional<Document> Manifest(const std::string& name) const;  // in manifest_reply.cpp
  /// The path of a release file, or nothing when the file is not published. `file`
  /// may name a file in a subfolder of files/, but never leave it.
  std::optional<std::filesystem::path> ReleaseFile(const std::string& name,
                                                   const std::string& file) const;

 private:
  std::optional<std::filesystem::path> ApplicationFolder(const std::string& name) const;
  bool IsPrivate(const std::filesystem::path& path) const;
  std::optional<std::string> ReadPublic(const std::filesystem::path& path) const;

  std::filesystem::path root_;
  std::vector<std::filesystem::path> private_files_;
};

/// True when `segment` can name one entry inside a folder: not empty, not "." or
/// "..", and without separators or control characters.
bool IsSafeSegment(const std::string& segment);

}  // namespace kestrova::server
