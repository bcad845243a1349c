// The entry of the windows part.
#include "app/startup_parts.h"

extern "C" const kestrova::TWindowsPart* kestrova_windows_part() {
  static const kestrova::TWindowsPart part{KESTROVA_VERSION, &kestrova::OpenStartupScreen};
  return &part;
}
