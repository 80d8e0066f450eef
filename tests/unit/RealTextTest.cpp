// Real values to and from text: the classic atof grammar with correct
// rounding, and fixed-point formatting, identical on every build.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "settings/RealText.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();

struct TextCase {
    const char* text;
    double expected;
};

}  // namespace

TEST(TextToDouble, ReadsTheClassicGrammarCorrectlyRounded)
{
    const TextCase cases[] = {
        {"0.5", 0.5},
        {"  -1.25e2", -125.0},
        {"\t\n 7", 7.0},
        {"+3", 3.0},
        {"1e-3", 0.001},
        {"1E2", 100.0},
        {"2.5e+1", 25.0},
        {".5", 0.5},
        {"5.", 5.0},
        {"00012", 12.0},
        {"0.1", 0.1},
        {"123456789012345678901234567890", 1.2345678901234568e29},
        {"9007199254740993", 9007199254740992.0},  // halfway: to even
        {"0.0049999998882", 0.0049999998882},
        // Reading stops at the first character that does not fit.
        {"1.5e", 1.5},
        {"1.5e+", 1.5},
        {"1e+2x", 100.0},
        {"0,5", 0.0},
        {"1d2", 1.0},
        {"0x10", 0.0},
        {" 1 e5", 1.0},
        {"12abc", 12.0},
        // No number at all.
        {"", 0.0},
        {"abc", 0.0},
        {"-", 0.0},
        {".", 0.0},
        {"e5", 0.0},
        {"inf", 0.0},
        {"nan", 0.0},
        // Beyond the double range.
        {"1e400", kInf},
        {"-1e400", -kInf},
        {"1e99999999999999999999", kInf},
        {"0.000000001e-99999", 0.0},
        {"1e-400", 0.0},
        {"0e999999", 0.0},
        {"2.5e-324", 4.9406564584124654e-324},
        {"1e-320", 1e-320},
        {"1.7976931348623157e308", DBL_MAX},
    };
    for (const TextCase& c : cases) EXPECT_EQ(TextToDouble(c.text), c.expected) << c.text;
    EXPECT_TRUE(std::signbit(TextToDouble("-0")));
    EXPECT_EQ(TextToDouble(nullptr), 0.0);
}

// Numbers of any length: leading zeros, hundreds of digits and more, cut
// digits that decide a rounding. The expected values are what a correctly
// rounding reader gives; natively the C library's strtod confirms them.
TEST(TextToDouble, NumbersOfAnyLengthAreCorrectlyRounded)
{
    const std::string zeros(1000, '0');
    // The halfway point between 1 and the next double, 1 + 2^-53, exactly.
    const std::string half = "1.00000000000000011102230246251565404236316680908203125";
    struct LongCase {
        std::string text;
        double expected;
    };
    const LongCase cases[] = {
        {"1" + std::string(109999, '0') + "e-100000", kInf},  // 1e9999 in 110,000 digits
        {"-1" + std::string(109999, '0') + "e-100000", -kInf},
        {"0." + std::string(109999, '0') + "1e110000", 1e-0},  // 1 written the long way
        {"0." + std::string(109999, '0') + "1e109999", 0.1},
        {"1" + std::string(109999, '0') + "e-109998", 10.0},
        {zeros + "1.5", 1.5},
        {"0." + zeros + "15e1001", 1.5},
        {"1" + zeros + "e-1000", 1.0},
        {half, 1.0},                                             // exactly halfway: to even
        {half + zeros + "1", 1.0000000000000002},                // a digit far out decides it
        {half + std::string(100000, '0') + "1", 1.0000000000000002},
        {half + std::string(100000, '0'), 1.0},
        {"0.999999999999999944488848768742172978818416595458984375" + zeros + "1", 1.0},
        {"0.999999999999999944488848768742172978818416595458984374" + zeros + "9", 0.9999999999999999},
        {"4.9406564584124654e-324", 4.9406564584124654e-324},
        {"2.4703282292062327e-324", 0.0},  // just below half the smallest subnormal
        {"2.4703282292062328e-324", 4.9406564584124654e-324},
        {"1e" + std::string(50, '9'), kInf},
        {"1e-" + std::string(50, '9'), 0.0},
        {std::string(400, '9'), kInf},
        {"17976931348623159" + std::string(292, '0'), kInf},  // past the rounding edge of DBL_MAX
        {"17976931348623157" + std::string(292, '0'), DBL_MAX},
    };
    for (const LongCase& c : cases) {
        EXPECT_EQ(TextToDouble(c.text.c_str()), c.expected) << c.text.substr(0, 60);
#ifndef _WIN32
        EXPECT_EQ(std::strtod(c.text.c_str(), nullptr), c.expected) << c.text.substr(0, 60);
#endif
    }
}

#ifndef _WIN32
// Digits around the rounding edges of many doubles, long and short, checked
// against the C library's correctly rounded strtod.
TEST(TextToDouble, AgreesWithStrtodOnManyLongNumbers)
{
    uint64_t state = 12345;
    auto next = [&state]() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return state >> 33;
    };
    char buffer[64];
    for (int i = 0; i < 2000; ++i) {
        // A random double and the midpoint to its neighbour, printed with
        // enough digits to be exact, then lengthened or cut.
        const double value = std::ldexp(static_cast<double>(next() | 1), static_cast<int>(next() % 2000) - 1100);
        const double neighbour = std::nextafter(value, kInf);
        std::snprintf(buffer, sizeof buffer, "%.17e", value);
        std::string text = buffer;
        const long double mid = (static_cast<long double>(value) + neighbour) / 2;
        char exact[1200];
        std::snprintf(exact, sizeof exact, "%.800Le", mid);
        const std::string variants[] = {
            text,
            exact,
            std::string(exact).substr(0, 30 + next() % 700) + std::string(next() % 3000, '0') +
                (next() % 2 ? "1" : "0") + std::strchr(exact, 'e'),
        };
        for (const std::string& v : variants)
            ASSERT_EQ(TextToDouble(v.c_str()), std::strtod(v.c_str(), nullptr)) << v;
    }
}
#endif

TEST(ReadReal, AlsoReadsTheNonFiniteTexts)
{
    EXPECT_EQ(ReadReal("inf"), kInf);
    EXPECT_EQ(ReadReal("-inf"), -kInf);
    EXPECT_EQ(ReadReal("  INF"), kInf);
    EXPECT_TRUE(std::isnan(ReadReal("nan")));
    EXPECT_FALSE(std::signbit(ReadReal("nan")));
    EXPECT_TRUE(std::isnan(ReadReal("-nan")));
    EXPECT_TRUE(std::signbit(ReadReal("-nan")));
    EXPECT_EQ(ReadReal("1e-3"), 0.001);
    EXPECT_EQ(ReadReal("in"), 0.0);
    EXPECT_EQ(ReadReal("x"), 0.0);
}

TEST(FormatFixed, WritesFixedPointDigitsExactly)
{
    struct FormatCase {
        double value;
        int decimals;
        const char* expected;
    };
    const FormatCase cases[] = {
        {0.0, 13, "0.0000000000000"},
        {-0.5, 13, "-0.5000000000000"},
        {static_cast<double>(0.005f), 13, "0.0049999998882"},
        {static_cast<double>(0.00001f), 13, "0.0000099999997"},
        {static_cast<double>(0.001f), 13, "0.0010000000475"},
        {1e-14, 13, "0.0000000000000"},
        {static_cast<double>(FLT_MAX), 13, "340282346638528859811704183484516925440.0000000000000"},
        {-static_cast<double>(FLT_MAX), 13, "-340282346638528859811704183484516925440.0000000000000"},
        {2.5, 0, "2"},
        {0.125, 2, "0.12"},
        {1e21, 1, "1000000000000000000000.0"},
        {kInf, 13, "inf"},
        {-kInf, 13, "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), 13, "nan"},
        {-std::numeric_limits<double>::quiet_NaN(), 13, "-nan"},
    };
    for (const FormatCase& c : cases) {
        char buffer[64];
        size_t length = FormatFixed(c.value, c.decimals, buffer, sizeof buffer);
        EXPECT_EQ(std::string(buffer), c.expected);
        EXPECT_EQ(length, std::string(c.expected).size());
    }
}

TEST(FormatFixed, ATooSmallBufferGivesAnEmptyText)
{
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(FormatFixed(0.5, 13, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
    char small[4] = "xxx";
    EXPECT_EQ(FormatFixed(-std::numeric_limits<double>::infinity(), 13, small, sizeof small), 0u);
    EXPECT_STREQ(small, "");
}

TEST(RealText, FloatsSurviveFormattingAndReading)
{
    const float values[] = {0.0f,     -0.5f,   0.005f,   0.00001f,  4.0f,     -1.7499999f, 3.0e10f,
                            -2.5e20f, 1e-5f,   123.456f, FLT_MAX,   -FLT_MAX, std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity()};
    for (float value : values) {
        char buffer[64];
        FormatFixed(static_cast<double>(value), 13, buffer, sizeof buffer);
        EXPECT_EQ(static_cast<float>(ReadReal(buffer)), value) << buffer;
    }
    char buffer[64];
    FormatFixed(static_cast<double>(-std::numeric_limits<float>::quiet_NaN()), 13, buffer, sizeof buffer);
    float nan = static_cast<float>(ReadReal(buffer));
    EXPECT_TRUE(std::isnan(nan));
    EXPECT_TRUE(std::signbit(nan));
}
