// The archiver's error exception and the catalogue of its messages.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrova {

/// Message numbers of the archiver; each doubles as the "native error" code.
enum ArchiverErrorCode : int {
  kErrInvalidCompressionMode = 5,
  kErrInvalidCheckSum = 8,
  kErrBlankFileName = 9,
  kErrBlankFileNameCreate = 10,
  kErrFileNotFound = 12,
  kErrArchiveNotOpen = 13,
  kErrCannotCreateFile = 19,
  kErrCannotCreateDir = 20,
  kErrUpdateNotEnded = 26,
  kErrCannotOpenFile = 33,
  kErrInvalidCompressedSize = 34,
  kErrInvalidArchive = 35,
  kErrZip64EndRecordMissing = 40,
  kErrZip64NeededSize = 41,
  kErrZip64NeededOffset = 43,
  kErrCannotOpenArchive = 45,
  kErrArchiveDamaged = 48,
  kErrDeflate64 = 55,
  kErrArchiveDamagedSizes = 57,
  kErrNameTooLong = 61,
  // Codes of our own, above the catalogue's range.
  kErrUnsafeName = 100,
  kErrLinkNotExtracted = 101,
  kErrCannotReadFile = 102,
  kErrCompressionLibrary = 103,
  kErrCannotWriteArchive = 104,
  kErrNotEnoughSpace = 105,
};

/// The catalogue text of `code` with `argument` substituted for its "%s".
std::string ArchiverMessage(int code, std::string_view argument = {});

/// Full error text: "Name: " when the component has a name, the message, then
/// " - Native error: " and the code as five digits.
std::string FormatArchiverError(std::string_view componentName, int code,
                                std::string_view message);

/// An archiver failure; what() is the full text.
class EArchiverError : public std::runtime_error {
 public:
  EArchiverError(int code, const std::string& fullText)
      : std::runtime_error(fullText), code_(code) {}
  int Code() const { return code_; }
  /// Message number in the catalogue; the same as the code for every message.
  int ErrorCode() const { return code_; }

 private:
  int code_;
};

}  // namespace kestrova
