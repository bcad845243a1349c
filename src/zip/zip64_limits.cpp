#include "zip/zip64_limits.h"

namespace kestrova {

Zip64Limits& WriterZip64Limits() {
  static Zip64Limits limits;
  return limits;
}

}  // namespace kestrova
