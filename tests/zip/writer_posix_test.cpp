// Writing where Info-ZIP checks the result, or where special files, unreadable
// sources and a file size limit need Unix.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>

#include "support/process.h"
#include "zip/crc32.h"
#include "zip_fixtures.h"

namespace kestrova::testing {
namespace {

class WriterPosixTest : public ZipTest {};

class WriterFailurePosixTest : public WriterFailureFixture {};

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  sighandler_t previous_;
};

TEST_F(WriterPosixTest, CancelDuringThirdAddKeepsExactlyTheFirstTwoCommits) {
  Make("base/one.txt", "one");
  Make("base/two.txt", CompressibleText(5000));
  Make("base/three.txt", CompressibleText(4 << 20));
  ZipArchiver archiver;
  archiver.SetCompressionLevel(clMax);
  archiver.FileName = U(Path("t.zip"));
  archiver.BaseDir = U(Path("base"));
  archiver.Open(fmCreate);
  archiver.AddMatching(u"one.txt");
  archiver.AddMatching(u"two.txt");
  const std::string after_two = ReadFile(Path("t.zip"));

  int progress_reports = 0;
  archiver.OnOverallProgress = [&](ZipArchiver&, double, TProcessOperation, TProgressPhase phase,
                                   bool& cancel) {
    if (phase == ppProcess && ++progress_reports == 2) cancel = true;  // inside three.txt's data
  };
  archiver.AddMatching(u"three.txt");
  EXPECT_EQ(progress_reports, 2);
  EXPECT_EQ(archiver.Count(), 2u);
  EXPECT_EQ(ReadFile(Path("t.zip")), after_two);
  archiver.Close();

  EXPECT_EQ(Shell("unzip -tq " + Quote(Path("t.zip"))), 0);
  EXPECT_EQ(EntryNames(Path("t.zip")), (std::set<std::string>{"one.txt", "two.txt"}));
}

TEST_F(WriterPosixTest, SameNameAddedTwiceKeepsOneEntryWithTheNewerData) {
  Make("base/a.txt", CompressibleText(100000));
  Make("base/b.txt", "second entry, copied back unchanged");
  fs::create_directories(Path("tmp"));
  ZipArchiver archiver;
  archiver.TempDir = U(Path("tmp"));
  archiver.FileName = U(Path("t.zip"));
  archiver.BaseDir = U(Path("base"));
  archiver.Open(fmCreate);
  archiver.AddMatching(u"a.txt");
  archiver.AddMatching(u"b.txt");
  Make("base/a.txt", "newer and much shorter");
  std::vector<TProcessOperation> operations;
  archiver.OnFileProgress = [&](ZipArchiver&, const std::u16string&, double, TProcessOperation op,
                                TProgressPhase phase, bool&) {
    if (phase == ppStart) operations.push_back(op);
  };
  archiver.AddMatching(u"a.txt");
  archiver.Close();

  EXPECT_EQ(operations, std::vector<TProcessOperation>{poUpdate});
  EXPECT_TRUE(fs::is_empty(Path("tmp"))) << "the temporary copy was not removed";
  EXPECT_EQ(Shell("unzip -tq " + Quote(Path("t.zip"))), 0);
  EXPECT_EQ(EntryNames(Path("t.zip")), (std::set<std::string>{"a.txt", "b.txt"}));
  EXPECT_TRUE(ExtractAll(Path("t.zip"), Path("out")).empty());
  EXPECT_EQ(ReadFile(Path("out/a.txt")), "newer and much shorter");
  EXPECT_EQ(ReadFile(Path("out/b.txt")), "second entry, copied back unchanged");
}

TEST_F(WriterPosixTest, AddSkipsOnlyTheArchiveItselfAndSpecialFiles) {
  Make("base/T.ZIP", "a file, not the archive");
  Make("base/tab.zip", "matched by the archive's name as a mask");
  Make("base/README", "upper");
  Make("base/readme", "lower");
  fs::create_symlink("/dev/zero", Path("base/endless"));
  ASSERT_EQ(mkfifo(Path("base/pipe").c_str(), 0600), 0);
  ZipArchiver archiver;
  CreateArchive(archiver, Path("base/t?b.zip"), Path("base"), {u"*.*"});
  EXPECT_EQ(EntryNames(Path("base/t?b.zip")),
            (std::set<std::string>{"T.ZIP", "tab.zip", "README", "readme"}));
  EXPECT_TRUE(ExtractAll(Path("base/t?b.zip"), Path("out")).empty());
  EXPECT_EQ(ReadFile(Path("out/README")), "upper");
  EXPECT_EQ(ReadFile(Path("out/readme")), "lower");

  const auto pipe = QueryFile(Path("base/pipe").string());
  const auto endless = QueryFile(Path("base/endless").string());
  ASSERT_TRUE(pipe && endless);
  EXPECT_TRUE(pipe->is_special && endless->is_special && endless->is_link);
  EXPECT_FALSE(QueryFile(Path("base/README").string())->is_special);
  // A name that turned into a pipe after it was listed fails instead of waiting.
  EXPECT_FALSE(NativeFile::OpenForReading(Path("base/pipe").string()).IsOpen());
  EXPECT_FALSE(NativeFile::OpenForReading(Path("base/endless").string()).IsOpen());
}

TEST_F(WriterFailurePosixTest, IgnoredEntryIsLeftOutAndTheRestCommitted) {
  Make("base/first.txt", "committed before");
  ZipArchiver archiver;
  AddWithVanishingFile(archiver, fxaIgnore);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].native_error, 33);
  EXPECT_EQ(failures[0].file_name, U(Path("base/b.txt")));
  EXPECT_EQ(failures[0].message,
            "Cannot open file \"" + Path("base/b.txt").string() + "\" - Native error: 00033");
  archiver.Close();
  EXPECT_EQ(EntryNames(Path("t.zip")), (std::set<std::string>{"first.txt", "a.txt"}));
  EXPECT_EQ(Shell("unzip -tq " + Quote(Path("t.zip"))), 0);
}

TEST_F(WriterFailurePosixTest, SourceWhoseReadFailsGoesToTheFailureEvent) {
  const struct {
    TFileFailureAction action;
    std::set<std::string> entries;
  } cases[] = {
      {fxaIgnore, {"first.txt", "a.txt"}},
      {fxaAbort, {"first.txt"}},
      {fxaRetry, {"first.txt", "a.txt", "b.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.action);
    const std::string base = "base" + std::to_string(c.action);
    const fs::path archive = Path(base + ".zip");
    Make(base + "/first.txt", "committed before");
    Make(base + "/a.txt", "a");
    Make(base + "/b.txt", "b");
    ZipArchiver archiver;
    archiver.FileName = U(archive);
    archiver.BaseDir = U(Path(base));
    archiver.Open(fmCreate);
    archiver.AddMatching(u"first.txt");
    const std::string after_first = ReadFile(archive);
    archiver.OnStoreFile = [&](ZipArchiver&, std::u16string& name, uint32_t&, std::string&,
                               const std::u16string&) {
      if (name != u"b.txt") return;
      fs::remove(Path(base + "/b.txt"));
      fs::create_symlink("/proc/self/mem", Path(base + "/b.txt"));
    };
    archiver.OnProcessFileFailure = [&](ZipArchiver&, const std::u16string&, TProcessOperation,
                                        int native, int, const std::string& message,
                                        TFileFailureAction& action) {
      failures.push_back({u"", native, message});
      fs::remove(Path(base + "/b.txt"));
      Make(base + "/b.txt", "B");
      action = failures.size() == 1 ? c.action : fxaIgnore;
    };
    failures.clear();
    archiver.AddMatching(u"?.txt");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].native_error, 102);
    EXPECT_TRUE(failures[0].message.starts_with("Cannot read file \"" + Path(base + "/b.txt").string() + "\". "))
        << failures[0].message;
    if (c.action == fxaAbort) {
      EXPECT_EQ(ReadFile(archive), after_first);
    }
    archiver.Close();
    EXPECT_EQ(EntryNames(archive), c.entries);
    EXPECT_EQ(Shell("unzip -tq " + Quote(archive)), 0);
  }
}

TEST_F(WriterFailurePosixTest, FileTooLargeWithoutZip64IsRefused) {
  Make("base/small.txt", "small");
  Make("base/huge.bin", "");
  fs::resize_file(Path("base/huge.bin"), uint64_t{1} << 32);  // sparse: costs no disk
  ZipArchiver archiver;
  archiver.Zip64Mode = zmDisabled;
  RecordFailures(archiver);
  CreateArchive(archiver, Path("t.zip"), Path("base"), {u"*.*"});
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].native_error, 41);
  EXPECT_EQ(failures[0].message, "Cannot compress file '" + Path("base/huge.bin").string() +
                                     "'. Zip64 mode is not enabled - Native error: 00041");
  EXPECT_EQ(EntryNames(Path("t.zip")), (std::set<std::string>{"small.txt"}));
}

TEST_F(WriterPosixTest, FullDiskCancelsTheAddAndRestoresTheArchive) {
  Make("base/small.txt", "small");
  Make("base/big.bin", RandomBytes(1 << 20));
  ZipArchiver archiver;
  archiver.TempDir = U(dir_);
  archiver.FileName = U(Path("t.zip"));
  archiver.BaseDir = U(Path("base"));
  archiver.Open(fmCreate);
  archiver.AddMatching(u"small.txt");
  const std::string before = ReadFile(Path("t.zip"));
  int full_disk_reports = 0;
  archiver.OnDiskFull = [&](ZipArchiver&, bool& cancel) {
    ++full_disk_reports;
    EXPECT_TRUE(cancel);
  };
  RecordFailures(archiver);
  {
    FileSizeLimit limit(256 << 10);
    archiver.AddMatching(u"big.bin");
  }
  EXPECT_EQ(full_disk_reports, 1);
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(archiver.Count(), 1u);
  EXPECT_EQ(ReadFile(Path("t.zip")), before);
}

// Temporary files in `folder` that stand in for a target until they replace it.
size_t Leftovers(const fs::path& folder) {
  size_t count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    count += name.find(".kestrova-") != std::string::npos && name.ends_with(".tmp");
  }
  return count;
}

// Killed once its data has begun, an add onto an existing archive leaves that
// archive as it was, and so does an extraction for the file it replaces; the next run
// over the same target removes what the killed one left behind.
// A thread parked in place of a kill keeps its handles, which Windows will not let
// the next run replace, so this needs a real killed process.
TEST_F(WriterPosixTest, KilledRunsLeaveTheOldFilesAndTheNextRunCleansUp) {
  Make("base/old.txt", "old");
  Make("out/new.bin", "installed");
  ZipArchiver created;
  CreateArchive(created, Path("t.zip"), Path("base"), {u"old.txt"});
  const std::string before = ReadFile(Path("t.zip"));
  Make("base/new.bin", RandomBytes(1 << 20));
  const auto stop_in_data = [](ZipArchiver& archiver, const std::function<void()>& stop_here) {
    archiver.OnFileProgress = [&stop_here](ZipArchiver&, const std::u16string&, double,
                                           TProcessOperation, TProgressPhase phase, bool&) {
      if (phase == ppProcess) stop_here();
    };
  };
  ASSERT_TRUE(RunAndKill([&](const std::function<void()>& stop_here) {
    ZipArchiver archiver;
    stop_in_data(archiver, stop_here);
    archiver.FileName = U(Path("t.zip"));
    archiver.BaseDir = U(Path("base"));
    archiver.Open();
    archiver.AddMatching(u"new.bin");
  }));
  EXPECT_EQ(ReadFile(Path("t.zip")), before);
  EXPECT_EQ(Leftovers(dir_), 1u);
  ZipArchiver again;
  again.FileName = U(Path("t.zip"));
  again.BaseDir = U(Path("base"));
  again.Open();
  again.AddMatching(u"new.bin");
  again.Close();
  EXPECT_EQ(Leftovers(dir_), 0u);
  EXPECT_EQ(EntryNames(Path("t.zip")), (std::set<std::string>{"old.txt", "new.bin"}));

  ASSERT_TRUE(RunAndKill([&](const std::function<void()>& stop_here) {
    ZipArchiver archiver;
    stop_in_data(archiver, stop_here);
    archiver.FileName = U(Path("t.zip"));
    archiver.BaseDir = U(Path("out"));
    archiver.FileMasks = {u"new.bin"};
    archiver.Open(fmOpenReadDenyNone);
    archiver.ExtractMatching();
  }));
  EXPECT_EQ(ReadFile(Path("out/new.bin")), "installed");
  // Where the file system makes files without names, a killed extraction leaves none.
  EXPECT_LE(Leftovers(Path("out")), 1u);
  EXPECT_TRUE(ExtractAll(Path("t.zip"), Path("out")).empty());
  EXPECT_EQ(Leftovers(Path("out")), 0u);
  EXPECT_EQ(ReadFile(Path("out/new.bin")), ReadFile(Path("base/new.bin")));
}

// Archives that need no Zip64 records come out exactly as the writer made them before it
// could write them: fingerprints (CRC-32 and size) of archives made then.
TEST_F(WriterPosixTest, ArchivesWithoutZip64NeedsKeepTheirBytes) {
  // DOS times are local: the fingerprints hold in one zone.
  const std::string zone = getenv("TZ") ? getenv("TZ") : "";
  const bool had_zone = getenv("TZ") != nullptr;
  setenv("TZ", "UTC", 1);
  tzset();
  struct RestoreZone {
    std::string zone;
    bool had;
    ~RestoreZone() {
      had ? setenv("TZ", zone.c_str(), 1) : unsetenv("TZ");
      tzset();
    }
  } restore{zone, had_zone};
  const auto time = std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(1584187200));
  const struct {
    const char* name;
    std::string content;
  } files[] = {{"a.txt", CompressibleText(20000)}, {"b.bin", RandomBytes(5000, 3)},
               {"\xc3\xa9t\xc3\xa9.txt", "short"}, {"empty", ""}};
  for (const auto& f : files) {
    Make(std::string("base/") + f.name, f.content);
    fs::permissions(Path(std::string("base/") + f.name), fs::perms(0644));
    fs::last_write_time(Path(std::string("base/") + f.name), time);
  }
  const struct {
    TCompressionLevel level;
    uint32_t crc;
    size_t size;
  } cases[] = {{clMax, 51234496u, 7152}, {clFastest, 3080382343u, 7787}, {clNone, 2122137943u, 25563}};
  for (const auto& c : cases) {
    ZipArchiver archiver;
    archiver.SetCompressionLevel(c.level);
    fs::remove(Path("t.zip"));
    CreateArchive(archiver, Path("t.zip"), Path("base"), {u"*.*"});
    const std::string bytes = ReadFile(Path("t.zip"));
    EXPECT_EQ(Crc32Of(bytes.data(), bytes.size()), c.crc) << c.level;
    EXPECT_EQ(bytes.size(), c.size) << c.level;
  }
}

}  // namespace
}  // namespace kestrova::testing
