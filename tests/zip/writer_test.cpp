// The writer's output checked byte by byte, its transactions and its failure paths.
#include <algorithm>
#include <set>

#include "base/text.h"
#include "zip/host_system.h"
#include "zip_fixtures.h"

namespace kestrova::testing {
namespace {

struct LocalRecord {
  size_t offset = 0;
  std::string name;
  uint16_t flags = 0, method = 0, extra_length = 0;
  uint32_t crc = 0, compressed = 0, uncompressed = 0;
  std::string extra;
};

struct CentralRecord {
  std::string name;
  uint16_t made_by = 0, flags = 0, method = 0;
  uint32_t crc = 0, compressed = 0, uncompressed = 0, external = 0, offset = 0;
};

// Walks the local records from offset 0, each ending where its data ends; returns
// the offset after the last one.
size_t WalkLocalRecords(const std::string& bytes, std::vector<LocalRecord>& records) {
  size_t at = 0;
  while (at + 30 <= bytes.size() && Read32(bytes, at) == 0x04034B50) {
    LocalRecord r;
    r.offset = at;
    r.flags = Read16(bytes, at + 6);
    r.method = Read16(bytes, at + 8);
    r.crc = Read32(bytes, at + 14);
    r.compressed = Read32(bytes, at + 18);
    r.uncompressed = Read32(bytes, at + 22);
    const uint16_t name_length = Read16(bytes, at + 26);
    r.extra_length = Read16(bytes, at + 28);
    r.name = bytes.substr(at + 30, name_length);
    r.extra = bytes.substr(at + 30 + name_length, r.extra_length);
    records.push_back(r);
    at += 30 + name_length + r.extra_length + r.compressed;
  }
  return at;
}

std::vector<CentralRecord> ReadCentralRecords(const std::string& bytes, size_t& directory_offset) {
  const size_t end = bytes.size() - 22;
  EXPECT_EQ(Read32(bytes, end), 0x06054B50u);
  directory_offset = Read32(bytes, end + 16);
  std::vector<CentralRecord> records;
  size_t at = directory_offset;
  for (uint16_t i = 0; i < Read16(bytes, end + 10); ++i) {
    EXPECT_EQ(Read32(bytes, at), 0x02014B50u);
    CentralRecord r;
    r.made_by = Read16(bytes, at + 4);
    r.flags = Read16(bytes, at + 8);
    r.method = Read16(bytes, at + 10);
    r.crc = Read32(bytes, at + 16);
    r.compressed = Read32(bytes, at + 20);
    r.uncompressed = Read32(bytes, at + 24);
    r.external = Read32(bytes, at + 38);
    r.offset = Read32(bytes, at + 42);
    const uint16_t n = Read16(bytes, at + 28), e = Read16(bytes, at + 30), c = Read16(bytes, at + 32);
    r.name = bytes.substr(at + 46, n);
    records.push_back(r);
    at += 46 + n + e + c;
  }
  EXPECT_EQ(at, end);
  return records;
}

class WriterTest : public ZipTest {};

TEST_F(WriterTest, FolderTreeRecordsAreWellFormed) {
  Make("base/a.txt", CompressibleText(20000));
  Make("base/empty", "");
  Make("base/sub/b.txt", "bee");
  fs::create_directories(Path("base/sub/deep"));
  Make("base/\xC3\xBC.txt", "umlaut");
  ZipArchiver archiver;
  archiver.SetCompressionLevel(clMax);
  CreateArchive(archiver, Path("t.zip"), Path("base"), {u"*.*"});

  const std::string bytes = ReadFile(Path("t.zip"));
  std::vector<LocalRecord> locals;
  const size_t after_entries = WalkLocalRecords(bytes, locals);
  size_t directory_offset = 0;
  const auto centrals = ReadCentralRecords(bytes, directory_offset);
  EXPECT_EQ(after_entries, directory_offset) << "a local header's sizes or extra length are off";
  ASSERT_EQ(locals.size(), 6u);
  ASSERT_EQ(centrals.size(), 6u);

  std::set<std::string> names;
  for (size_t i = 0; i < locals.size(); ++i) {
    const LocalRecord& local = locals[i];
    const CentralRecord& central = centrals[i];
    names.insert(local.name);
    EXPECT_EQ(local.name.find('\\'), std::string::npos);
    EXPECT_EQ(central.offset, local.offset);
    EXPECT_EQ(central.name, local.name);
    EXPECT_EQ(central.crc, local.crc);
    EXPECT_EQ(central.made_by, (kHostSystem << 8) | 20) << "this host, version 2.0";
    // The extra field is exactly one Unicode name block holding the UTF-16 name.
    const std::u16string wide = Utf8ToUtf16(local.name);
    ASSERT_EQ(local.extra_length, 12 + 2 * wide.size()) << local.name;
    EXPECT_EQ(Read16(local.extra, 0), 0x554E);
    EXPECT_EQ(Read16(local.extra, 2), 2 * wide.size() + 8);
    EXPECT_EQ(local.extra.substr(4, 4), "NUCX");
    EXPECT_EQ(Read32(local.extra, 8), wide.size());
    EXPECT_EQ(Read16(local.extra, 12), wide[0]);

    const bool non_ascii = std::any_of(local.name.begin(), local.name.end(),
                                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    EXPECT_EQ((local.flags & 0x800) != 0, non_ascii) << local.name;
    if (local.name.back() == '/') {
      EXPECT_EQ(local.flags, 2);
      EXPECT_EQ(local.method, 0);
      EXPECT_EQ(local.crc, 0u);
      EXPECT_EQ(local.compressed, 0u);
      EXPECT_EQ(local.uncompressed, 0u);
      if (kHostSystem == 3) {  // where files have Unix modes
        EXPECT_EQ(central.external >> 16 & 0170000, 0040000u);
      }
      EXPECT_EQ(central.external & 0x10, 0x10u);
    } else if (local.name == "empty") {
      EXPECT_EQ(local.method, 0);
      EXPECT_EQ(local.crc, 0u);
      EXPECT_EQ(local.compressed, 0u);
      EXPECT_EQ(local.uncompressed, 0u);
    } else if (local.name == "a.txt") {
      EXPECT_EQ(local.method, 8);
      EXPECT_EQ(local.uncompressed, 20000u);
      EXPECT_LT(local.compressed, 20000u);
      if (kHostSystem == 3) {  // where files have Unix modes
        EXPECT_EQ(central.external >> 16 & 0170000, 0100000u);
      }
    }
  }
  EXPECT_EQ(names, (std::set<std::string>{"a.txt", "empty", "sub/", "sub/b.txt", "sub/deep/",
                                          "\xC3\xBC.txt"}));
}

TEST_F(WriterTest, ArchiveClosedWithoutEntriesIsTheBareEndRecord) {
  for (const bool with_mode : {true, false}) {
    const fs::path archive = Path(with_mode ? "created.zip" : "opened.zip");
    ZipArchiver archiver;
    archiver.FileName = U(archive);
    with_mode ? archiver.Open(fmCreate) : archiver.Open();
    archiver.Close();
    const std::string bytes = ReadFile(archive);
    ASSERT_EQ(bytes.size(), 22u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("PK\x05\x06", 4));
    EXPECT_EQ(bytes.substr(4), std::string(18, '\0'));
    EXPECT_EQ(ExtractAll(archive, Path("out")).size(), 0u);
  }
}

// The archive lying inside the added folder leaves itself out, and only itself: a file
// whose name differs from it by case, or that its name would match as a mask, is content.
// Special files have no content and are left out; opening one must not block the add.
TEST_F(WriterTest, FileOutsideBaseDirIsStoredUnderItsFullPathWithoutLeadingSeparator) {
  Make("other/f.txt", "outside");
  fs::create_directories(Path("base"));
  ZipArchiver archiver;
  CreateArchive(archiver, Path("t.zip"), Path("base"), {U(Path("base").string() + "/../other/f.txt")});
  const std::string expected = Path("other/f.txt").relative_path().generic_string();
  EXPECT_EQ(EntryNames(Path("t.zip")), (std::set<std::string>{expected}));
}

TEST_F(WriterTest, MasksSelectByTheirFolderPartAndWildcards) {
  Make("base/x.txt", "1");
  Make("base/sub/x.txt", "2");
  Make("base/sub/y.dat", "3");
  Make("base/sub/deeper/x.txt", "4");
  Make("base/other/sub/z.txt", "5");
  const auto names_for = [&](const std::u16string& mask) {
    const fs::path archive = Path("m" + std::to_string(std::hash<std::u16string>()(mask)) + ".zip");
    ZipArchiver archiver;
    CreateArchive(archiver, archive, Path("base"), {mask});
    return EntryNames(archive);
  };
  EXPECT_EQ(names_for(u"sub\\x.txt"), (std::set<std::string>{"sub/x.txt"}));
  EXPECT_EQ(names_for(u"x.txt"), (std::set<std::string>{"x.txt", "sub/x.txt", "sub/deeper/x.txt"}));
  EXPECT_EQ(names_for(u"sub/*.txt"), (std::set<std::string>{"sub/x.txt", "sub/deeper/x.txt"}));
  EXPECT_EQ(names_for(u"sub"), (std::set<std::string>{"sub/", "sub/x.txt", "sub/y.dat", "sub/deeper/",
                                                      "sub/deeper/x.txt", "other/sub/", "other/sub/z.txt"}));
  EXPECT_EQ(names_for(u"*.dat"), (std::set<std::string>{"sub/y.dat"}));
  EXPECT_EQ(names_for(u"\\sub\\y.dat"), (std::set<std::string>{"sub/y.dat"}));
}

TEST_F(WriterTest, ExclusionsAndNoCompressionMasks) {
  Make("base/keep.txt", CompressibleText(10000));
  Make("base/plain.log", CompressibleText(10000));
  Make("base/skip.tmp", "x");
  ZipArchiver archiver;
  archiver.NoCompressionMasks = {u"*.log"};
  archiver.ExclusionMasks = {u"*.tmp"};
  // The archive lies inside the base folder and must not include itself.
  CreateArchive(archiver, Path("base/t.zip"), Path("base"), {u"*.*"});
  ZipArchiver reader;
  reader.FileName = U(Path("base/t.zip"));
  reader.Open();
  ASSERT_EQ(reader.Count(), 2u);
  for (const auto& item : reader.Items()) {
    EXPECT_EQ(item.header.method, item.name == u"plain.log" ? 0 : 8) << Utf16ToUtf8(item.name);
  }
}

TEST_F(WriterTest, ErrorsCarryTheirCodeAndFormattedText) {
  ZipArchiver archiver;
  try {
    archiver.AddMatching(u"*.*");
    FAIL() << "no error";
  } catch (const EArchiverError& error) {
    EXPECT_EQ(error.Code(), 13);
    EXPECT_STREQ(error.what(), "Archive is not open - Native error: 00013");
  }
  archiver.Name = u"Zip1";
  try {
    archiver.SetCompressionMode(10);
    FAIL() << "no error";
  } catch (const EArchiverError& error) {
    EXPECT_EQ(error.Code(), 5);
    EXPECT_STREQ(error.what(),
                 "Zip1: Invalid compression mode. Mode must be in [0-9] range - Native error: 00005");
  }
  EXPECT_EQ(archiver.CompressionMode(), 1);
  archiver.SetCompressionMode(5);
  EXPECT_EQ(archiver.CompressionLevel(), clNormal);
  archiver.SetCompressionLevel(clMax);
  EXPECT_EQ(archiver.CompressionMode(), 9);
  archiver.SetCompressionMode(3);
  EXPECT_EQ(archiver.CompressionLevel(), clFastest);
}


// The first commit onto an archive that existed writes a new one in its place; later
// ones go into that file itself, which a hard link to it shows. Copying the whole
// archive for every commit would make a save of many paths quadratic.
TEST_F(WriterTest, OnlyTheFirstCommitOntoAnOldArchiveWritesANewFile) {
  Make("base/a.txt", "a");
  Make("base/b.txt", "b");
  Make("base/c.txt", "c");
  ZipArchiver created;
  CreateArchive(created, Path("t.zip"), Path("base"), {u"a.txt"});
  fs::create_hard_link(Path("t.zip"), Path("before.zip"));
  ZipArchiver archiver;
  archiver.FileName = U(Path("t.zip"));
  archiver.BaseDir = U(Path("base"));
  archiver.Open();
  archiver.AddMatching(u"b.txt");
  EXPECT_EQ(fs::hard_link_count(Path("t.zip")), 1u);
  fs::create_hard_link(Path("t.zip"), Path("after_first.zip"));
  archiver.AddMatching(u"c.txt");
  archiver.Close();
  EXPECT_EQ(EntryNames(Path("before.zip")), (std::set<std::string>{"a.txt"}));
  EXPECT_EQ(EntryNames(Path("after_first.zip")), (std::set<std::string>{"a.txt", "b.txt", "c.txt"}));
}

class WriterFailureTest : public WriterFailureFixture {};

TEST_F(WriterFailureTest, AbortRollsBackTheWholeAdd) {
  Make("base/first.txt", "committed before");
  ZipArchiver archiver;
  AddWithVanishingFile(archiver, fxaAbort);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(archiver.Count(), 1u);
  EXPECT_EQ(ReadFile(Path("t.zip")), after_first_);
  archiver.Close();
  EXPECT_EQ(EntryNames(Path("t.zip")), (std::set<std::string>{"first.txt"}));
}

TEST_F(WriterFailureTest, RetryWritesTheEntryAgain) {
  Make("base/first.txt", "x");
  ZipArchiver archiver;
  archiver.OnProcessFileFailure = [&](ZipArchiver&, const std::u16string&, TProcessOperation, int native,
                                      int, const std::string&, TFileFailureAction& action) {
    failures.push_back({u"", native, ""});
    Make("base/b.txt", "B");
    action = failures.size() == 1 ? fxaRetry : fxaIgnore;
  };
  archiver.FileName = U(Path("t.zip"));
  archiver.BaseDir = U(Path("base"));
  archiver.Open(fmCreate);
  Make("base/b.txt", "b");
  archiver.OnStoreFile = [&](ZipArchiver&, std::u16string&, uint32_t&, std::string&, const std::u16string&) {
    fs::remove(Path("base/b.txt"));
  };
  archiver.AddMatching(u"b.txt");
  archiver.Close();
  EXPECT_EQ(failures.size(), 1u);
  EXPECT_TRUE(ExtractAll(Path("t.zip"), Path("out")).empty());
  EXPECT_EQ(ReadFile(Path("out/b.txt")), "B");
}

// The source opens, but reading it fails: the process's own memory file reads at an
// unmapped address with an I/O error. Like a source that cannot be opened, it is the
// entry's failure, and the failure event decides.
TEST_F(WriterFailureTest, SourceThatChangesSizeIsReported) {
  Make("base/grows.txt", "12345");
  ZipArchiver archiver;
  archiver.OnStoreFile = [&](ZipArchiver&, std::u16string&, uint32_t&, std::string&, const std::u16string&) {
    Make("base/grows.txt", "1234567890");
  };
  RecordFailures(archiver);
  CreateArchive(archiver, Path("t.zip"), Path("base"), {u"grows.txt"});
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].native_error, 34);
  EXPECT_EQ(failures[0].message,
            "Invalid compressed size, rfs.size = 5, count = 10 - Native error: 00034");
  EXPECT_EQ(ReadFile(Path("t.zip")).size(), 22u);
}

TEST_F(WriterFailureTest, FailedEntryThatReplacedANewOneIsDropped) {
  // Both files are stored under one name, so the second replaces the first within
  // the same add; the second then cannot be read.
  Make("base/a.txt", "a");
  Make("base/b.txt", "b");
  ZipArchiver archiver;
  int stored = 0;
  archiver.OnStoreFile = [&](ZipArchiver&, std::u16string& name, uint32_t&, std::string&,
                             const std::u16string& original) {
    if (++stored == 2) fs::remove(Utf16ToUtf8(original));
    name = u"same.txt";
  };
  RecordFailures(archiver);
  CreateArchive(archiver, Path("t.zip"), Path("base"), {u"*.txt"});
  EXPECT_EQ(failures.size(), 1u);
  EXPECT_TRUE(EntryNames(Path("t.zip")).empty());
  EXPECT_EQ(ReadFile(Path("t.zip")).size(), 22u);
}

// A file-size limit makes writes fail as on a full disk.
}  // namespace
}  // namespace kestrova::testing
