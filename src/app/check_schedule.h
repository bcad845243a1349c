// When a start asks the update servers, and what it remembers between starts.
#pragma once

#include <cstdint>
#include <string>

#include "core/settings.h"

namespace kestrova {

/// What the user's private state keeps of the release checks of one application.
struct TCheckRecord {
  /// Seconds since 1970 of the latest check a server answered; 0: none yet.
  int64_t last_answered = 0;
  /// The newer release that check found, until a check finds none: offered again at
  /// the next start, after a check that it is still there, unless it is installed.
  std::string offered_version;
};

/// When this start asks: not at all, before the application starts (the wait window
/// shows while it takes long), or after it has started, without a window.
enum class TCheckPlan { kNone, kBeforeStart, kAfterStart };

TCheckPlan PlanCheck(const TSettings& settings, const TCheckRecord& record, int64_t now);

/// The record of application `name` in the user's private folder; an empty one when
/// there is none or no such folder.
TCheckRecord ReadCheckRecord(const std::string& name);
void WriteCheckRecord(const std::string& name, const TCheckRecord& record);

/// Notes a check in the record, which said `before`, when a server answered it
/// (selected_server is set) and the record is used: with an interval or an offer.
void NoteCheck(const TSettings& settings, const TCheckRecord& before, bool newer_release,
               int64_t now);

/// Seconds since 1970.
int64_t SecondsNow();

}  // namespace kestrova
