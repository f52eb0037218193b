#include "loader/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace jov {
namespace {

namespace fs = std::filesystem;
using test::Utf8Path;
using test::WriteFile;

class SystemFileSystemTest : public testing::Test {
 protected:
  std::vector<std::string> List() {
    auto listing = files_->ListInputs();
    if (!listing.ok()) {
      ADD_FAILURE() << ToUtf8(listing.error().text);
      return {};
    }
    std::vector<std::string> names;
    while (auto name = listing.value()->Next()) names.push_back(ToUtf8(*name));
    return names;
  }

  test::TempFolder folder_;
  test::ScopedWorkingDirectory cwd_{folder_.path()};
  std::unique_ptr<FileSystem> files_ = MakeSystemFileSystem();
};

TEST_F(SystemFileSystemTest, EmptyFolderListsNothing) { EXPECT_TRUE(List().empty()); }

TEST_F(SystemFileSystemTest, ListsOrdinaryFilesEndingInJovInAnyCase) {
  const std::string umlaut =
      "\xC3\x9C"
      "bung.jov";  // Übung.jov
  std::vector<std::string> listed = {"Unit 3 Review.jov", "Z.jov",     "a.JOV", "b.Jov",
                                     "read only.jov",     "x.jov.jov", umlaut};
  for (const char* name : {"x.jovx", "notes.jovx", "x.jo", "jov", "xjov", "x.jov.txt"}) {
    WriteFile(folder_ / name, "not an input");
  }
  fs::create_directory(folder_ / "d.jov");
  fs::create_directory(folder_ / "E.JOV");
  for (const auto& name : listed) WriteFile(folder_ / Utf8Path(name), "input");
  fs::permissions(folder_ / "read only.jov", fs::perms::owner_read);

#ifdef _WIN32
  // Names that reach the wildcard only through an 8.3 short name (notes.jovx
  // as NOTES~1.JOV) must not come back, whether or not short names exist.
  for (const auto& [name, attribute] : {std::pair{L"hidden.jov", FILE_ATTRIBUTE_HIDDEN},
                                        std::pair{L"system.jov", FILE_ATTRIBUTE_SYSTEM}}) {
    WriteFile(folder_ / name, "not an input");
    ASSERT_TRUE(::SetFileAttributesW((folder_ / name).c_str(), attribute));
  }
  std::vector<std::string> names = List();
  std::sort(names.begin(), names.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(names, listed);
#else
  // Dot-files are hidden; links count as what they lead to.
  for (const char* name : {".hidden.jov", ".jov"}) WriteFile(folder_ / name, "not an input");
  WriteFile(folder_ / "target.txt", "input");
  fs::create_symlink("target.txt", folder_ / "link.jov");
  fs::create_symlink("nowhere", folder_ / "dangling.jov");
  fs::create_directory_symlink("d.jov", folder_ / "folder link.jov");
  // Byte order, capitals first, not the order of case-blind sorting.
  EXPECT_EQ(List(), (std::vector<std::string>{"Unit 3 Review.jov", "Z.jov", "a.JOV", "b.Jov",
                                              "link.jov", "read only.jov", "x.jov.jov", umlaut}));
#endif
}

TEST_F(SystemFileSystemTest, RemoveFileTellsRemovedGoneAndFailedApart) {
  const struct {
    const char* label;
    void (*arrange)(const fs::path& target);
    RemoveOutcome outcome;
    bool remains;
  } cases[] = {
      {"ordinary file", [](const fs::path& t) { WriteFile(t, "x"); }, RemoveOutcome::kRemoved,
       false},
      {"no such file", [](const fs::path&) {}, RemoveOutcome::kAlreadyGone, false},
      // Fails for every user, root included.
      {"folder of that name",
       [](const fs::path& t) {
         fs::create_directory(t);
         WriteFile(t / "inside", "x");
       },
       RemoveOutcome::kFailed, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const fs::path target = folder_ / "a_flex.cdi";
    c.arrange(target);
    const RemoveResult result = files_->RemoveFile(FromAscii("a_flex.cdi"));
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.error.text.empty(), c.outcome != RemoveOutcome::kFailed);
    EXPECT_EQ(fs::exists(target), c.remains);
    fs::remove_all(target);
  }
}

}  // namespace
}  // namespace jov
