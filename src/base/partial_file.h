// A download that has not arrived whole lies beside its target under a name of its
// own, with a note of where it came from, so that a later start can continue it and
// nothing ever takes it for the file itself.
#pragma once

#include <optional>
#include <string>

namespace kestrova {

/// "<target>.partial": where the bytes of `target` gather until the last one is in.
std::string PartialFilePath(const std::string& target);
/// "<target>.partial.info": what the partial file is part of.
std::string PartialInfoPath(const std::string& target);

/// What a partial file is part of: the file at `url` as the server's `validator`
/// (an ETag or a Last-Modified date) named it, for the release `release`.
struct PartialOrigin {
  std::string url;
  std::string validator;
  std::string release;
  bool operator==(const PartialOrigin&) const = default;
};

/// Writes the note of the partial file of `target`; false when it cannot be written.
bool WritePartialOrigin(const std::string& target, const PartialOrigin& origin);
/// The note of the partial file of `target`; nothing when there is none or it is no note.
std::optional<PartialOrigin> ReadPartialOrigin(const std::string& target);
/// Removes the partial file of `target` and its note.
void RemovePartialFile(const std::string& target);

}  // namespace kestrova
