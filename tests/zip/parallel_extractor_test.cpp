// Extraction with entries written ahead on worker threads: events, failures and what a
// walk stopped midway leaves, all as if each entry had been extracted in turn.
#include <algorithm>
#include <set>
#include <thread>

#include "base/text.h"
#include "zip_test_support.h"

namespace kestrova::testing {
namespace {

constexpr int kFolders = 8;
constexpr int kFilesPerFolder = 25;

class ParallelExtractorTest : public ZipTest {
 protected:
  // Many small entries in several folders, so that the workers run well ahead; the
  // central directory names the entries in archive order.
  void SetUp() override {
    ZipTest::SetUp();
    for (int f = 0; f < kFolders; ++f) {
      for (int n = 0; n < kFilesPerFolder; ++n) {
        Make("src/d" + std::to_string(f) + "/f" + std::to_string(n) + ".txt",
             CompressibleText(1000 + 97 * n) + RandomBytes(50 * f, f * 100 + n));
      }
    }
    ZipArchiver archiver;
    CreateArchive(archiver, Path("t.zip"), Path("src"), {u"*.*"});
    ZipArchiver reader;
    reader.FileName = U(Path("t.zip"));
    reader.Open(fmOpenReadDenyNone);
    for (const auto& item : reader.Items()) names.push_back(Utf16ToUtf8(item.name));
  }

  // Makes the CRC of the central directory's entry `index` wrong.
  void DamageEntry(const fs::path& archive, size_t index) {
    std::string bytes = ReadFile(archive);
    size_t at = bytes.find(std::string("PK\x01\x02", 4));
    for (size_t k = 0; k < index; ++k) at = bytes.find(std::string("PK\x01\x02", 4), at + 46);
    bytes[at + 16] ^= 0x5A;
    WriteFile(archive, bytes);
  }

  // An event's name as the archive spells it, whatever separator the system uses.
  static std::string EntryName(const std::u16string& name) {
    std::string text = Utf16ToUtf8(name);
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
  }

  size_t IndexOf(const std::string& name) const {
    return size_t(std::find(names.begin(), names.end(), name) - names.begin());
  }

  // What the target folder holds, temporary files included.
  std::set<std::string> OutContent() const {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(Path("out"))) {
      paths.insert(fs::relative(entry.path(), Path("out")).generic_string());
    }
    return paths;
  }

  // What extracting the entries before `end` one after another leaves.
  std::set<std::string> ContentBefore(size_t end) const {
    std::set<std::string> paths;
    for (size_t i = 0; i < end; ++i) {
      std::string name = names[i];
      if (name.ends_with('/')) name.pop_back();
      for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
        paths.insert(name.substr(0, slash));
      }
      paths.insert(name);
    }
    return paths;
  }

  std::vector<std::string> names;
};

TEST_F(ParallelExtractorTest, EventsAndAFailureMidwayComeInEntryOrderOnTheCallingThread) {
  const size_t damaged = IndexOf("d3/f7.txt");
  ASSERT_LT(damaged, names.size());
  DamageEntry(Path("t.zip"), damaged);
  const std::thread::id caller = std::this_thread::get_id();
  std::vector<std::string> events;
  bool elsewhere = false;
  std::set<std::string> at_failure;
  ZipArchiver archiver;
  archiver.FileName = U(Path("t.zip"));
  archiver.BaseDir = U(Path("out"));
  archiver.FileMasks = {u"*.*"};
  archiver.OnConfirmProcessFile = [&](ZipArchiver&, const std::u16string& name, TProcessOperation, bool&) {
    elsewhere |= std::this_thread::get_id() != caller;
    events.push_back("confirm " + EntryName(name));
  };
  archiver.OnFileProgress = [&](ZipArchiver&, const std::u16string& name, double, TProcessOperation,
                                TProgressPhase phase, bool&) {
    elsewhere |= std::this_thread::get_id() != caller;
    const char* kind = phase == ppStart ? "start " : phase == ppEnd ? "end " : "process ";
    if (events.back() != kind + EntryName(name)) events.push_back(kind + EntryName(name));
  };
  archiver.OnProcessFileFailure = [&](ZipArchiver&, const std::u16string& name, TProcessOperation, int code,
                                      int, const std::string&, TFileFailureAction& action) {
    elsewhere |= std::this_thread::get_id() != caller;
    events.push_back("failure " + EntryName(name) + " " + std::to_string(code));
    at_failure = OutContent();
    action = fxaIgnore;
  };
  archiver.Open(fmOpenReadDenyNone);
  archiver.ExtractMatching();

  std::vector<std::string> expected;
  for (size_t i = 0; i < names.size(); ++i) {
    expected.push_back("confirm " + names[i]);
    expected.push_back("start " + names[i]);
    if (names[i].ends_with('/')) {
      expected.push_back("end " + names[i]);
      continue;
    }
    expected.push_back("process " + names[i]);
    expected.push_back(i == damaged ? "failure " + names[i] + " 8" : "end " + names[i]);
  }
  EXPECT_EQ(events, expected);
  EXPECT_FALSE(elsewhere);
  // Nothing of the entries after the failed one shows yet, not even a folder of theirs.
  EXPECT_EQ(at_failure, ContentBefore(damaged));
  std::set<std::string> all = ContentBefore(names.size());
  all.erase(names[damaged]);
  EXPECT_EQ(OutContent(), all);
}

TEST_F(ParallelExtractorTest, AWalkStoppedMidwayLeavesWhatEntriesBeforeItLeft) {
  // The first entry of a folder, while the workers are busy with those of later folders.
  const std::string victim = "d5/f0.txt";
  const struct {
    const char* what;
    TProgressPhase cancel_phase;  // ppEnd: no cancel
    bool damage;
    TFileFailureAction action;
  } cases[] = {
      {"cancel at the start", ppStart, false, fxaIgnore},
      {"cancel during the data", ppProcess, false, fxaIgnore},
      {"abort on a failure", ppEnd, true, fxaAbort},
      {"skip by the handler", ppEnd, false, fxaIgnore},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Path("out"));
    fs::create_directories(Path("out"));
    fs::remove(Path("case.zip"));  // MinGW's copy_file does not overwrite
    fs::copy_file(Path("t.zip"), Path("case.zip"));
    const size_t index = IndexOf(victim);
    ASSERT_LT(index, names.size());
    const bool skip = std::string(c.what).starts_with("skip");
    if (c.damage) DamageEntry(Path("case.zip"), index);
    ZipArchiver archiver;
    archiver.FileName = U(Path("case.zip"));
    archiver.BaseDir = U(Path("out"));
    archiver.FileMasks = {u"*.*"};
    RecordFailures(archiver, c.action);
    archiver.OnFileProgress = [&](ZipArchiver&, const std::u16string& name, double, TProcessOperation,
                                  TProgressPhase phase, bool& cancel) {
      cancel = phase == c.cancel_phase && EntryName(name) == victim;
    };
    if (skip) {
      archiver.OnConfirmProcessFile = [&](ZipArchiver&, const std::u16string& name, TProcessOperation,
                                          bool& confirm) { confirm = EntryName(name) != victim; };
    }
    archiver.Open(fmOpenReadDenyNone);
    archiver.ExtractMatching();
    if (skip) {
      std::set<std::string> all = ContentBefore(names.size());
      all.erase(victim);
      EXPECT_EQ(OutContent(), all);
    } else {
      EXPECT_EQ(OutContent(), ContentBefore(index));
    }
    failures.clear();
  }
}

}  // namespace
}  // namespace kestrova::testing
