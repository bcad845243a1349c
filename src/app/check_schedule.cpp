#include "app/check_schedule.h"

#include <charconv>
#include <chrono>

#include "base/files.h"
#include "base/ini.h"
#include "core/configuration.h"
#include "upgrade/working_files.h"

namespace kestrova {
namespace {

constexpr char kSection[] = "check";
constexpr int64_t kSecondsPerHour = 3600;

std::string CheckRecordPath(const std::string& name) {
  const std::string folder = PrivateWorkingFolder();
  return folder.empty() ? "" : folder + name + "_check.ini";
}

int64_t ToSeconds(const std::string& text) {
  int64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// A clock set back before the last answer counts as an interval gone by, so a wrong
// date cannot keep the checks away.
bool WithinInterval(const TSettings& settings, const TCheckRecord& record, int64_t now) {
  if (settings.check_interval <= 0 || record.last_answered == 0) return false;
  const int64_t since = now - record.last_answered;
  return since >= 0 && since < settings.check_interval * kSecondsPerHour;
}

}  // namespace

TCheckPlan PlanCheck(const TSettings& settings, const TCheckRecord& record, int64_t now) {
  if (!settings.check_release) return TCheckPlan::kNone;
  // A release found earlier is offered again only after a check that it is still there;
  // once it is installed, it is no offer any more.
  if (IsNewerRelease(record.offered_version, settings.current_version)) return TCheckPlan::kBeforeStart;
  if (WithinInterval(settings, record, now)) return TCheckPlan::kNone;
  return settings.check_in_background ? TCheckPlan::kAfterStart : TCheckPlan::kBeforeStart;
}

TCheckRecord ReadCheckRecord(const std::string& name) {
  const std::string path = CheckRecordPath(name);
  if (path.empty()) return {};
  const IniFile ini(path);
  return {ToSeconds(ini.ReadString(kSection, "last_answered", "0")),
          ini.ReadString(kSection, "offered_version", "")};
}

// In one replacement, so that a start pays for one durable write at most.
void WriteCheckRecord(const std::string& name, const TCheckRecord& record) {
  const std::string path = CheckRecordPath(name);
  if (path.empty()) return;
  std::string text = std::string("[") + kSection + "]\r\n";
  text += "last_answered=" + std::to_string(record.last_answered) + "\r\n";
  text += "offered_version=" + record.offered_version + "\r\n";
  ReplaceFileSafely(path, text);
}

void NoteCheck(const TSettings& settings, const TCheckRecord& before, bool newer_release,
               int64_t now) {
  if (settings.selected_server.empty()) return;
  const TCheckRecord after{now, newer_release ? settings.release_version : ""};
  // Without an interval only an offer is worth remembering.
  if (settings.check_interval <= 0 && after.offered_version.empty() &&
      before.offered_version.empty()) {
    return;
  }
  WriteCheckRecord(settings.name, after);
}

int64_t SecondsNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace kestrova
