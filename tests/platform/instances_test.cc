#include "platform/instances.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <filesystem>
#include <vector>

#include "support/temp_dir.h"

namespace zenpo::platform {
namespace {

// The holder removes its files when it lets the slot go; files a killed holder left
// stand in nobody's way.
TEST(InstanceSlotsTest, ASlotIsHeldOnceTakesCommandsAndIsFreedWithItsClaimLeavingNoObstacle) {
  test::TempDir home, other;
  InstanceSlots slots(home.wpath());
  EXPECT_FALSE(slots.PostCommand(2, 45002)) << "nobody holds slot 2";
  auto claim = slots.Claim(2);
  ASSERT_NE(claim, nullptr);
  EXPECT_TRUE(slots.IsTaken(2));
  EXPECT_EQ(slots.Claim(2), nullptr) << "a second claim of a held slot fails";
  EXPECT_FALSE(InstanceSlots(other.wpath()).IsTaken(2)) << "another program folder";
  ASSERT_TRUE(slots.PostCommand(2, 45002));
  pollfd p{claim->command_fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  EXPECT_EQ(claim->TakeCommand(), 45002u);
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

}  // namespace
}  // namespace zenpo::platform
