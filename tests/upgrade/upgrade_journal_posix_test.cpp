// What a start does with the journal an upgrade left: it undoes a change the journal
// announced, finishes an upgrade the journal says was committed, and touches nothing
// when the journal cannot be trusted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "base/files.h"
#include "support/temp_folder.h"
#include "upgrade/upgrade_journal.h"
#include "upgrade/upgrade_transaction.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

TEST(UpgradeJournal, TheNextStartUndoesFinishesOrKeepsWhatAJournalLeft) {
  struct Case {
    const char* why;
    bool committed;
    std::function<void(std::string& journal)> damage;
    TRecoveryOutcome outcome;
    const char* message;
    bool file_back;  // the obsolete file is where it was
  } cases[] = {
      {"stopped before the commit", false, nullptr, TRecoveryOutcome::kUndone, "was undone", true},
      {"stopped after the commit", true, nullptr, TRecoveryOutcome::kCompleted, "was completed", false},
      {"a last line cut short by the crash", false, [](std::string& j) { j += "committed\t\t\t00"; },
       TRecoveryOutcome::kUndone, "was undone", true},
      {"a damaged line before others", true, [](std::string& j) { j[j.find("remove") + 1] = 'X'; },
       TRecoveryOutcome::kDamaged, "line 3 is damaged", false},
      {"not a journal", false, [](std::string& j) { j = "garbage\n" + j; }, TRecoveryOutcome::kDamaged,
       "does not begin as a journal does", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const testing::TempFolder folder;
    ::setenv("XDG_DATA_HOME", (folder.WithSeparator() + "data").c_str(), 1);
    const std::string app = folder.WithSeparator() + "app/";
    const std::string work = UpgradeWorkFolder(app);
    const std::string obsolete = app + "old\tname.txt";  // a name with a separator of the journal in it
    const std::string aside = work + "removed-1";
    folder.Write("app/old\tname.txt", "old");
    folder.Write("app/kept.txt", "kept");
    ASSERT_TRUE(CreateFolder(work));
    {
      auto journal = UpgradeJournal::Create(work + "journal", "1.1");
      ASSERT_TRUE(journal);
      ASSERT_TRUE(journal->Record(TJournalKind::kRemove, obsolete, aside));
      ASSERT_TRUE(RenameReplacing(obsolete, aside));
      ASSERT_TRUE(journal->Record(TJournalKind::kBrought, app + "a.zip"));
      folder.Write("app/a.zip", "partial download");
      folder.Write("app/given-up.zip.partial", "of a release never finished");
      folder.Write("app/given-up.zip.partial.info", "url=u\nvalidator=v\nrelease=1.0\n");
      if (c.committed) ASSERT_TRUE(journal->Record(TJournalKind::kCommitted));
    }  // the run dies here: nothing is finished or undone by the journal itself
    if (c.damage) {
      std::string text = *ReadWholeFile(work + "journal");
      c.damage(text);
      ASSERT_TRUE(ReplaceFileSafely(work + "journal", text));
    }

    const TRecovery recovery = RecoverInterruptedUpgrade(app);
    EXPECT_EQ(recovery.outcome, c.outcome);
    EXPECT_NE(recovery.message.find(c.message), std::string::npos) << recovery.message;
    EXPECT_EQ(FileExists(obsolete), c.file_back);
    EXPECT_EQ(folder.Read("app/kept.txt"), "kept");
    EXPECT_EQ(FileExists(app + "given-up.zip.partial"), c.outcome != TRecoveryOutcome::kCompleted);
    if (c.outcome == TRecoveryOutcome::kDamaged) {
      EXPECT_TRUE(FileExists(aside)) << "every file is kept";
      EXPECT_TRUE(FileExists(app + "a.zip"));
      EXPECT_EQ(RecoverInterruptedUpgrade(app).outcome, TRecoveryOutcome::kDamaged) << "and stays so";
    } else {
      EXPECT_FALSE(fs::exists(work)) << "nothing of the upgrade is left";
      EXPECT_FALSE(FileExists(app + "a.zip"));
      EXPECT_EQ(fs::exists(folder.path() / "data/Trash/files/old\tname.txt"), !c.file_back);
      EXPECT_EQ(RecoverInterruptedUpgrade(app).outcome, TRecoveryOutcome::kNone);
    }
    ::unsetenv("XDG_DATA_HOME");
  }
}

}  // namespace
}  // namespace kestrova
