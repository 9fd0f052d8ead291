// The list: rewrite passes and their failures, selection, write-back, appends, the job thread.
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "list/append_list_url.h"
#include "list/job_thread.h"
#include "list/rewrite_list.h"
#include "list/select_next_entry.h"
#include "list/write_entry_result.h"
#include "platform/files.h"
#include "runtime/run_flags.h"
#include "runtime/window_messages.h"
#include "support/fake_window.h"
#include "support/program_home.h"
#include "support/recording_message_box.h"

namespace zenpo {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

class ListTest : public ::testing::Test {
 protected:
  fs::path ListFile() const { return home_ / "ZENPO.txt"; }
  fs::path LockFile() const { return home_ / "!ZENPO.txt"; }
  fs::path NewFile() const { return home_ / "!!ZENPO.txt"; }
  void WriteList(const std::string& bytes) const { test::WriteFile(ListFile(), bytes); }
  std::string List() const { return test::ReadFile(ListFile()); }
  bool NoWorkingCopies() const { return !fs::exists(LockFile()) && !fs::exists(NewFile()); }
  SelectedEntry Select() {
    SelectedEntry e;
    EXPECT_EQ(SelectNextEntry(&e), rc::kSelectDone);
    return e;
  }
  // Marks every line reading "x" with 600, running before on each line first.
  ResultCode MarkX(const RewriteCodes& codes, std::function<void()> before = [] {}) {
    return RewriteList([&](const ListLine& line) {
      before();
      return line.parse() == L"x" ? LineEdit::Mark(600, 0) : LineEdit::Keep();
    }, codes);
  }
  test::ProgramHome home_;
  test::RecordingMessageBox boxes_;
};

TEST_F(ListTest, PassKeepsEveryByteItDoesNotChange) {
  // CR LF, a zero byte, bytes of no text, notes over one piece (6692 bytes), no last line feed.
  const std::string middle = std::string("note\0zero\n", 10) + "\xff\xfe\n" + std::string(6692, 'n') +
                             "\n" + std::string(6697, 'c') + "\n\n";
  WriteList("x\r\n" + middle + "x");
  ASSERT_EQ(MarkX(kWriteBackCodes), rc::kWriteDone);
  EXPECT_EQ(List(), "600|x\r\n" + middle + "600|x");
  EXPECT_TRUE(NoWorkingCopies());
  // The rest of a long line begins with a URL at byte 6692: no status lands inside it.
  const std::string line = std::string(6692, '-') + "http://h/rest.zip\n";
  WriteList(line + "http://h/next.zip|Cookie=" + std::string(7000, 'k') + "\n");
  EXPECT_EQ(Select().url, L"http://h/next.zip");
  ASSERT_EQ(WriteEntryResult(L"http://h/rest.zip", 900), rc::kWriteDone);
  EXPECT_EQ(List(), line + "899|http://h/next.zip|Cookie=" + std::string(7000, 'k') + "\n");
  // A URL cut by the piece boundary ("http://h/fi") is no URL of the line.
  const std::string cut_line = std::string(6680, 'a') + "|http://h/file.zip\n";
  WriteList(cut_line);
  EXPECT_EQ(Select().url, L"");
  ASSERT_EQ(WriteEntryResult(L"http://h/fi", 900), rc::kWriteDone);
  EXPECT_EQ(List(), cut_line);
  // A byte-order mark an editor put first stays first, before the new status.
  WriteList("\xEF\xBB\xBFx\n");
  ASSERT_EQ(MarkX(kWriteBackCodes), rc::kWriteDone);
  EXPECT_EQ(List(), "\xEF\xBB\xBF" "600|x\n");
}

TEST_F(ListTest, PassKeepsPermissionsAndLink) {
  const auto rw_r = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  WriteList("x\n");
  fs::permissions(ListFile(), rw_r);
  ASSERT_EQ(MarkX(kWriteBackCodes), rc::kWriteDone);
  EXPECT_EQ(fs::status(ListFile()).permissions(), rw_r);
  // A linked list stays a link, also to another file system (copied there, then renamed).
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
    EXPECT_TRUE(NoWorkingCopies());
    fs::remove_all(dir);
  }
}

class RecordingFiles : public platform::FileService {
 public:
  RecordingFiles() { platform::SetFileService(this); }
  ~RecordingFiles() override { platform::SetFileService(nullptr); }
  bool Flush(std::FILE* s) override { return Record("flush") && !fail_flush && FileService::Flush(s); }
  bool Rename(const std::wstring& a, const std::wstring& b) override { return Record("rename") && FileService::Rename(a, b); }
  bool FlushFolder(const std::wstring& folder) override { return Record("flush folder") && FileService::FlushFolder(folder); }
  bool Remove(const std::wstring& path) override { return Record("delete") && FileService::Remove(path); }
  std::vector<std::string> ops;
  bool fail_flush = false;
  bool Record(const char* op) { return ops.push_back(op), true; }
};

TEST_F(ListTest, NewListIsOnTheDiskBeforeTheOldOneGoes) {
  WriteList("x\n");
  RecordingFiles files;
  ASSERT_EQ(MarkX(kWriteBackCodes), rc::kWriteDone);
  ASSERT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteDone);
  const std::vector<std::string> expected = {
      "rename", "flush", "rename", "flush folder", "delete",  // the pass
      "rename", "flush", "rename"};                           // the append
  EXPECT_EQ(files.ops, expected);
  // A new list that may not be on the disk never replaces the old one.
  files.fail_flush = true;
  EXPECT_EQ(MarkX(kWriteBackCodes), rc::kWriteWriteFailed);
  EXPECT_EQ(List(), "600|x\nhttp://h/f.zip\n");
  EXPECT_FALSE(fs::exists(LockFile()));
}

TEST_F(ListTest, ListInUseOrMissingChangesNothingAndIsNeverShown) {
  SelectedEntry entry;
  EXPECT_EQ(SelectNextEntry(&entry), rc::kSelectInUse);
  EXPECT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteInUse);
  EXPECT_TRUE(!fs::exists(ListFile()) && boxes_.texts().empty()) << "nothing creates the list or shows a box";
  WriteList("http://h/f.zip\n");
  test::WriteFile(NewFile(), "stale\n");  // a leftover new list is truncated and does no harm
  Select();
  EXPECT_EQ(List(), "899|http://h/f.zip\n");
}

TEST_F(ListTest, FailuresPutTheListBackOrLeaveBothCopiesBlockingTheList) {
  struct Case {
    std::function<void()> provoke;
    ResultCode selection, write_back;
    std::wstring box;
  } cases[] = {
      {[&] { fs::create_directory(NewFile()); }, 110, 150, L"listfileの初期化でerrorが発生しました"},
      {[&] { fs::remove(ListFile()), fs::create_directory(ListFile()); }, 111, 151, L"listfileの"},
      {[&] { fs::create_symlink("/dev/full", NewFile()); }, 112, 152, L"listfileの書込でerrorが発生しました"},
  };
  const std::string list = "note\n600|http://h/f.zip\n";
  for (const Case& c : cases) {
    for (bool selection : {true, false}) {
      WriteList(list);
      c.provoke();
      SelectedEntry entry;
      EXPECT_EQ(selection ? SelectNextEntry(&entry) : WriteEntryResult(L"http://h/f.zip", 900),
                selection ? c.selection : c.write_back);
      EXPECT_TRUE(entry.url.empty() && !fs::exists(LockFile()));
      EXPECT_TRUE(!fs::is_regular_file(ListFile()) || List() == list);
      EXPECT_TRUE(!boxes_.texts().empty() && boxes_.texts().back().starts_with(c.box));
      for (const fs::path& p : {ListFile(), NewFile()}) fs::remove_all(p);
    }
  }
  for (const RewriteCodes* codes : {&kSelectionCodes, &kWriteBackCodes}) {
    // A directory where the new list must go: both copies stay under their working names.
    WriteList("x\n");
    EXPECT_EQ(MarkX(*codes, [&] { fs::create_directory(ListFile()); }), codes->release);
    EXPECT_EQ(test::ReadFile(LockFile()) + test::ReadFile(NewFile()), "x\n600|x\n");
    EXPECT_EQ(boxes_.texts().back(), L"listfileの書込ロック解除でerrorが発生しました");
    EXPECT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteInUse);
    for (const fs::path& p : {ListFile(), LockFile(), NewFile()}) fs::remove(p);
    // The old copy cannot be deleted: the new list is in place, yet the leftover blocks all.
    WriteList("x\n");
    EXPECT_EQ(MarkX(*codes, [&] { fs::remove(LockFile()), fs::create_directory(LockFile()); }), codes->remove);
    EXPECT_EQ(List(), "600|x\n");
    EXPECT_EQ(boxes_.texts().back(), L"TempFile削除でerrorが発生しました");
    EXPECT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteInUse);
    fs::remove(LockFile());
  }
}

// Appends by hand (`echo URL >> ZENPO.txt`) while a party holds the list: each creates a
// fresh list file just before the held list would take the name back.
class HandAppends : public platform::FileService {
 public:
  HandAppends(fs::path list, int count) : list_(std::move(list)), count_(count) { platform::SetFileService(this); }
  ~HandAppends() override { platform::SetFileService(nullptr); }
  bool Rename(const std::wstring& from, const std::wstring& to) override {
    if (to == list_.wstring() && from.ends_with(L"ZENPO.txt") && made_ < count_) {
      std::ofstream(list_, std::ios::binary | std::ios::app) << (made_ == 0 ? "\xEF\xBB\xBF" : "")
                                                             << "http://h/hand" << made_ << ".zip\n";
      ++made_;
    }
    return FileService::Rename(from, to);
  }
  fs::path list_;
  int count_, made_ = 0;
};

TEST_F(ListTest, LinesAppendedByHandDuringAPassFollowTheListsOwnLines) {
  const std::function<ResultCode()> parties[] = {
      [&] { SelectedEntry e; return SelectNextEntry(&e) == rc::kSelectDone ? rc::kWriteDone : rc::kWriteInUse; },
      [&] { return WriteEntryResult(L"http://h/f.zip", 900); },
      [&] { return AppendListUrl(L"http://h/clip.zip"); }};
  const std::string after[] = {"899|http://h/f.zip", "900|http://h/f.zip", "http://h/f.zip\nhttp://h/clip.zip\n"};
  for (int i = 0; i < 3; ++i) {
    WriteList("http://h/f.zip");  // its last line without a line feed
    {
      HandAppends hand(ListFile(), 3);
      EXPECT_EQ(parties[i](), rc::kWriteDone);
    }
    const std::string own = i == 2 ? after[i] : after[i] + "\n";
    EXPECT_EQ(List(), own + "http://h/hand0.zip\nhttp://h/hand1.zip\nhttp://h/hand2.zip\n");
    EXPECT_TRUE(NoWorkingCopies() && !fs::exists(home_ / "!!!ZENPO.txt"));
  }
  // A list file that keeps coming back is taken in a bounded number of times; then the
  // pass fails as before, with every line still under one of the names.
  WriteList("x\n");
  {
    HandAppends hand(ListFile(), 1000);
    EXPECT_EQ(MarkX(kWriteBackCodes), rc::kWriteReleaseFailed);
  }
  std::string taken = "600|x\n";
  for (int k = 0; k < 8; ++k) taken += "http://h/hand" + std::to_string(k) + ".zip\n";
  EXPECT_EQ(test::ReadFile(NewFile()), taken);
  EXPECT_EQ(List(), "http://h/hand8.zip\n");
  EXPECT_EQ(test::ReadFile(LockFile()), "x\n");
  for (const fs::path& p : {ListFile(), LockFile(), NewFile()}) fs::remove(p);
}

TEST_F(ListTest, SelectionChoosesTheFirstEligibleLineByItsStatus) {
  // Chosen: none, below 130, 200 to 898; negative values count as very large. The old
  // status goes with its bars, but a zero (or a word) is no status and stays a field.
  const struct {
    std::string status;
    bool chosen, keeps;
  } rows[] = {{"130", 0, 0}, {"199", 0, 0}, {"899", 0, 0}, {"900", 0, 0}, {" -1", 0, 0},
              {"4294967296", 0, 0}, {"18446744073709551617", 0, 0}, {"129", 1, 0}, {"200", 1, 0},
              {"898", 1, 0}, {"0", 1, 1}, {"later", 1, 1}, {"|| 12", 1, 0}, {"", 1, 1}, {"7日", 1, 0},
              {"8\xff", 1, 0}, {"|900", 0, 0}, {"| 12 ", 1, 0}, {"899日", 0, 0}};
  std::string list = "a note without bars\nhttps://h/s.zip\nhttp://h/\n", expected = list;
  for (const auto& row : rows) {
    const std::string line = row.status + "|http://h/" + std::to_string(&row - rows) + ".zip|Referer=r\n";
    list += line;
    expected += !row.chosen ? line : "899|" + line.substr(row.keeps ? 0 : row.status.size() + 1);
  }
  WriteList(list);
  for (const auto& row : rows) {
    if (!row.chosen) continue;
    const SelectedEntry e = Select();
    EXPECT_EQ(e.url, L"http://h/" + std::to_wstring(&row - rows) + L".zip");
    EXPECT_EQ(e.referer, L"r");
  }
  EXPECT_TRUE(Select().url.empty());
  EXPECT_EQ(List(), expected);
}

TEST_F(ListTest, OptionsFollowTheirKeysUpToTheSixthFieldAndAreCut) {
  const std::string too_long_url = "http://h/" + std::string(1016, 'u');  // 1025 characters
  WriteList(too_long_url + "\n"
            "http://h/f.zip|Agent=A1|Referer=http://r/|Cookie=c=1|Authid=user:pass|Agent=A2|Referer=late\n"
            "200|http://h/g.zip|Agent=x Referer=y|AuthidE=dXNlcjpwYQ==|Authid=|Cookie=\n"
            "http://h/i.zip|http://h/j.zip|12|Authid=ユーザ:パス|myAgent===Lynx|agent=no\n"
            "http://h/" + std::string(1015, 'u') + "|Agent=" + std::string(600, 'a') + "|Authid=" +
            std::string(300, 'p') + "|Cookie=" + std::string(5000, 'c') + "\n");
  SelectedEntry e = Select();
  // A later field replaces an earlier one; the seventh is never read.
  EXPECT_EQ(e.agent + L" " + e.referer + L" " + e.cookie + L" " + e.authorization, L"A2 http://r/ c dXNlcjpwYXNz");
  e = Select();  // both keys in one field: the agent only; trailing "=" are lost
  EXPECT_EQ(e.agent + L" " + e.referer + L" " + e.authorization + L" " + e.cookie, L"x Referer  dXNlcjpwYQ ");
  e = Select();  // a key anywhere in its field, case-sensitive; credentials in the code page
  EXPECT_EQ(e.url + L" " + e.agent + L" " + e.authorization, L"http://h/i.zip Lynx 44Om44O844K2OuODkeOCuQ==");
  e = Select();
  const std::vector<std::size_t> sizes = {e.url.size(), e.agent.size(), e.cookie.size(), e.authorization.size()};
  EXPECT_EQ(sizes, (std::vector<std::size_t>{1024, 512, 4096, 340}));  // the Authid's 255 bytes encoded
  EXPECT_NE(home_.LogText().find("切り詰めました->Agent= Authid= Cookie="), std::string::npos);
  // The refused line stays as it is and is logged once, not at every pass.
  EXPECT_TRUE(Select().url.empty());
  EXPECT_TRUE(List().starts_with(too_long_url + "\n899|"));
  const std::string log = home_.LogText();
  EXPECT_NE(log.find("ListFileのURLが長すぎるため選択しません->http://h/uuu"), std::string::npos);
  EXPECT_EQ(log.find("ListFileのURLが長すぎるため"), log.rfind("ListFileのURLが長すぎるため"));
}

TEST_F(ListTest, WriteBackMarksEveryLineOfTheUrlOrDropsCompleteOnes) {
  const std::string list =
      "note http://h/f.zip\n899|http://h/f.zip|Referer=http://r/\r\n600|http://h/f.zip\n"
      "http://h/f.zip\nhttp://h/f.zip|Referer=x\n899|0|http://h/f.zip\n7|http://h/f.zip\n"
      "899|http://h/f.zip.bak\n899|HTTP://h/f.zip\n\n|note|\n";
  WriteList(list);
  ASSERT_EQ(WriteEntryResult(L"http://h/f.zip", 133), rc::kWriteDone);
  ASSERT_EQ(WriteEntryResult(L"", 900), rc::kWriteDone) << "an empty URL matches no line";
  EXPECT_EQ(List(),
            "note http://h/f.zip\n133|http://h/f.zip|Referer=http://r/\r\n133|http://h/f.zip\n"
            "133|http://h/f.zip\nhttp://h/f.zip|Referer=x\n899|0|http://h/f.zip\n133|http://h/f.zip\n"
            "899|http://h/f.zip.bak\n899|HTTP://h/f.zip\n\n|note|\n");
  home_.LoadSettingsText("dellist=1\n");
  WriteList(list);
  ASSERT_EQ(WriteEntryResult(L"http://h/f.zip", 899), rc::kWriteDone);
  ASSERT_EQ(WriteEntryResult(L"http://h/f.zip", 903), rc::kWriteDone);
  EXPECT_EQ(List(), "note http://h/f.zip\nhttp://h/f.zip|Referer=x\n899|0|http://h/f.zip\n"
                    "899|http://h/f.zip.bak\n899|HTTP://h/f.zip\n\n|note|\n");
  WriteList("899|http://h/f.zip|Cookie=" + std::string(7000, 'k') + "\nnext\n");
  ASSERT_EQ(WriteEntryResult(L"http://h/f.zip", 900), rc::kWriteDone);
  EXPECT_EQ(List(), "next\n");
}

TEST_F(ListTest, AppendAddsALineOfItsOwnEveryTimeOrFailsLeavingTheList) {
  WriteList("900|http://h/old.zip");  // the user's last line lacks its line feed
  ASSERT_EQ(AppendListUrl(L"http://h/ダウン.zip"), rc::kWriteDone);
  ASSERT_EQ(AppendListUrl(L"http://h/ダウン.zip"), rc::kWriteDone);  // no duplicate check
  EXPECT_EQ(List(), "900|http://h/old.zip\nhttp://h/ダウン.zip\nhttp://h/ダウン.zip\n");
  // The line ends are those of the last complete line; a lone byte-order mark is empty.
  const std::pair<std::string, std::string> ends[] = {
      {"a\nb\r\n" + std::string(9000, 'c'), "a\nb\r\n" + std::string(9000, 'c') + "\r\nhttp://h/n.zip\r\n"},
      {"\xEF\xBB\xBF", "\xEF\xBB\xBFhttp://h/n.zip\n"}};
  for (const auto& [before, after] : ends) {
    WriteList(before);
    ASSERT_EQ(AppendListUrl(L"http://h/n.zip"), rc::kWriteDone);
    EXPECT_EQ(List(), after);
  }
  fs::remove(ListFile());
  fs::create_symlink("/dev/full", ListFile());  // a full disk is a failure, never a success
  EXPECT_EQ(AppendListUrl(L"http://h/f.zip"), rc::kWriteOpenFailed);
  EXPECT_TRUE(fs::is_symlink(ListFile()) && !fs::exists(LockFile()));
  EXPECT_EQ(boxes_.texts(), std::vector<std::wstring>{L"listfileの追記openでerrorが発生しました"});
}

TEST_F(ListTest, JobThreadWritesTheCodeWhenTheListIsFreeAgainOrGivesUpWith161) {
  ResetRunFlags();
  test::FakeWindow window;
  window.SetTimer(timer_id::kProgress, 1000);
  int attempts = 0, busy = 20;  // the list is in use for the first busy attempts, free at the last retry
  const JobServices services = {[&](const DownloadJob&) { return rc::kDownloaded; },
                                [&](std::wstring_view url, ResultCode code) {
                                  return ++attempts <= busy ? rc::kWriteInUse : WriteEntryResult(url, code);
                                },
                                milliseconds(1)};
  const auto run = [&] { JobThread({L"http://h/f.zip", L"", L"", L"", &window}, services); };
  WriteList("899|http://h/f.zip\n");
  run();
  EXPECT_EQ(JobResult.load(), rc::kDownloaded);
  EXPECT_EQ(List(), "900|http://h/f.zip\n");
  EXPECT_FALSE(window.TimerRunning(timer_id::kProgress));
  EXPECT_NE(home_.LogText().find(" 900\n"), std::string::npos) << "the code is logged";
  attempts = 0;
  busy = 100;
  run();
  EXPECT_EQ(attempts, 21);
  EXPECT_EQ(JobResult.load(), rc::kWriteInUse);
  EXPECT_EQ(boxes_.texts(), std::vector<std::wstring>{L"listfileの書込がタイムアウトしました"});
  ResetRunFlags();
}

}  // namespace
}  // namespace zenpo
