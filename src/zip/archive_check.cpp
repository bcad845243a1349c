#include "zip/archive_check.h"

#include "base/text.h"
#include "zip/zip_archiver.h"

namespace kestrova {

std::optional<std::string> CheckArchiveWhole(const std::string& archive_path, const CheckProgress& progress) {
  ZipArchiver archiver;
  archiver.FileName = Utf8ToUtf16(archive_path);
  // A directory rebuilt by scanning may miss entries: such an archive is not whole.
  archiver.OpenCorruptedArchives = false;
  archiver.FileMasks = {u"*.*"};
  std::optional<std::string> failure;
  archiver.OnProcessFileFailure = [&failure](ZipArchiver&, const std::u16string&, TProcessOperation, int, int,
                                             const std::string& message, TFileFailureAction& action) {
    if (!failure) failure = message;
    action = fxaAbort;
  };
  if (progress) {
    archiver.OnOverallProgress = [&progress](ZipArchiver&, double done, TProcessOperation, TProgressPhase,
                                             bool& cancel) { cancel = cancel || !progress(done); };
  }
  try {
    archiver.Open(fmOpenReadDenyNone);
    archiver.TestMatching();
    archiver.Close();
  } catch (const EArchiverError& error) {
    if (!failure) failure = error.what();
  }
  return failure;
}

}  // namespace kestrova
