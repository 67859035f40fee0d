// The text side of the 8-byte timestamp form: what libruva70 accepts from a
// data source and what it writes for one.
#include "../../driver/timestamp_form.h"

#include <gtest/gtest.h>

#include <string>

using namespace ruva;

namespace {

constexpr int64_t kUs = 1000000;

bool parses(const std::string& text, int64_t& out) {
    return tsform::parse(text.data(), text.size(), out);
}

int64_t parsed(const std::string& text) {
    int64_t v = 0x7777;
    EXPECT_TRUE(parses(text, v)) << text;
    return v;
}

std::string formatted(int64_t v, bool zone) {
    char buf[tsform::kTextBytes];
    size_t n = tsform::format(v, zone, buf);
    return std::string(buf, n);
}

}  // namespace

TEST(TimestampText, ReadsZonesFractionsEraAndInfinity) {
    EXPECT_EQ(parsed("1970-01-01 00:00:00"), 0);
    EXPECT_EQ(parsed("1970-01-01"), 0);
    EXPECT_EQ(parsed("1970-01-01T00:00:01Z"), kUs);
    EXPECT_EQ(parsed("1970-01-01 05:30:00+05:30"), 0);
    EXPECT_EQ(parsed("1970-01-01 05:30:00+0530"), 0);
    EXPECT_EQ(parsed("1969-12-31 19:00:00-05"), 0);
    EXPECT_EQ(parsed("1970-01-01 00:00:00 +00:00:30"), -30 * kUs);
    EXPECT_EQ(parsed("1969-12-31 23:59:59.9"), -100000);
    EXPECT_EQ(parsed("1970-01-01 00:00:00.0000019"), 1) << "digits past microseconds are dropped";
    EXPECT_EQ(parsed("1970-01-02 24:00:00"), 2 * 86400 * kUs);
    EXPECT_EQ(parsed("0001-12-31 00:00:00 BC"), parsed("0000-12-31 00:00:00")) << "1 BC is year 0";
    EXPECT_EQ(parsed("0044-03-15 12:00:00+00 BC"), -63517780800 * kUs);
    EXPECT_EQ(parsed("infinity"), tsform::kInfinity);
    EXPECT_EQ(parsed("-infinity"), tsform::kMinusInfinity);
    EXPECT_EQ(parsed(std::string("2000-01-01 00:00:00\0\0", 21)), 946684800 * kUs) << "padding NULs";
}

TEST(TimestampText, RefusesWhatIsNoTimestamp) {
    int64_t v;
    for (const char* bad :
         {"", "hello", "2001-02-29 00:00:00", "2000-13-01", "2000-00-10", "2000-01-32", "2000-01-01 25:00:00",
          "2000-01-01 24:00:01", "2000-01-01 10:61:00", "2000-01-01 10:00:00.", "2000-01-01 10:00:00+",
          "2000-01-01 10:00:00+16", "2000-01-01 10:00:00 junk", "0000-01-01 BC", "20-1-1", "294277-01-01 00:00:00"})
        EXPECT_FALSE(parses(bad, v)) << bad;
}

TEST(TimestampText, WritesWhatItReadsForEveryKindOfValue) {
    EXPECT_EQ(formatted(0, false), "1970-01-01 00:00:00.000000");
    EXPECT_EQ(formatted(-1, true), "1969-12-31 23:59:59.999999+00");
    EXPECT_EQ(formatted(parsed("0044-03-15 12:00:00 BC"), true), "0044-03-15 12:00:00.000000+00 BC");
    EXPECT_EQ(formatted(tsform::kInfinity, true), "infinity");
    EXPECT_EQ(formatted(tsform::kMinusInfinity, true), "-infinity");
    // Negative values floor to the day before, across leap days and eras.
    for (int64_t v : {int64_t{-1}, int64_t{-86400} * kUs, int64_t{-86400} * kUs - 1, int64_t{951782400} * kUs - 1,
                      int64_t{-62135596800} * kUs - 1, int64_t{-210866803200} * kUs, int64_t{9223371331200} * kUs}) {
        for (bool zone : {false, true}) {
            std::string text = formatted(v, zone);
            EXPECT_EQ(parsed(text), v) << text;
        }
    }
    for (int64_t v = -400LL * 366 * 86400 * kUs; v < 400LL * 366 * 86400 * kUs; v += 86399 * kUs + 7777)
        ASSERT_EQ(parsed(formatted(v, false)), v) << formatted(v, false);
}
