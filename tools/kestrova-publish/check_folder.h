// The "check" command: is a published release complete, intact and signed?
#pragma once

#include <string>
#include <vector>

namespace kestrova {

/// What to check.
struct TCheckRequest {
  std::string folder;      // the publishing folder
  std::string name;        // the application
  std::string public_key;  // base64, as in release_public_key; empty: signature not checked
  std::string previous;    // a version users have installed; empty: none
};

/// The findings of one check. Errors make the release unusable; warnings are
/// probably mistakes.
struct TCheckReport {
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
};

TCheckReport CheckPublishedRelease(const TCheckRequest& request);

/// The keys the release is checked with (base64, "," between them): the request's,
/// else the one that release wrote beside a signed release; empty: none known.
std::string VerifyingKeys(const TCheckRequest& request);

}  // namespace kestrova
