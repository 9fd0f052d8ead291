// The rewrite pass: byte-exact copies, line pieces, and every failure path with the
// files it leaves behind.
#include "list/rewrite_list.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "list/append_list_url.h"
#include "list/list_test_home.h"
#include "list/select_next_entry.h"
#include "list/write_entry_result.h"
#include "platform/files.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;

// Records the list's file operations in order and does each as the system does, except
// a flush when told to fail it.
class RecordingFiles : public platform::FileService {
 public:
  RecordingFiles() { platform::SetFileService(this); }
  ~RecordingFiles() override { platform::SetFileService(nullptr); }
  bool Write(std::FILE* s, std::string_view bytes) override {
    return Record("write") && FileService::Write(s, bytes);
  }
  bool Flush(std::FILE* s) override { return Record("flush") && !fail_flush && FileService::Flush(s); }
  bool Rename(const std::wstring& from, const std::wstring& to) override {
    return Record("rename") && FileService::Rename(from, to);
  }
  bool FlushFolder(const std::wstring& folder) override {
    return Record("flush folder") && FileService::FlushFolder(folder);
  }
  bool Remove(const std::wstring& path) override {
    return Record("delete") && FileService::Remove(path);
  }
  std::vector<std::string> ops;
  bool fail_flush = false;

 private:
  bool Record(const char* op) {
    ops.push_back(op);
    return true;
  }
};

class RewriteListTest : public test::ListTest {
 protected:
  // A pass that marks every line reading "x" with 600 after running before on it.
  ResultCode MarkX(const RewriteCodes& codes, std::function<void()> before = [] {}) {
    return RewriteList(
        [&](const ListLine& line) {
          before();
          return line.parse() == L"x" ? LineEdit::Mark(600, 0) : LineEdit::Keep();
        },
        codes);
  }
};

TEST_F(RewriteListTest, PassKeepsEveryByteItDoesNotChange) {
  // CR LF, a zero byte, bytes that are no text, a note longer than one piece and a last
  // line without its line feed.
  const std::string middle = std::string("note\0zero\n", 10) + "\xff\xfe\n" +
                             std::string(7000, 'n') + "\n\n";
  WriteList("x\r\n" + middle + "x");
  ASSERT_EQ(MarkX(kWriteBackCodes), rc::kWriteDone);
  EXPECT_EQ(List(), "600|x\r\n" + middle + "600|x");
  EXPECT_TRUE(NoWorkingCopies());

  WriteList("");
  ASSERT_EQ(MarkX(kSelectionCodes), rc::kSelectDone);
  EXPECT_TRUE(fs::exists(ListFile()));
  EXPECT_EQ(List(), "");

  // A byte-order mark an editor put first stays first, before the new status.
  WriteList("\xEF\xBB\xBFx\n");
  ASSERT_EQ(MarkX(kWriteBackCodes), rc::kWriteDone);
  EXPECT_EQ(List(), "\xEF\xBB\xBF" "600|x\n");
}

TEST_F(RewriteListTest, LinesArePiecesOfAtMost6692Bytes) {
  WriteList(std::string(6691, 'a') + "\n" + std::string(6692, 'b') + "\n" +
            std::string(6697, 'c') + "\n");
  std::vector<std::pair<std::size_t, bool>> pieces;
  ASSERT_EQ(RewriteList(
                [&](const ListLine& l) {
                  pieces.emplace_back(l.bytes().size(), l.starts_line());
                  return LineEdit::Keep();
                },
                kWriteBackCodes),
            rc::kWriteDone);
  const std::vector<std::pair<std::size_t, bool>> expected = {
      {6692, true}, {6692, true}, {1, false}, {6692, true}, {6, false}};
  EXPECT_EQ(pieces, expected);
}

TEST_F(RewriteListTest, OverLongLineSurvivesEvenWhenItsRestLooksLikeAUrl) {
  // The rest of this line begins with a URL at byte 6692: no status may land inside it.
  const std::string line = std::string(6692, '-') + "http://h/rest.zip\n";
  WriteList(line + "http://h/next.zip\n");
  SelectedEntry entry;
  ASSERT_EQ(SelectNextEntry(&entry), rc::kSelectDone);
  EXPECT_EQ(entry.url, L"http://h/next.zip");
  ASSERT_EQ(WriteEntryResult(L"http://h/rest.zip", 900), rc::kWriteDone);
  EXPECT_EQ(List(), line + "899|http://h/next.zip\n");

  // An entry whose options run past one piece is chosen and marked at its start.
  const std::string cookie_line = "http://h/c.zip|Cookie=" + std::string(7000, 'k') + "\n";
  WriteList(cookie_line);
  entry = {};
  ASSERT_EQ(SelectNextEntry(&entry), rc::kSelectDone);
  EXPECT_EQ(entry.cookie.size(), 4096u);
  EXPECT_EQ(List(), "899|" + cookie_line);

  // A URL cut by the piece boundary ("http://h/fi") is no URL of the line.
  const std::string cut_line = std::string(6680, 'a') + "|http://h/file.zip\n";
  WriteList(cut_line);
  entry = {};
  ASSERT_EQ(SelectNextEntry(&entry), rc::kSelectDone);
  EXPECT_EQ(entry.url, L"");
  ASSERT_EQ(WriteEntryResult(L"http://h/fi", 900), rc::kWriteDone);
  EXPECT_EQ(List(), cut_line);
}

TEST_F(RewriteListTest, PassKeepsPermissionsOwnerAndLink) {
  const auto rw_r = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  WriteList("x\n");
  fs::permissions(ListFile(), fs::perms::owner_read | fs::perms::owner_write);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(ListFile().c_str(), 4321, 4321), 0);
  }
  ASSERT_EQ(MarkX(kWriteBackCodes), rc::kWriteDone);
  struct stat st {};
  ASSERT_EQ(stat(ListFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(st.st_uid, 4321u);
  }

  // A linked list stays a link and its target gets the new content, whether the target
  // lies beside it or on another file system (where it is copied, then renamed).
  const fs::path other = fs::path("/dev/shm") / ("zenpo-test-" + std::to_string(getpid()));
  for (const fs::path& dir : {home_ / "real", other}) {
    if (!fs::create_directory(dir)) continue;
    test::WriteFile(dir / "list.txt", "x\n");
    fs::permissions(dir / "list.txt", rw_r);
    fs::remove(ListFile());
    fs::create_symlink(dir / "list.txt", ListFile());
    ASSERT_EQ(MarkX(kWriteBackCodes), rc::kWriteDone) << dir;
    EXPECT_TRUE(fs::is_symlink(ListFile()));
    EXPECT_EQ(test::ReadFile(dir / "list.txt"), "600|x\n");
    EXPECT_EQ(fs::status(dir / "list.txt").permissions(), rw_r);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    EXPECT_TRUE(NoWorkingCopies());
    fs::remove_all(dir);
  }
}

TEST_F(RewriteListTest, NewListIsOnTheDiskBeforeTheOldOneGoes) {
  WriteList("x\n");
  RecordingFiles files;
  ASSERT_EQ(MarkX(kWriteBackCodes), rc::kWriteDone);
  ASSERT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteDone);
  const std::vector<std::string> expected = {
      "rename", "write", "flush", "rename", "flush folder", "delete",  // the pass
      "rename", "write", "flush", "rename"};                           // the append
  EXPECT_EQ(files.ops, expected);

  // A new list that may not be on the disk never replaces the old one.
  files.fail_flush = true;
  EXPECT_EQ(MarkX(kWriteBackCodes), rc::kWriteWriteFailed);
  EXPECT_EQ(List(), "600|x\nhttp://h/f.zip\n");
  EXPECT_FALSE(fs::exists(LockFile()));
}

TEST_F(RewriteListTest, ListInUseOrMissingChangesNothing) {
  SelectedEntry entry;
  EXPECT_EQ(SelectNextEntry(&entry), rc::kSelectInUse);
  EXPECT_EQ(WriteEntryResult(L"http://h/f.zip", 900), rc::kWriteInUse);
  EXPECT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteInUse);
  EXPECT_FALSE(fs::exists(ListFile()));  // nothing creates the list

  // A leftover lock name blocks the list the same way, and in use is never shown.
  WriteList("http://h/f.zip\n");
  test::WriteFile(LockFile(), "old\n");
  EXPECT_EQ(SelectNextEntry(&entry), rc::kSelectInUse);
  EXPECT_EQ(WriteEntryResult(L"http://h/f.zip", 900), rc::kWriteInUse);
  EXPECT_EQ(AppendListUrl(L"http://h/g.zip"), rc::kWriteInUse);
  EXPECT_EQ(List(), "http://h/f.zip\n");
  EXPECT_EQ(test::ReadFile(LockFile()), "old\n");
  EXPECT_TRUE(Boxes().empty());

  // A leftover new list is truncated by the next pass and does no harm.
  fs::remove(LockFile());
  test::WriteFile(NewFile(), "stale\n");
  EXPECT_EQ(SelectNextEntry(&entry), rc::kSelectDone);
  EXPECT_EQ(List(), "899|http://h/f.zip\n");
  EXPECT_TRUE(NoWorkingCopies());
}

TEST_F(RewriteListTest, EarlyFailuresPutTheUnchangedListBack) {
  struct Case {
    std::function<void()> provoke;
    ResultCode selection, write_back;
    std::wstring selection_box, write_back_box;
  };
  const Case cases[] = {
      // The new list cannot be created: a directory stands in its place.
      {[&] { fs::create_directory(NewFile()); }, 110, 150,
       L"listfileの初期化でerrorが発生しました", L"listfileの初期化でerrorが発生しました"},
      // The list cannot be read: it is a directory.
      {[&] { fs::remove(ListFile()), fs::create_directory(ListFile()); }, 111, 151,
       L"listfileのopenでerrorが発生しました", L"listfileの書込openでerrorが発生しました"},
      // The disk is full while the new list is written: a cut copy must not win.
      {[&] { fs::create_symlink("/dev/full", NewFile()); }, 112, 152,
       L"listfileの書込でerrorが発生しました", L"listfileの書込でerrorが発生しました"},
  };
  const std::string list = "note\n600|http://h/f.zip\n";
  for (const Case& c : cases) {
    for (bool selection : {true, false}) {
      WriteList(list);
      c.provoke();
      SelectedEntry entry;
      const ResultCode code =
          selection ? SelectNextEntry(&entry) : WriteEntryResult(L"http://h/f.zip", 900);
      EXPECT_EQ(code, selection ? c.selection : c.write_back);
      EXPECT_TRUE(entry.url.empty());
      EXPECT_FALSE(fs::exists(LockFile()));
      if (fs::is_regular_file(ListFile())) {
        EXPECT_EQ(List(), list);
      }
      ASSERT_FALSE(Boxes().empty());
      EXPECT_EQ(Boxes().back(), selection ? c.selection_box : c.write_back_box);
      fs::remove_all(ListFile());
      fs::remove_all(NewFile());
    }
  }
  EXPECT_NE(Log().find("listfileの書込でerrorが発生しました"), std::string::npos);
}

TEST_F(RewriteListTest, LateFailuresLeaveTheCopiesAsTheyAreAndBlockTheList) {
  for (const RewriteCodes* codes : {&kSelectionCodes, &kWriteBackCodes}) {
    // Someone puts a directory where the new list must go while the pass runs: both
    // copies stay under their working names.
    WriteList("x\n");
    EXPECT_EQ(MarkX(*codes, [&] { fs::create_directory(ListFile()); }), codes->release);
    EXPECT_EQ(test::ReadFile(LockFile()), "x\n");
    EXPECT_EQ(test::ReadFile(NewFile()), "600|x\n");
    EXPECT_EQ(Boxes().back(), L"listfileの書込ロック解除でerrorが発生しました");
    EXPECT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteInUse);
    fs::remove(ListFile());
    fs::remove(LockFile());
    fs::remove(NewFile());

    // The old copy turns into something that cannot be deleted as a file: the new list
    // is in place, yet the leftover blocks every party.
    WriteList("x\n");
    EXPECT_EQ(MarkX(*codes, [&] { fs::remove(LockFile()), fs::create_directory(LockFile()); }),
              codes->remove);
    EXPECT_EQ(List(), "600|x\n");
    EXPECT_FALSE(fs::exists(NewFile()));
    EXPECT_EQ(Boxes().back(), L"TempFile削除でerrorが発生しました");
    SelectedEntry entry;
    EXPECT_EQ(SelectNextEntry(&entry), rc::kSelectInUse);
    fs::remove(LockFile());
  }
}

TEST_F(RewriteListTest, UnusableLogTurnsEveryOutcomeInto102) {
  // In use is reported at level 2: with loglevel 2 its report fails too.
  home_.LoadSettingsText("loglevel=2\n");
  BreakLog();
  SelectedEntry entry;
  EXPECT_EQ(SelectNextEntry(&entry), rc::kLogUnusable);

  // A chosen entry is marked and handed out even when its report fails.
  home_.LoadSettingsText("");
  BreakLog();
  WriteList("http://h/f.zip\n");
  EXPECT_EQ(SelectNextEntry(&entry), rc::kLogUnusable);
  EXPECT_EQ(entry.url, L"http://h/f.zip");
  EXPECT_EQ(List(), "899|http://h/f.zip\n");
  EXPECT_EQ(Boxes().back(), ProgramPaths.LogPath);
}

}  // namespace
}  // namespace zenpo
