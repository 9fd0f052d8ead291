#include "engine/base64.h"

#include <gtest/gtest.h>

namespace zenpo {
namespace {

TEST(EncodeBase64Test, PadsToWholeQuadsAndKeepsHighBytes) {
  EXPECT_EQ(EncodeBase64(""), "");
  EXPECT_EQ(EncodeBase64("a"), "YQ==");
  EXPECT_EQ(EncodeBase64("ab"), "YWI=");
  EXPECT_EQ(EncodeBase64("abc"), "YWJj");
  // Bytes of 0x80 and above count by their unsigned value.
  EXPECT_EQ(EncodeBase64("\xff\xfe\x80"), "//6A");
}

}  // namespace
}  // namespace zenpo
