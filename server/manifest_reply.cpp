// Request 4: the signed release manifest, handed out exactly as the publisher wrote
// it. The server signs nothing and needs no key: what it serves is checked by the
// updater, whatever server or mirror it came from.
#include "catalog.h"

namespace kestrova::server {
namespace {

// The name kestrova-publish gives it (the server links nothing of the release code).
constexpr char kManifestFile[] = "manifest.ini";

}  // namespace

std::optional<Document> Catalog::Manifest(const std::string& name) const {
  const auto folder = ApplicationFolder(name);
  if (!folder) return std::nullopt;
  auto text = ReadPublic(*folder / kManifestFile);
  if (!text) return std::nullopt;
  return Document{std::move(*text), "text/plain"};
}

}  // namespace kestrova::server
