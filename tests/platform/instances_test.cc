#include "platform/instances.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <vector>

#include "support/temp_dir.h"

namespace zenpo::platform {
namespace {

TEST(InstanceSlotsTest, ASlotIsHeldOnceTakesCommandsAndIsFreedWithItsClaim) {
  test::TempDir home, other;
  InstanceSlots slots(home.wpath());
  EXPECT_FALSE(slots.PostCommand(2, 45002)) << "nobody holds slot 2";
  auto claim = slots.Claim(2);
  ASSERT_NE(claim, nullptr);
  EXPECT_TRUE(slots.IsTaken(2));
  EXPECT_FALSE(slots.IsTaken(1));
  EXPECT_EQ(slots.Claim(2), nullptr) << "a second claim of a held slot fails";
  EXPECT_FALSE(InstanceSlots(other.wpath()).IsTaken(2)) << "another program folder";
  EXPECT_FALSE(claim->TakeCommand().has_value());
  ASSERT_TRUE(slots.PostCommand(2, 45002));
  pollfd p{claim->command_fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  EXPECT_EQ(claim->TakeCommand(), 45002u);
  claim.reset();
  EXPECT_FALSE(slots.IsTaken(2));
}

// The holder removes its files when it lets the slot go; files a killed holder left
// stand in nobody's way.
TEST(InstanceSlotsTest, AReleasedSlotLeavesNoFileBehindAndALeftOneIsNoObstacle) {
  test::TempDir home;
  InstanceSlots slots(home.wpath());
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  const std::filesystem::path dir = xdg != nullptr && xdg[0] == '/'
                                        ? std::filesystem::path(xdg) / "zenpo"
                                        : std::filesystem::path("/tmp/zenpo-" + std::to_string(getuid()));
  const auto names = [&] {
    std::set<std::string> found;
    for (const auto& f : std::filesystem::directory_iterator(dir)) found.insert(f.path().filename());
    return found;
  };
  const std::set<std::string> before = names();
  auto claim = slots.Claim(0);
  std::vector<std::string> ours;  // other tests may add files of their own meanwhile
  std::ranges::set_difference(names(), before, std::back_inserter(ours));
  ASSERT_EQ(ours.size(), 2u) << "a lock file and a socket";
  claim.reset();
  for (const std::string& name : ours) EXPECT_FALSE(names().contains(name)) << name;
  for (const std::string& name : ours) test::WriteFile(dir / name, "left behind");
  ASSERT_NE(claim = slots.Claim(0), nullptr);
  EXPECT_TRUE(slots.PostCommand(0, 45002));
}

}  // namespace
}  // namespace zenpo::platform
