// Archives that are not what a plain writer leaves behind: bytes in front, comments,
// a lost directory, damaged data, and names crafted to escape the target folder.
#include <zlib.h>

#include <set>

#include "base/text.h"
#include "zip_interop/interop_support.h"

namespace kestrova::testing {
namespace {

void Put16(std::string& out, unsigned v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// An entry for the hand-made archives: stored data under a raw byte name.
struct RawEntry {
  RawEntry(std::string n, std::string d, uint32_t mode = 0100644, std::string e = {})
      : name(std::move(n)), data(std::move(d)), unix_mode(mode), extra(std::move(e)) {}
  std::string name;
  std::string data;
  uint32_t unix_mode;  // 0 writes a FAT host with no mode
  std::string extra;   // the same in the local and the central header
};

// A stored-only archive, written byte by byte so that nothing in it depends on the
// writer under test.
std::string RawZip(const std::vector<RawEntry>& entries) {
  std::string out, directory;
  for (const auto& e : entries) {
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), uInt(e.data.size())));
    const uint32_t offset = uint32_t(out.size());
    const auto common = [&](std::string& h) {
      Put16(h, 10);  // version needed
      Put16(h, 0);   // flags
      Put16(h, 0);   // stored
      Put16(h, 0x5000);
      Put16(h, 0x58B1);  // 2024-05-17 10:00
      Put32(h, crc);
      Put32(h, uint32_t(e.data.size()));
      Put32(h, uint32_t(e.data.size()));
      Put16(h, unsigned(e.name.size()));
      Put16(h, unsigned(e.extra.size()));
    };
    Put32(out, 0x04034B50);
    common(out);
    out += e.name + e.extra + e.data;
    Put32(directory, 0x02014B50);
    Put16(directory, e.unix_mode ? 0x031E : 0x0014);
    common(directory);
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, e.unix_mode << 16 | ((e.unix_mode & 0170000) == 0040000 ? 0x10 : 0x20));
    Put32(directory, offset);
    directory += e.name + e.extra;
  }
  const uint32_t directory_offset = uint32_t(out.size());
  out += directory;
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, unsigned(entries.size()));
  Put16(out, unsigned(entries.size()));
  Put32(out, uint32_t(directory.size()));
  Put32(out, directory_offset);
  Put16(out, 0);
  return out;
}

// Replaces the archive comment at the end of `archive` (which must have none).
std::string WithComment(std::string archive, const std::string& comment) {
  const size_t end_record = archive.size() - 22;
  EXPECT_EQ(Read32(archive, end_record), 0x06054B50u);
  archive[end_record + 20] = char(comment.size() & 0xFF);
  archive[end_record + 21] = char(comment.size() >> 8);
  return archive + comment;
}

// A Zip64 extra block holding `values` (uncompressed size, compressed size, offset, in
// that order, each only where the central header field reads 0xFFFFFFFF).
std::string Zip64Block(std::initializer_list<uint64_t> values) {
  std::string block;
  Put16(block, 1);
  Put16(block, unsigned(values.size() * 8));
  for (const uint64_t v : values) {
    Put32(block, uint32_t(v));
    Put32(block, uint32_t(v >> 32));
  }
  return block;
}

// Sets a 32-bit field of the `index`-th central directory header to 0xFFFFFFFF, so
// that the entry's Zip64 block supplies the value.
std::string DeferToZip64(std::string archive, size_t index, size_t field) {
  size_t at = archive.find("PK\1\2");
  for (size_t i = 0; i < index; ++i) at = archive.find("PK\1\2", at + 4);
  for (size_t k = 0; k < 4; ++k) archive[at + field + k] = char(0xFF);
  return archive;
}

constexpr size_t kCompressedSizeField = 20;
constexpr size_t kUncompressedSizeField = 24;
constexpr size_t kOffsetField = 42;

class DamagedArchiveTest : public ZipTest {
 protected:
  void SetUp() override {
    ZipTest::SetUp();
    Make("tree/readme.txt", CompressibleText(100000));
    Make("tree/bin/tool", RandomBytes(5000, 2));
    fs::permissions(Path("tree/bin/tool"), fs::perms(0755));
    Make("tree/sub/deeper/empty.txt", "");
    fs::create_directories(Path("tree/empty folder"));
    source_ = Snapshot(Path("tree"));
  }

  fs::path WriteOurs(const std::string& name = "ours.zip") {
    ZipArchiver archiver;
    archiver.SetCompressionLevel(clMax);
    CreateArchive(archiver, Path(name), Path("tree"), {u"*.*"});
    return Path(name);
  }
  fs::path WriteInfoZip(const std::string& name = "infozip.zip") {
    EXPECT_EQ(Shell("cd " + Quote(Path("tree")) + " && zip -q -r ../" + name + " ."), 0);
    return Path(name);
  }

  /// Opens `archive` and extracts it whole into `out`; failures land in `failures`.
  void Extract(ZipArchiver& archiver, const fs::path& archive, const std::string& out = "out") {
    RecordFailures(archiver);
    archiver.FileName = U(archive);
    archiver.BaseDir = U(Path(out));
    archiver.FileMasks = {u"*.*"};
    archiver.Open(fmOpenReadDenyNone);
    archiver.ExtractMatching();
  }

  Tree source_;
};

TEST_F(DamagedArchiveTest, ArchiveBehindAPrefixWithOrWithoutAdjustedOffsets) {
  ASSERT_TRUE(HavePeer("zip"));
  const std::string stub = "#!/bin/sh\necho 'a self-extracting stub would run here'\nexit 0\n";
  struct Case {
    std::string name;
    fs::path archive;
    bool adjust;
  };
  const std::vector<Case> cases = {{"ours", WriteOurs(), false},
                                   {"ours-adjusted", WriteOurs("ours2.zip"), true},
                                   {"infozip", WriteInfoZip(), false},
                                   {"infozip-adjusted", WriteInfoZip("infozip2.zip"), true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path prefixed = Path(c.name + "-sfx.zip");
    WriteFile(prefixed, stub + ReadFile(c.archive));
    std::string output;
    if (c.adjust) {
      ASSERT_EQ(Shell("zip -q -A " + Quote(prefixed), &output), 0) << output;
    }
    ZipArchiver archiver;
    Extract(archiver, prefixed, c.name);
    // Adjusted offsets count the stub, so nothing is left to make up for.
    EXPECT_EQ(archiver.PrefixLength(), c.adjust ? 0u : stub.size());
    EXPECT_FALSE(archiver.OpenedByScan());
    EXPECT_TRUE(failures.empty()) << failures.front().message;
    EXPECT_EQ(DiffTrees(source_, Snapshot(Path(c.name)), kExecutableBit | kFileTimes), "");
    failures.clear();
  }
}

TEST_F(DamagedArchiveTest, CommentsOfAnyLengthKeepTheArchiveReadableByAll) {
  const std::string plain = ReadFile(WriteOurs());
  std::string with_signature = "release notes PK\x05\x06";
  with_signature += std::string(18, '\x01') + " the end record's signature, twice: PK\x05\x06 ...";
  for (const std::string& comment :
       {std::string(), std::string("x"), CompressibleText(1000), CompressibleText(65535), with_signature}) {
    SCOPED_TRACE("comment of " + std::to_string(comment.size()) + " bytes");
    WriteFile(Path("c.zip"), WithComment(plain, comment));
    fs::remove_all(Path("out"));
    ZipArchiver archiver;
    Extract(archiver, Path("c.zip"));
    EXPECT_EQ(archiver.Comment(), comment);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(DiffTrees(source_, Snapshot(Path("out")), kExecutableBit), "");
    archiver.Close();

    // Adding to the archive keeps its comment.
    archiver.FileName = U(Path("c.zip"));
    archiver.BaseDir = U(Path("more"));
    Make("more/added.txt", "added later");
    archiver.Open();
    archiver.AddMatching(u"added.txt");
    archiver.Close();
    std::string output;
    if (comment == with_signature) continue;  // Info-ZIP and python stop at the false signature
    EXPECT_EQ(Shell("unzip -tq " + Quote(Path("c.zip")), &output), 0) << output;
    ASSERT_EQ(RunPython(dir_,
                        "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n"
                        "assert z.testzip() is None\nsys.stdout.buffer.write(z.comment)\n",
                        Quote(Path("c.zip")), &output),
              0)
        << output;
    EXPECT_TRUE(output == comment) << "python reads another comment (" << output.size() << " bytes)";
  }
}

TEST_F(DamagedArchiveTest, TruncatedDirectoryIsRebuiltByScanning) {
  for (const fs::path& archive : {WriteOurs(), WriteInfoZip()}) {
    SCOPED_TRACE(archive.filename().string());
    std::string bytes = ReadFile(archive);
    const size_t end_record = bytes.size() - 22;
    const size_t directory = Read32(bytes, end_record + 16);
    bytes.resize(directory + (end_record - directory) / 2);  // half of the directory, no end record
    WriteFile(archive, bytes);
    fs::remove_all(Path("out"));
    ZipArchiver archiver;
    Extract(archiver, archive);
    EXPECT_TRUE(archiver.OpenedByScan());
    EXPECT_TRUE(failures.empty()) << failures.front().message;
    // The local headers carry no attributes, so only names and contents come back.
    EXPECT_EQ(DiffTrees(source_, Snapshot(Path("out")), kNamesAndContent), "");
  }
}

TEST_F(DamagedArchiveTest, DamagedDataFailsTheEntryAndKeepsThePreviousFile) {
  std::string bytes = ReadFile(WriteOurs());
  // The entry of readme.txt is deflated; damage the middle of its data.
  ZipArchiver reader;
  reader.FileName = U(Path("ours.zip"));
  reader.Open(fmOpenReadDenyNone);
  const auto found = reader.Items().Find(u"readme.txt");
  ASSERT_TRUE(found);
  const DirectoryItem& item = reader.Items()[*found];
  ASSERT_EQ(item.header.method, 8);
  const size_t data = item.local_header_offset + 30 + Read16(bytes, item.local_header_offset + 26) +
                      Read16(bytes, item.local_header_offset + 28);
  reader.Close();
  bytes[data + item.compressed_size / 2] ^= 0x10;
  WriteFile(Path("damaged.zip"), bytes);

  for (const bool existed : {false, true}) {
    SCOPED_TRACE(existed ? "target existed" : "no target before");
    fs::remove_all(Path("out"));
    if (existed) Make("out/readme.txt", "the installed version");
    ZipArchiver archiver;
    Extract(archiver, Path("damaged.zip"));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].file_name, u"readme.txt");
    EXPECT_EQ(failures[0].native_error, kErrInvalidCheckSum) << failures[0].message;
    Tree expected = source_;
    if (existed) {
      expected["readme.txt"].content = "the installed version";
    } else {
      expected.erase("readme.txt");
    }
    // Also catches a partial or temporary file left beside the target.
    EXPECT_EQ(DiffTrees(expected, Snapshot(Path("out")), kNamesAndContent), "");
    failures.clear();
  }
}

TEST_F(DamagedArchiveTest, ReadOnlyTargetIsReplaced) {
  WriteOurs();
  Make("out/readme.txt", "old");
  Make("out/bin/tool", "old tool");
  fs::permissions(Path("out/readme.txt"), fs::perms(0444));
  fs::permissions(Path("out/bin/tool"), fs::perms(0555));
  ZipArchiver archiver;
  Extract(archiver, Path("ours.zip"));
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(DiffTrees(source_, Snapshot(Path("out")), kExecutableBit | kFileTimes), "");
  EXPECT_EQ(fs::status(Path("out/readme.txt")).permissions() & fs::perms::all, fs::perms(0644));
}

// Unicode path extra field of Info-ZIP: version 1, CRC-32 of the byte name, UTF-8 name.
std::string UnicodePathExtra(const std::string& byte_name, const std::string& utf8) {
  std::string block;
  Put16(block, 0x7075);
  Put16(block, unsigned(5 + utf8.size()));
  block += '\x01';
  Put32(block, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(byte_name.data()), uInt(byte_name.size()))));
  return block + utf8;
}

// The name block this archiver writes: "NUCX", the length, UTF-16LE.
std::string UnicodeNameExtra(const std::u16string& name) {
  std::string block;
  Put16(block, 0x554E);
  Put16(block, unsigned(8 + 2 * name.size()));
  block += "NUCX";
  Put32(block, uint32_t(name.size()));
  for (const char16_t c : name) Put16(block, c);
  return block;
}

TEST_F(DamagedArchiveTest, NamesThatLeaveTheTargetFolderAreRefused) {
  const fs::path base = Path("jail/base");
  const std::string absolute = Path("abs/evil").string();  // "/tmp/.../abs/evil"
  const std::vector<RawEntry> entries = {
      {"good.txt", "fine"},
      {"../evil", "1"},
      {absolute, "2"},
      {"C:\\evil", "3"},
      {"\\\\server\\share\\evil", "4"},
      {"a/../../evil", "5"},
      {"..\\evil-backslash", "6"},
      {"innocent.txt", "7", 0100644, UnicodeNameExtra(u"../evil-unicode")},
      {"harmless.txt", "8", 0100644, UnicodePathExtra("harmless.txt", "../evil-upath")},
      {"link", "../../outside", 0120777},
      // Would land outside if the link above had been made.
      {"link/through-link.txt", "9"},
      {"sub/fine.txt", "also fine"},
  };
  WriteFile(Path("hostile.zip"), RawZip(entries));
  fs::create_directories(base);
  const Tree before = Snapshot(dir_);

  ZipArchiver archiver;
  Extract(archiver, Path("hostile.zip"), "jail/base");

  std::set<int> codes;
  for (const auto& failure : failures) codes.insert(failure.native_error);
  EXPECT_EQ(failures.size(), 9u) << "each escaping entry is reported";
  EXPECT_EQ(codes, (std::set<int>{kErrUnsafeName, kErrLinkNotExtracted}));
  Tree after = Snapshot(dir_);
  for (auto it = after.begin(); it != after.end();) {
    it = it->first.rfind("jail/base/", 0) == 0 ? after.erase(it) : std::next(it);
  }
  EXPECT_EQ(DiffTrees(before, after, kNamesAndContent), "") << "written outside the target folder";
  EXPECT_FALSE(fs::exists(Path("abs/evil")));
  EXPECT_EQ(ReadFile(base / "good.txt"), "fine");
  EXPECT_EQ(ReadFile(base / "sub/fine.txt"), "also fine");
  EXPECT_FALSE(fs::is_symlink(base / "link"));
}

// A Zip64 compressed size near 2^64 once made the sum of all sizes wrap to a small
// number, so overlapping entries passed as a sound directory.
TEST_F(DamagedArchiveTest, SizesThatWouldWrapMakeTheDirectoryDamaged) {
  const std::string data(100, 'x');
  WriteFile(Path("wrap.zip"),
            DeferToZip64(RawZip({{"a.txt", data, 0100644, Zip64Block({~uint64_t{0} - 49})},
                                 {"b.txt", data}}),
                         0, kCompressedSizeField));
  ZipArchiver strict;
  strict.OpenCorruptedArchives = false;
  strict.FileName = U(Path("wrap.zip"));
  try {
    strict.Open(fmOpenReadDenyNone);
    FAIL() << "opened as sound";
  } catch (const EArchiverError& error) {
    EXPECT_EQ(error.Code(), kErrArchiveDamagedSizes);
  }
  ZipArchiver scanning;
  Extract(scanning, Path("wrap.zip"));
  EXPECT_TRUE(scanning.OpenedByScan());
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(ReadFile(Path("out/b.txt")), data);
}

// Offsets no file can reach, or that wrap when the header is added, fail their own
// entry; the directory still lists and the other entries extract.
TEST_F(DamagedArchiveTest, EntryOffsetBeyondTheFileFailsOnlyThatEntry) {
  const uint64_t offsets[] = {uint64_t{1} << 63, ~uint64_t{0} - 15, 5000};
  for (const uint64_t offset : offsets) {
    SCOPED_TRACE(offset);
    const std::string name = "far" + std::to_string(offset) + ".zip";
    WriteFile(Path(name), DeferToZip64(RawZip({{"a.txt", "first"},
                                               {"far.txt", "far", 0100644, Zip64Block({offset})},
                                               {"c.txt", "last"}}),
                                       1, kOffsetField));
    failures.clear();
    ZipArchiver archiver;
    Extract(archiver, Path(name), "out" + std::to_string(offset));
    EXPECT_EQ(archiver.Count(), 3u);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].native_error, kErrInvalidCheckSum);
    EXPECT_EQ(failures[0].file_name, u"far.txt");
    EXPECT_EQ(ReadFile(Path("out" + std::to_string(offset) + "/c.txt")), "last");
  }
}

// Declared sizes, not real ones: the check comes before anything is written.
TEST_F(DamagedArchiveTest, ExtractionThatCannotFitFailsBeforeWriting) {
  WriteFile(Path("huge.zip"),
            DeferToZip64(RawZip({{"small.txt", "small"},
                                 {"huge.bin", "tiny", 0100644, Zip64Block({uint64_t{1} << 60})}}),
                         1, kUncompressedSizeField));
  ZipArchiver archiver;
  try {
    Extract(archiver, Path("huge.zip"));
    FAIL() << "extracted";
  } catch (const EArchiverError& error) {
    EXPECT_EQ(error.Code(), kErrNotEnoughSpace);
    EXPECT_TRUE(std::string(error.what()).starts_with("Not enough free disk space to extract into \"" +
                                                      Path("out").string() + "/\". 1152921504606846981 bytes needed, "))
        << error.what();
  }
  EXPECT_FALSE(fs::exists(Path("out")));
  archiver.FileMasks = {u"small.txt"};
  archiver.ExtractMatching();
  EXPECT_EQ(ReadFile(Path("out/small.txt")), "small");
}

// The fuzz seeds are small valid archives of every writer, and the regression inputs
// once crashed the reader; both run here under the sanitizers of the test build too.
TEST_F(DamagedArchiveTest, SeedAndRegressionInputsStayInsideTheTargetFolder) {
  int seen = 0;
  for (const fs::path& folder : {fs::path(KESTROVA_TEST_DATA) / "fuzz/zip_reader", fs::path(KESTROVA_REGRESSIONS)}) {
    if (!fs::exists(folder)) continue;
    const bool seeds = folder.filename() == "zip_reader";
    for (const auto& input : fs::directory_iterator(folder)) {
      SCOPED_TRACE(input.path().filename().string());
      // Hostile seeds are there to lead the fuzzer to the checks that refuse them.
      const bool sound = seeds && !input.path().filename().string().starts_with("hostile_");
      ++seen;
      fs::remove_all(Path("jail"));
      fs::create_directories(Path("jail/base"));
      ZipArchiver archiver;
      try {
        Extract(archiver, input.path(), "jail/base");
      } catch (const EArchiverError& error) {
        EXPECT_FALSE(sound) << error.what();
      }
      for (const auto& entry : fs::directory_iterator(Path("jail"))) {
        EXPECT_EQ(entry.path().filename(), "base") << "written outside the target folder";
      }
      for (const auto& failure : failures) {
        if (sound) {
          EXPECT_EQ(failure.native_error, kErrLinkNotExtracted) << failure.message;
        }
      }
      failures.clear();
    }
  }
  EXPECT_GE(seen, 5);
}

}  // namespace
}  // namespace kestrova::testing
