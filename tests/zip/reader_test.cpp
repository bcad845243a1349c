// Opening archives written by other tools, behind prefixes, with comments, Zip64
// records or a damaged directory.
#include "base/text.h"
#include "zip_test_support.h"

namespace kestrova::testing {
namespace {

class ReaderTest : public ZipTest {
 protected:
  // A small tree with a compressible file, a binary, an empty file and an executable.
  void MakeTree(const std::string& folder) {
    Make(folder + "/text.txt", CompressibleText(200000));
    Make(folder + "/bin/random.bin", RandomBytes(70000));
    Make(folder + "/bin/empty", "");
    Make(folder + "/run.sh", "#!/bin/sh\necho run\n");
    fs::permissions(Path(folder + "/run.sh"), fs::perms::owner_exec, fs::perm_options::add);
  }
  void ExpectSameTree(const std::string& a, const std::string& b) {
    std::string diff;
    EXPECT_EQ(Shell("diff -r " + Quote(Path(a)) + " " + Quote(Path(b)), &diff), 0) << diff;
  }
};

TEST_F(ReaderTest, InfoZipArchivesExtract) {
  MakeTree("tree");
  ASSERT_EQ(Shell("cd " + Quote(Path("tree")) + " && zip -qr ../plain.zip ."), 0);
  // Written to a pipe, zip cannot seek back and puts sizes in data descriptors.
  ASSERT_EQ(Shell("cd " + Quote(Path("tree")) + " && zip -qr - . | cat > ../piped.zip"), 0);
  for (const std::string name : {"plain", "piped"}) {
    EXPECT_TRUE(ExtractAll(Path(name + ".zip"), Path(name)).empty()) << name;
    ExpectSameTree("tree", name);
    EXPECT_NE(fs::status(Path(name + "/run.sh")).permissions() & fs::perms::owner_exec, fs::perms::none);
  }
}

TEST_F(ReaderTest, Zip64RecordsAreRead) {
  MakeTree("tree");
  // Lowering the limit makes python write Zip64 extras and end records for small data.
  const std::string script = R"(
import os, sys, zipfile
zipfile.ZIP64_LIMIT = 16
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    for root, dirs, files in os.walk(sys.argv[2]):
        for name in sorted(files):
            path = os.path.join(root, name)
            z.write(path, os.path.relpath(path, sys.argv[2]))
)";
  ASSERT_EQ(RunPython(dir_, script, Quote(Path("z64.zip")) + " " + Quote(Path("tree"))), 0);
  ASSERT_NE(ReadFile(Path("z64.zip")).find(std::string("PK\x06\x06", 4)), std::string::npos);
  ZipArchiver archiver;
  archiver.FileName = U(Path("z64.zip"));
  archiver.Open(fmOpenReadDenyNone);
  EXPECT_EQ(archiver.Count(), 4u);
  bool any_zip64 = false;
  for (const auto& item : archiver.Items()) any_zip64 |= item.zip64;
  EXPECT_TRUE(any_zip64);
  archiver.Close();
  EXPECT_TRUE(ExtractAll(Path("z64.zip"), Path("out")).empty());
  EXPECT_EQ(ReadFile(Path("out/text.txt")), ReadFile(Path("tree/text.txt")));
  EXPECT_EQ(ReadFile(Path("out/bin/random.bin")), ReadFile(Path("tree/bin/random.bin")));
}

TEST_F(ReaderTest, PrefixedArchiveOpensWithCorrectedOffsets) {
  MakeTree("tree");
  ASSERT_EQ(Shell("cd " + Quote(Path("tree")) + " && zip -qr ../plain.zip ."), 0);
  const std::string prefix = "#!/bin/sh\nexit 0\n" + RandomBytes(5000, 3);
  WriteFile(Path("prefixed.zip"), prefix + ReadFile(Path("plain.zip")));
  ZipArchiver archiver;
  archiver.FileName = U(Path("prefixed.zip"));
  archiver.Open(fmOpenReadDenyNone);
  EXPECT_EQ(archiver.PrefixLength(), prefix.size());
  archiver.Close();
  EXPECT_TRUE(ExtractAll(Path("prefixed.zip"), Path("out")).empty());
  ExpectSameTree("tree", "out");
}

TEST_F(ReaderTest, CommentsDoNotHideTheEndRecord) {
  Make("tree/a.txt", "entry");
  // A longest comment, and one holding a fake end record whose comment length does
  // not reach the end of the file.
  std::string fake("PK\x05\x06", 4);
  fake += std::string(4, '\0');                   // disk numbers
  fake += std::string("\x07\x00\x07\x00", 4);     // entries
  fake += std::string(8, '\0');                   // directory size and offset
  fake += std::string("\x05\x00", 2);             // a comment length that is wrong
  fake += "tail of the comment";
  const std::string script = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.writestr('a.txt', 'entry')
    z.comment = open(sys.argv[2], 'rb').read()
)";
  WriteFile(Path("long.txt"), std::string(65535, 'c'));
  WriteFile(Path("fake.txt"), fake);
  ASSERT_EQ(RunPython(dir_, script, Quote(Path("long.zip")) + " " + Quote(Path("long.txt"))), 0);
  ASSERT_EQ(RunPython(dir_, script, Quote(Path("fake.zip")) + " " + Quote(Path("fake.txt"))), 0);
  for (const auto& [name, comment] : {std::pair{"long.zip", std::string(65535, 'c')}, std::pair{"fake.zip", fake}}) {
    ZipArchiver archiver;
    archiver.FileName = U(Path(name));
    archiver.Open(fmOpenReadDenyNone);
    EXPECT_FALSE(archiver.OpenedByScan()) << name;
    ASSERT_EQ(archiver.Count(), 1u) << name;
    EXPECT_EQ(archiver.Items()[0].name, u"a.txt");
    EXPECT_EQ(archiver.Comment(), comment) << name;
  }
}

TEST_F(ReaderTest, ArchiveWithoutDirectoryIsRebuiltByScanning) {
  MakeTree("tree");
  ASSERT_EQ(Shell("cd " + Quote(Path("tree")) + " && zip -qr ../plain.zip ."), 0);
  ASSERT_EQ(Shell("cd " + Quote(Path("tree")) + " && zip -qr - . | cat > ../piped.zip"), 0);
  ZipArchiver archiver;
  for (const std::string name : {"plain", "piped"}) {
    const std::string bytes = ReadFile(Path(name + ".zip"));
    const size_t directory = bytes.find(std::string("PK\x01\x02", 4));
    WriteFile(Path("cut.zip"), bytes.substr(0, directory + 60));
    archiver.FileName = U(Path("cut.zip"));
    archiver.Open(fmOpenReadDenyNone);
    EXPECT_TRUE(archiver.OpenedByScan());
    archiver.Close();
    EXPECT_TRUE(ExtractAll(Path("cut.zip"), Path(name)).empty()) << name;
    ExpectSameTree("tree", name);
  }

  archiver.OpenCorruptedArchives = false;
  try {
    archiver.Open(fmOpenReadDenyNone);
    FAIL() << "opened";
  } catch (const EArchiverError& error) {
    EXPECT_EQ(error.Code(), 48);
    EXPECT_STREQ(error.what(), "Archive is damaged. Open failed - Native error: 00048");
  }
}

TEST_F(ReaderTest, OpenFailuresRaiseTheirErrors) {
  const auto code_of = [](const std::function<void()>& action) {
    try {
      action();
    } catch (const EArchiverError& error) {
      return error.Code();
    }
    return 0;
  };
  ZipArchiver archiver;
  EXPECT_EQ(code_of([&] { archiver.Open(); }), 9);
  archiver.FileName = U(Path("missing.zip"));
  EXPECT_EQ(code_of([&] { archiver.Open(fmOpenReadDenyNone); }), 12);
  EXPECT_EQ(code_of([&] { archiver.ExtractMatching(); }), 13);
  WriteFile(Path("noise.zip"), RandomBytes(10000, 9));
  archiver.FileName = U(Path("noise.zip"));
  EXPECT_EQ(code_of([&] { archiver.Open(); }), 35);
  EXPECT_FALSE(archiver.Active());

  archiver.FileName = U(Path("new.zip"));
  archiver.Open();
  archiver.BeginUpdate();
  EXPECT_EQ(code_of([&] { archiver.ExtractMatching(); }), 26);
  archiver.EndUpdate();
}

TEST_F(ReaderTest, OemNamesFromDosArchivesAreDecoded) {
  // A name in code page 437 without the UTF-8 mark, as DOS-era archivers wrote it.
  const std::string script = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.writestr(zipfile.ZipInfo('@@@'), 'dos')
data = open(sys.argv[1], 'rb').read().replace(b'@@@', b'\x81@@')
open(sys.argv[1], 'wb').write(bytes(data))
)";
  ASSERT_EQ(RunPython(dir_, script, Quote(Path("dos.zip"))), 0);
  ZipArchiver archiver;
  archiver.FileName = U(Path("dos.zip"));
  archiver.Open(fmOpenReadDenyNone);
  ASSERT_EQ(archiver.Count(), 1u);
  EXPECT_EQ(archiver.Items()[0].name, u"\u00FC@@");
}

}  // namespace
}  // namespace kestrova::testing
