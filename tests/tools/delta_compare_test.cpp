// What a delta release carries for each way a file or folder changes between releases.
#include <gtest/gtest.h>

#include "delta_compare.h"

namespace kestrova {
namespace {

TReleaseEntry File(const char* sha256, uint32_t mode = 0644) { return {false, mode, sha256}; }
TReleaseEntry Folder(uint32_t mode = 0755) { return {true, mode, {}}; }

using Names = std::vector<std::string>;
using BaseFiles = std::vector<std::pair<std::string, std::string>>;

TEST(DeltaCompare, BringsWhatChangedAndNamesWhatItReplacesOrDeletes) {
  const struct {
    const char* change;
    TReleaseInventory base, release;
    Names brought, removed_files, removed_folders;
    BaseFiles base_files;
  } rows[] = {
      {"nothing", {{"a", File("1")}}, {{"a", File("1")}}, {}, {}, {}, {}},
      {"content", {{"a", File("1")}}, {{"a", File("2")}}, {"a"}, {}, {}, {{"a", "1"}}},
      {"mode only", {{"a", File("1")}}, {{"a", File("1", 0755)}}, {"a"}, {}, {}, {{"a", "1"}}},
      {"added in a new folder", {}, {{"d", Folder()}, {"d/a", File("1")}}, {"d", "d/a"}, {}, {}, {}},
      {"removed file", {{"a", File("1")}, {"b", File("2")}}, {{"b", File("2")}}, {}, {"a"}, {}, {{"a", "1"}}},
      {"removed folder tree",
       {{"d", Folder()}, {"d/e", Folder()}, {"d/e/a", File("1")}, {"k", File("2")}},
       {{"k", File("2")}},
       {}, {}, {"d"}, {{"d/e/a", "1"}}},
      {"file became a folder", {{"x", File("1")}}, {{"x", Folder()}, {"x/a", File("2")}}, {"x", "x/a"}, {"x"}, {},
       {{"x", "1"}}},
      {"folder became a file", {{"x", Folder()}, {"x/a", File("1")}}, {{"x", File("2")}}, {"x"}, {}, {"x"},
       {{"x/a", "1"}}},
      {"folder mode", {{"d", Folder(0700)}}, {{"d", Folder(0755)}}, {"d"}, {}, {}, {}},
  };
  for (const auto& row : rows) {
    const TReleaseDelta delta = CompareReleases(row.base, row.release);
    EXPECT_EQ(delta.brought, row.brought) << row.change;
    EXPECT_EQ(delta.removed_files, row.removed_files) << row.change;
    EXPECT_EQ(delta.removed_folders, row.removed_folders) << row.change;
    EXPECT_EQ(delta.base_files, row.base_files) << row.change;
  }
}

}  // namespace
}  // namespace kestrova
