#include "upgrade/form_main_screen.h"

#include <algorithm>
#include <exception>

#include "base/files.h"
#include "core/launcher.h"
#include "net/internet_handle.h"
#include "net/protocol.h"
#include "release/action_list.h"
#include "release/delta_base.h"
#include "release/release_manifest.h"
#include "ui/application.h"
#include "upgrade/clean_up.h"
#include "upgrade/detached_script.h"
#include "upgrade/self_replacement.h"

namespace kestrova {
namespace {

constexpr ui::TColor kWindowColor = ui::TColor::Rgb(174, 191, 236);
constexpr ui::TColor kHeaderColor = ui::TColor::Rgb(191, 205, 240);
constexpr size_t kResultColumn = 45;  // the colon follows in column 46

ui::TFont Font(int height, bool bold, bool underline = false) {
  ui::TFont font;
  font.height = height;
  font.bold = bold;
  font.underline = underline;
  return font;
}

const ui::TFont kWindowFont = Font(11, false);    // 8 pt
const ui::TFont kCaptionFont = Font(13, true);    // 10 pt bold
const ui::TFont kValueFont = Font(13, false);     // 10 pt
const ui::TFont kButtonFont = Font(11, true);     // 8 pt bold

void PlaceCaption(ui::TLabel& label, int left, int top, int width, const std::string& caption,
                  ui::TAlignment alignment) {
  label.SetBounds(left, top, width, 16);
  label.SetFont(kCaptionFont);
  label.SetCaption(caption);
  label.SetAlignment(alignment);
}

// A value box: white, fixed size, one line of 10 pt text.
void PlaceValue(ui::TLabel& label, int left, int top, int width, ui::TAlignment alignment) {
  label.SetBounds(left, top, width, 18);
  label.SetFont(kValueFont);
  label.SetColor(ui::clWhite);
  label.SetAlignment(alignment);
}

void PlaceButton(ui::TBitBtn& button, ui::TBitBtnKind kind, int left, int width,
                 const std::string& caption, int tab_order) {
  button.SetKind(kind);
  // The main window is never shown modally: a click must not act as a modal answer.
  button.SetModalResult(ui::TModalResult::None);
  button.SetBounds(left, 348, width, 25);
  button.SetCaption(caption);
  button.SetFont(kButtonFont);
  button.SetCursor(ui::TCursor::HandPoint);
  button.SetTabOrder(tab_order);
}

// Characters, not bytes: the log may hold UTF-8 names and must stay in columns.
size_t CharacterCount(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++count;
  }
  return count;
}

// Releases the fetcher's reply when a handler is done with it, also when the
// handler fails.
class ReplyRelease {
 public:
  explicit ReplyRelease(TGetInternetData& fetcher) : fetcher_(fetcher) {}
  ~ReplyRelease() { fetcher_.ReleaseData(); }
  ReplyRelease(const ReplyRelease&) = delete;
  ReplyRelease& operator=(const ReplyRelease&) = delete;

 private:
  TGetInternetData& fetcher_;
};

bool MatchesDigest(const std::string& data, const std::string& sha256, int64_t size) {
  return static_cast<int64_t>(data.size()) == size && Sha256Hex(data) == sha256;
}

// The longest action list the manifest names: a reply past it cannot be one of them.
size_t LargestVouchedList(const TSettings::TVouchedRelease& vouched) {
  int64_t largest = 0;
  for (const auto& [sha256, size] : vouched.action_lists) largest = std::max(largest, size);
  return static_cast<size_t>(std::min<int64_t>(largest, kMaxActionList));
}

bool IsVouchedList(const std::string& reply, const TSettings::TVouchedRelease& vouched) {
  for (const auto& [sha256, size] : vouched.action_lists) {
    if (MatchesDigest(reply, sha256, size)) return true;
  }
  return false;
}

// The keys an action list's own signature may come from.
std::vector<std::string> SigningKeys(const TSettings& settings) {
  if (settings.vouched_release) return settings.vouched_release->keys;
  std::vector<std::string> keys;
  for (const std::string& key : ReadKeySet(settings.release_public_key, 1).key_set.keys) {
    keys.push_back(EncodeBase64(key));
  }
  if (keys.empty()) keys.push_back(settings.release_public_key);  // for the words of the refusal
  return keys;
}

}  // namespace

std::string StepResultLine(const std::string& line, const std::string& word) {
  std::string result = line;
  const size_t length = CharacterCount(line);
  if (length < kResultColumn) result.append(kResultColumn - length, ' ');
  return result + ": " + word;
}

TFormMainScreen::TFormMainScreen(TSettings& settings, std::string agent)
    : settings_(settings), agent_(std::move(agent)) {
  SetCaption("Release available");
  SetBorderStyle(ui::TFormBorderStyle::Single);
  SetBorderIcons(ui::biSystemMenu);
  SetPosition(ui::TPosition::DesktopCenter);
  SetClientSize(513, 381);
  SetColor(kWindowColor);
  SetFont(kWindowFont);
  LayOutHeader();
  LayOutRelease();
  LayOutButtons();
  OnClose = [this] { FormClose(); };
  FormCreate();
}

TFormMainScreen::~TFormMainScreen() { CloseServerConnection(); }

void TFormMainScreen::LayOutHeader() {
  Panel1.SetBounds(0, 0, 513, 70);
  Panel1.SetAlign(ui::TAlign::Top);
  Panel1.SetColor(kHeaderColor);
  Panel1.SetBorderStyle(ui::TPanelBorder::Single);
  Panel1.SetBorderWidth(1);
  PlaceCaption(Label1, 41, 14, 83, "Application:", ui::TAlignment::RightJustify);
  PlaceValue(Label_Application_Name, 139, 13, 250, ui::TAlignment::LeftJustify);
  PlaceCaption(Label2, 15, 35, 109, "Current version:", ui::TAlignment::RightJustify);
  PlaceValue(Label_Current_Version, 139, 34, 110, ui::TAlignment::Center);

  AnimateUpdateInProgress.SetBounds(445, 2, 66, 66);
  AnimateUpdateInProgress.SetColor(ui::clBlack);
  AnimateUpdateInProgress.SetBorderWidth(1);
  AnimateUpdateInProgress.SetTransparent(false);
  AnimateUpdateInProgress.SetVisible(false);
}

void TFormMainScreen::LayOutRelease() {
  PlaceCaption(Label4, 15, 78, 119, "Release version:", ui::TAlignment::LeftJustify);
  PlaceValue(Label_Release_Version, 141, 77, 110, ui::TAlignment::Center);
  PlaceCaption(Label5, 277, 78, 38, "Date:", ui::TAlignment::RightJustify);
  PlaceValue(Label_Release_Date, 316, 77, 129, ui::TAlignment::Center);
  PlaceCaption(Label3, 15, 98, 80, "Description", ui::TAlignment::LeftJustify);
  Label3.SetFont(Font(13, true, true));

  RichEdit1.SetBounds(15, 116, 482, 222);
  ui::TFont log_font = Font(12, false);
  log_font.name = "Fixedsys";
  RichEdit1.SetFont(log_font);
  RichEdit1.SetReadOnly(true);
  RichEdit1.SetScrollBars(ui::TScrollStyle::Vertical);
  RichEdit1.SetHideSelection(false);
  RichEdit1.SetTabOrder(0);
  RichEdit1.Lines.Add("RichEdit1");
}

void TFormMainScreen::LayOutButtons() {
  PlaceButton(BitBtnUpdate, ui::TBitBtnKind::Ok, 15, 106, "Update now", 1);
  PlaceButton(BitBtnStart, ui::TBitBtnKind::Ok, 181, 151, "Launch Application", 4);
  PlaceButton(BitBtnLater, ui::TBitBtnKind::Cancel, 419, 78, "Later...", 2);
  BitBtnUpdate.OnClick = [this] { BitBtnUpdateClick(); };
  BitBtnLater.OnClick = [this] { BitBtnLaterClick(); };
  BitBtnStart.OnClick = [this] { BitBtnStartClick(); };
  ShowUpgradeState(TUpgradeState::Idle);
}

void TFormMainScreen::FormCreate() {
  AnimateUpdateInProgress.SetResName("wheel");
  OpenServerConnection();
  Label_Application_Name.SetCaption(settings_.name);
  Label_Current_Version.SetCaption(settings_.current_version);
  Label_Release_Version.SetCaption(settings_.release_version);
  Label_Release_Date.SetCaption(settings_.release_date);
  ReplaceUpdater = false;
  LaunchRequested = false;
  RequestDescription();
  CloseServerConnection();
}

void TFormMainScreen::OpenServerConnection() {
  CloseServerConnection();
  internet_ = OpenInternetHandle(agent_, InternetAccessOf(settings_));
  Fetcher = std::make_unique<TGetInternetData>(internet_, settings_.internet_option_connect_timeout);
}

void TFormMainScreen::CloseServerConnection() {
  Fetcher.reset();  // waits for a worker that still runs
  if (internet_) internet_->Close();
  internet_.reset();
}

void TFormMainScreen::RequestDescription() {
  if (!Fetcher) return;
  Fetcher->OnDone = [this](TGetInternetData& sender, const std::string* reply) {
    DescriptionReceived(sender, reply);
  };
  const auto& vouched = settings_.vouched_release;
  // Endless data stops at the size the manifest states.
  const int64_t stated = vouched ? vouched->description_size : int64_t{kMaxDescription};
  const auto limit = static_cast<size_t>(std::clamp<int64_t>(stated, 0, kMaxDescription));
  Fetcher->FetchAndWait(ReleaseDescriptionUrl(settings_.selected_server, settings_.link_for_update,
                                              settings_.name, settings_.current_version),
                        limit);
}

void TFormMainScreen::DescriptionReceived(TGetInternetData& sender, const std::string* reply) {
  ReplyRelease release(sender);
  if (!reply) return;
  // A description of another release, or another text altogether, is not shown.
  const auto& vouched = settings_.vouched_release;
  if (vouched && !MatchesDigest(*reply, vouched->description_sha256, vouched->description_size)) {
    return;
  }
  RichEdit1.Lines.Clear();
  RichEdit1.SetPlainText(false);
  RichEdit1.Load(*reply);  // anything that is not RTF shows as plain text
}

void TFormMainScreen::RequestActionList(bool whole) {
  ActionListLoaded = false;
  ActionListError.clear();
  if (!whole) DeltaRefusal.clear();
  if (!Fetcher) return;
  Fetcher->OnDone = [this](TGetInternetData& sender, const std::string* reply) {
    ActionListReceived(sender, reply);
  };
  const auto& vouched = settings_.vouched_release;
  Fetcher->FetchAndWait(ActionListUrl(settings_.selected_server, settings_.link_for_update,
                                      settings_.name, whole ? kFullReleaseVersion : settings_.current_version),
                        vouched ? LargestVouchedList(*vouched) : kMaxActionList);
}

void TFormMainScreen::ActionListReceived(TGetInternetData& sender, const std::string* reply) {
  ReplyRelease release(sender);
  const auto& vouched = settings_.vouched_release;
  if (!reply && vouched) {
    ActionListError = "No action list of at most " + std::to_string(LargestVouchedList(*vouched)) +
                      " bytes, the largest the release manifest names, arrived.";
  }
  if (!reply) return;
  // The handler runs inside the fetcher's completion call: whatever goes wrong here
  // only leaves the list unloaded, so the upgrade stops at this step.
  try {
    // Before the list touches the disk: it must be one the manifest names.
    if (settings_.vouched_release && !IsVouchedList(*reply, *settings_.vouched_release)) {
      ActionListError = "The action list is none of those the release manifest names.";
      return;
    }
    const std::string path = JoinToFolder(settings_.app_directory, kActionListFileName);
    if ((transaction_ && !transaction_->NoteBrought(path)) || !ReplaceFileSafely(path, *reply)) return;
    std::optional<TActionList> list = ReadActionList(path);
    if (!list) return;
    ActionListError = ActionListFault(*reply, *list);
    if (!ActionListError.empty()) return;
    // Checked before anything is downloaded or changed: a delta brings only what
    // differs from its base, so on any other installation it would mix two versions.
    if (const std::string fault = DeltaBaseFault(*list, settings_.app_directory, settings_.current_version);
        !fault.empty()) {
      // A delta again, in reply to the request for the full release, ends the upgrade.
      (DeltaRefusal.empty() ? DeltaRefusal : ActionListError) = fault;
      return;
    }
    settings_.download_server_adr1 = std::move(list->download_server_adr1);
    settings_.download_server_adr2 = std::move(list->download_server_adr2);
    settings_.filedir = std::move(list->filedir);
    ReleaseFiles = std::move(list->ReleaseFiles);
    ReleaseSizes = std::move(list->ReleaseSizes);
    ReleaseHashes.clear();
    if (!settings_.release_public_key.empty()) ReleaseHashes = std::move(list->ReleaseHashes);
    SaveList = std::move(list->SaveList);
    DeleteFiles = std::move(list->DeleteFiles);
    DeleteFolders = std::move(list->DeleteFolders);
    ReplaceUpdater = list->ReplaceUpdater;
    CheckShortcuts = list->CheckShortcuts;
    ActionListLoaded = true;
  } catch (const std::exception&) {
    ActionListLoaded = false;
  }
}

std::string TFormMainScreen::ActionListFault(const std::string& reply, const TActionList& list) const {
  // Without a key the list is trusted as it arrives, as it always was.
  if (settings_.release_public_key.empty()) return {};
  std::string fault;
  for (const std::string& key : SigningKeys(settings_)) {
    fault = ActionListSignatureFault(reply, key);
    if (fault.empty()) break;
  }
  if (fault.empty()) fault = ReleaseHashFault(list);
  // A genuine list of another release or application, replayed, must not install it.
  if (fault.empty() && (list.version != settings_.release_version || list.name != settings_.name)) {
    fault = "The signed action list is for " + list.name + " " + list.version + ", not " + settings_.name + " " +
            settings_.release_version + ".";
  }
  return fault;
}

void TFormMainScreen::ClearLog() {
  RichEdit1.Lines.Clear();
  RichEdit1.SetPlainText(true);
}

void TFormMainScreen::AddLogLine(const std::string& line) { RichEdit1.Lines.Add(line); }

void TFormMainScreen::SetStepResult(const std::string& word) {
  const int last = RichEdit1.Lines.Count() - 1;
  if (last < 0) {
    RichEdit1.Lines.Add(StepResultLine("", word));
  } else {
    RichEdit1.Lines.Set(last, StepResultLine(RichEdit1.Lines[last], word));
  }
  RichEdit1.Repaint();
}

void TFormMainScreen::ShowUpgradeState(TUpgradeState state) {
  const bool usable = state == TUpgradeState::Idle || state == TUpgradeState::Abandoned;
  const bool finished = state == TUpgradeState::Succeeded;
  const bool turning = state == TUpgradeState::Running;
  BitBtnUpdate.SetEnabled(usable);
  BitBtnLater.SetEnabled(usable);
  BitBtnUpdate.SetVisible(!finished);
  BitBtnLater.SetVisible(!finished);
  // After a failure the installation is as it was, so it can be started from here.
  BitBtnStart.SetVisible(finished || state == TUpgradeState::Abandoned);
  AnimateUpdateInProgress.SetVisible(turning);
  AnimateUpdateInProgress.SetActive(turning);
  if (turning) AnimateUpdateInProgress.Repaint();
}

void TFormMainScreen::BitBtnLaterClick() {
  LaunchOrReport();
  Close();
}

void TFormMainScreen::BitBtnStartClick() {
  LaunchRequested = true;
  Close();
}

void TFormMainScreen::FormClose() {
  // The replacement starts before the journal goes: should this run die in between,
  // the next start finds the upgrade finished and lets the script do its work.
  const bool updater_restarts = WriteReplacementBatch() && LaunchRequested;
  transaction_.reset();  // finishes a committed upgrade, undoes any other
  CleanUp();
  // Whenever no script restarts the updater (nothing to replace, or the script could
  // not be started), the application is started here, as the user asked for it.
  if (LaunchRequested && !updater_restarts) LaunchOrReport();
}

// The same words as a start without an offer, so that a wrong main_program is seen
// whichever way the application was to be started.
void TFormMainScreen::LaunchOrReport() {
  if (LaunchApplication(settings_)) return;
  launch_failed_ = true;
  ui::ShowMessageBox("Error",
                     "The application could not be started: " + ApplicationCommandLine(settings_));
}

bool TFormMainScreen::WriteReplacementBatch() {
  if (!ReplaceUpdater || !ReleaseInstalled) return false;
  TReplacementRequest request;
  request.app_directory = settings_.app_directory;
  request.executable_name = agent_;
  request.updater_arguments = RestartArguments(settings_.updater_arguments);
  request.updater_process_id = CurrentProcessId();
  request.LaunchRequested = LaunchRequested;
  return kestrova::WriteReplacementBatch(request);
}

void TFormMainScreen::CleanUp() { RemoveUpgradeLeftovers(settings_.app_directory, ReleaseFiles); }

}  // namespace kestrova
