// The upgrade of an application installed where its users cannot write (for all users,
// in Program Files): the updater runs itself again with administrator rights for it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

/// How asking for the rights and the run that had them went.
enum class ElevationOutcome {
  Finished,     // the run with the rights ended; its exit code tells how the upgrade went
  Declined,     // the user refused the system's consent prompt
  Unavailable,  // this system has no consent prompt to ask through
  Failed,       // the run could not be started
};

struct ElevatedRun {
  ElevationOutcome outcome = ElevationOutcome::Failed;
  int exit_code = -1;
  std::string error;  // the system's reason, for Failed
};

/// The updater's option that makes a run with administrator rights install `version`,
/// the release the user was offered, and end without starting the application.
inline constexpr char kElevatedUpgradeOption[] = "--elevated-upgrade";
std::vector<std::string> ElevatedUpgradeArguments(const std::string& version);
/// The version a run was started to install with the rights, when `arguments` are
/// exactly those ElevatedUpgradeArguments made.
std::optional<std::string> ElevatedUpgradeVersion(const std::vector<std::string>& arguments);

/// Whether "Update now" hands the upgrade to a run with administrator rights: the
/// upgrade could not write where it must, this run is not one with the rights already
/// (which would ask again for nothing), and the system can ask.
bool HandsUpgradeToElevatedRun(bool write_fault, bool elevated_run);

/// The log's line for a run with the rights that did not install the release; empty
/// when it did.
std::string ElevatedRunFailure(const ElevatedRun& run);

/// Whether this system can ask the user for administrator rights.
bool CanRunElevated();
/// Starts `executable` with `arguments` and administrator rights, once the user has
/// agreed in the system's consent prompt, and waits for it to end, calling
/// `while_waiting` every tenth of a second meanwhile so that the windows stay painted.
ElevatedRun RunElevated(const std::string& executable, const std::vector<std::string>& arguments,
                        const std::function<void()>& while_waiting);

}  // namespace kestrova
