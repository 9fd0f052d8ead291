#include "engine/response_sizes.h"

#include <gtest/gtest.h>

#include <limits>

namespace zenpo {
namespace {

TEST(ParseDecimalTest, ReadsLikeStrtolIn64Bits) {
  EXPECT_EQ(ParseDecimal(L""), 0);
  EXPECT_EQ(ParseDecimal(L"  \t 1234abc"), 1234);
  EXPECT_EQ(ParseDecimal(L"+7"), 7);
  EXPECT_EQ(ParseDecimal(L"-5"), -5);
  EXPECT_EQ(ParseDecimal(L"abc"), 0);
  EXPECT_EQ(ParseDecimal(L"4294967296"), 4294967296LL);
  EXPECT_EQ(ParseDecimal(L"99999999999999999999999"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(ParseDecimal(L"-99999999999999999999999"), std::numeric_limits<std::int64_t>::min());
}

TEST(ContentRangeTotalTest, TotalAfterTheSlash) {
  EXPECT_EQ(ContentRangeTotal(L"bytes 100-199/200"), 200);
  EXPECT_EQ(ContentRangeTotal(L"bytes */5000"), 5000);
  EXPECT_EQ(ContentRangeTotal(L"bytes 1000-4999/*"), 0);
  EXPECT_EQ(ContentRangeTotal(L"bytes 0-9"), 0);
  EXPECT_EQ(ContentRangeTotal(L"bytes 2147483648-3221225471/3221225472"), 3221225472LL);
}

TEST(ContentRangeTest, ARangeIsReadOnlyWhenItsNumbersAgree) {
  ContentRange r;
  ASSERT_TRUE(ParseContentRange(L"bytes 2147483648-3221225471/3221225472", &r));
  EXPECT_EQ(r.first, 2147483648LL);
  EXPECT_EQ(r.total, 3221225472LL);
  ASSERT_TRUE(ParseContentRange(L"bytes 1000-4999/*", &r));
  EXPECT_EQ(r.last, 4999);
  EXPECT_EQ(r.total, 0);
  for (const wchar_t* bad : {L"bytes */5000", L"100-199/200", L"bytes 200-100/300",
                             L"bytes 100-299/200", L"bytes -1-9/10", L"bytes 0-9/10x"}) {
    EXPECT_FALSE(ParseContentRange(bad, &r)) << bad;
  }
}

TEST(ExpectedSizeTest, TotalThenLengthThenNothing) {
  EXPECT_EQ(ExpectedSize(1000, true, 5000, 4000), 5000);
  // A partial answer without a total: the body is the rest after where it starts.
  EXPECT_EQ(ExpectedSize(1000, true, 0, 4000), 5000);
  EXPECT_EQ(ExpectedSize(1000, false, 0, 5000), 5000);
  EXPECT_EQ(ExpectedSize(1000, false, 0, 0), 0);
  EXPECT_EQ(ExpectedSize(1000, false, 0, -3), 0);
  EXPECT_EQ(ExpectedSize(3LL << 30, true, 0, 1LL << 30), 4LL << 30);
}

TEST(ProgressLineTest, PercentRoundsDownAndHolds64BitSizes) {
  EXPECT_EQ(ProgressPercent(3LL << 30, 5LL << 30), 60);
  EXPECT_EQ(ProgressPercent(29999999, 30000000), 99);
}

}  // namespace
}  // namespace zenpo
