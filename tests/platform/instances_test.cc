#include "platform/instances.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "support/other_user.h"
#include "support/temp_dir.h"

namespace zenpo::platform {
namespace {

// The holder removes its files when it lets the slot go; files a killed holder left
// stand in nobody's way.
TEST(InstanceSlotsTest, ASlotIsHeldOnceTakesCommandsAndIsFreedWithItsClaimLeavingNoObstacle) {
  test::TempDir home, other;
  InstanceSlots slots(home.wpath());
  auto claim = slots.Claim(2);
  ASSERT_NE(claim, nullptr);
  EXPECT_TRUE(slots.IsTaken(2));
  EXPECT_EQ(slots.Claim(2), nullptr) << "a second claim of a held slot fails";
  EXPECT_FALSE(InstanceSlots(other.wpath()).IsTaken(2)) << "another program folder";
  sockaddr_un addr{};
  socklen_t size = sizeof addr;
  ASSERT_EQ(getsockname(claim->command_fd(), reinterpret_cast<sockaddr*>(&addr), &size), 0);
  const std::filesystem::path socket(addr.sun_path);
  std::vector<std::filesystem::path> ours;  // the socket and its lock file
  for (const auto& f : std::filesystem::directory_iterator(socket.parent_path())) {
    if (f.path().stem() == socket.stem()) ours.push_back(f.path());
  }
  ASSERT_EQ(ours.size(), 2u) << "a lock file and a socket";
  claim.reset();
  EXPECT_FALSE(slots.IsTaken(2));
  for (const auto& path : ours) EXPECT_FALSE(std::filesystem::exists(path)) << path;
  for (const auto& path : ours) test::WriteFile(path, "left behind");
  ASSERT_NE(claim = slots.Claim(2), nullptr);
  EXPECT_TRUE(slots.PostCommand(2, 45002));
}

// A folder others may enter, links planted in it, another user at the socket: none of it
// may block the user's instances, create files elsewhere or command them.
TEST(InstanceSlotsTest, OnlyAPrivateFolderIsUsedLinksAreNotFollowedAndOthersCannotCommand) {
  const auto other = test::OtherUserAccount();
  if (!other) GTEST_SKIP() << test::kNoOtherUser;
  test::TempDir home, run;
  chmod(run.path().c_str(), 01777);  // anyone may make a folder here first, as in /tmp
  test::ScopedEnv runtime_dir("XDG_RUNTIME_DIR", run.path().c_str());
  const std::string folder = (run / "zenpo").string();
  const struct {
    const char* what;
    std::function<void()> plant;
  } unsafe[] = {
      {"a folder others may enter", [&] { mkdir(folder.c_str(), 0755); chmod(folder.c_str(), 0711); }},
      {"a link to a private folder", [&] { std::filesystem::create_directory_symlink(home.path(), folder); }},
  };
  for (const auto& c : unsafe) {
    std::filesystem::remove_all(folder);
    c.plant();
    InstanceSlots slots(home.wpath());
    EXPECT_EQ(slots.unsafe_folder(), (run / "zenpo").wstring()) << c.what;
    EXPECT_EQ(slots.Claim(0), nullptr) << c.what;
  }
  std::filesystem::remove(folder);
  const mode_t old_mask = umask(0);
  InstanceSlots slots(home.wpath());
  EXPECT_EQ(slots.unsafe_folder(), L"") << "made private whatever the umask";
  auto claim = slots.Claim(0);
  ASSERT_NE(claim, nullptr);
  sockaddr_un addr{};
  socklen_t size = sizeof addr;
  ASSERT_EQ(getsockname(claim->command_fd(), reinterpret_cast<sockaddr*>(&addr), &size), 0);
  const std::string socket_path = addr.sun_path;
  const std::string lock_path = socket_path.substr(0, socket_path.size() - 4) + "lock";
  // A lock file planted as a link: the claim takes the name, and never touches the target.
  claim.reset();
  std::filesystem::create_symlink(home / "target", lock_path);
  claim = slots.Claim(0);
  umask(old_mask);
  ASSERT_NE(claim, nullptr);
  EXPECT_FALSE(std::filesystem::exists(home / "target"));
  EXPECT_FALSE(std::filesystem::is_symlink(lock_path));
  // Should the folder open up, another user's command still does not count.
  chmod(folder.c_str(), 0711);
  EXPECT_TRUE(test::RunAs(*other, [&] {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const std::uint32_t exit_command = 40003;  // "EXIT"
    return connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
           send(fd, &exit_command, sizeof exit_command, 0) == sizeof exit_command;
  })) << "the other user reaches the socket";
  ASSERT_TRUE(slots.PostCommand(0, 45002));
  pollfd p{claim->command_fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  EXPECT_EQ(claim->TakeCommand(), 45002u) << "the other user's command is dropped";
  EXPECT_EQ(claim->TakeCommand(), std::nullopt);
}

}  // namespace
}  // namespace zenpo::platform
