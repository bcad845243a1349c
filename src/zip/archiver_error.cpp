#include "zip/archiver_error.h"

#include <cstdio>

namespace kestrova {
namespace {

std::string_view CatalogueText(int code) {
  switch (code) {
    case kErrInvalidCompressionMode:
      return "Invalid compression mode. Mode must be in [0-9] range";
    case kErrInvalidCheckSum:
      return "Invalid size or check sum of file or unsupported compression format";
    case kErrBlankFileName:
    case kErrBlankFileNameCreate:
      return "File name is blank. Specify appropriate file name";
    case kErrFileNotFound: return "File \"%s\" not found";
    case kErrArchiveNotOpen: return "Archive is not open";
    case kErrCannotCreateFile: return "Cannot create file \"%s\"";
    case kErrCannotCreateDir: return "Cannot create directory \"%s\"";
    case kErrUpdateNotEnded:
      return "Cannot proceed when update is not ended. Preceding EndUpdate call is required.";
    case kErrCannotOpenFile: return "Cannot open file \"%s\"";
    case kErrInvalidCompressedSize: return "Invalid compressed size, %s";
    case kErrInvalidArchive: return "Invalid archive file.";
    case kErrZip64EndRecordMissing: return "Cannot find Zip64 directory end record";
    case kErrZip64NeededSize:
    case kErrZip64NeededOffset:
      return "Cannot compress file '%s'. Zip64 mode is not enabled";
    case kErrCannotOpenArchive: return "Cannot open archive file. Opening aborted or invalid file";
    case kErrArchiveDamaged:
    case kErrArchiveDamagedSizes:
      return "Archive is damaged. Open failed";
    case kErrDeflate64: return "Deflate64 compression method is not supported";
    case kErrNameTooLong: return "File name is too long: \r\n\"%s\"";
    case kErrUnsafeName: return "Entry name \"%s\" leads outside the target folder";
    case kErrLinkNotExtracted: return "Symbolic link \"%s\" is not extracted";
    case kErrCannotReadFile: return "Cannot read file \"%s\"";
    case kErrCompressionLibrary: return "The compression library failed on \"%s\"";
    case kErrCannotWriteArchive: return "Cannot write archive file \"%s\"";
    case kErrNotEnoughSpace: return "Not enough free disk space to extract into \"%s\"";
    default: return "Unknown archiver error";
  }
}

}  // namespace

std::string ArchiverMessage(int code, std::string_view argument) {
  std::string text(CatalogueText(code));
  if (const auto at = text.find("%s"); at != std::string::npos) {
    text.replace(at, 2, argument);
  }
  return text;
}

std::string FormatArchiverError(std::string_view componentName, int code,
                                std::string_view message) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%05d", code);
  std::string text;
  if (!componentName.empty()) {
    text.append(componentName).append(": ");
  }
  return text.append(message).append(" - Native error: ").append(digits);
}

}  // namespace kestrova
