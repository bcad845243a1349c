// The entry of the release check's servers part.
#include "app/manage_check.h"
#include "app/startup_parts.h"

extern "C" const kestrova::TCheckPart* kestrova_check_part() {
  static const kestrova::TCheckPart part{KESTROVA_VERSION, &kestrova::AskReleaseServers,
                                         &kestrova::CheckConfiguration};
  return &part;
}
