#include "core/ValueRules.h"

#include "core/PriceLimit.h"
#include "core/TextCodec.h"
#include "core/Utf8.h"
#include "core/Value.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

using namespace zuvemo::core;

TEST(TrimOrSpace, BlankAndNullBecomeOneBlank)
{
    EXPECT_EQ(TrimOrSpace(Value()), " ");
    EXPECT_EQ(TrimOrSpace(Value("")), " ");
    EXPECT_EQ(TrimOrSpace(Value("   ")), " ");
    EXPECT_EQ(TrimOrSpace(Value("  word  ")), "word");
    EXPECT_EQ(TrimOrSpace(Value(12345.0)), "12345");
    // Only the ASCII blank is trimmed, as the original Trim did.
    EXPECT_EQ(TrimOrSpace(Value("\tA\t")), "\tA\t");
}

TEST(NumberOrZero, OnlyPlainDigitsSurvive)
{
    for (const char* bad : {"1,000", "10.5", "-5", "１２", "", "  ", "1 2", "12a"}) {
        EXPECT_EQ(NumberOrZero(Value(bad)), "0") << bad;
    }
    EXPECT_EQ(NumberOrZero(Value()), "0");
    EXPECT_EQ(NumberOrZero(Value("007")), "007");
    EXPECT_EQ(NumberOrZero(Value("  42  ")), "42");
    // A whole number read as a double reads back as its digits.
    EXPECT_EQ(NumberOrZero(Value(2500.0)), "2500");
    EXPECT_EQ(NumberOrZero(Value(1102.5)), "0");
}

TEST(PriceOrZero, DigitsWithOnePointBetweenDigitsKeepTheirDecimal)
{
    for (const char* good : {"2465.5", "0.1", "007", " 12.50 "}) {
        EXPECT_NE(PriceOrZero(Value(good)), "0") << good;
    }
    EXPECT_EQ(PriceOrZero(Value(" 12.50 ")), "12.50");
    for (const char* bad : {"1,000.5", "1.2.3", ".5", "5.", "-2.5", "2.5e3", "１.５", "", " ", "."}) {
        EXPECT_EQ(PriceOrZero(Value(bad)), "0") << bad;
    }
    EXPECT_EQ(PriceOrZero(Value()), "0");
    EXPECT_EQ(PriceOrZero(Value(2465.5)), "2465.5");
    EXPECT_EQ(Value(PriceOrZero(Value("2465.5"))).toDouble(), 2465.5);
}

TEST(IsAllowedChars, ModesAcceptTheirClasses)
{
    EXPECT_TRUE(IsAllowedChars("1,234", "S"));
    EXPECT_FALSE(IsAllowedChars("1.5", "S"));
    EXPECT_FALSE(IsAllowedChars("1,234", "T"));
    EXPECT_TRUE(IsAllowedChars("1,234.5", "K"));
    EXPECT_FALSE(IsAllowedChars("１", "T"));
    for (const char* mode : {"T", "S", "K", "X"}) {
        EXPECT_FALSE(IsAllowedChars("", mode)) << mode;
    }
    EXPECT_TRUE(IsAllowedChars("abc", "X"));
}

TEST(FormatNumber, PatternsOfTheForms)
{
    EXPECT_EQ(FormatNumber(0, "#,###"), "");
    EXPECT_EQ(FormatNumber(2500, "#,###"), "2,500");
    EXPECT_EQ(FormatNumber(1102.5, "#,###"), "1,103");
    EXPECT_EQ(FormatNumber(1234567, "#,###"), "1,234,567");
    EXPECT_EQ(FormatNumber(999.5, "#,###"), "1,000");
    EXPECT_EQ(FormatNumber(-2500, "#,###"), "-2,500");
    EXPECT_EQ(FormatNumber(10, "#.##"), "10.");
    EXPECT_EQ(FormatNumber(10.5, "#.##"), "10.5");
    EXPECT_EQ(FormatNumber(5.25, "#.##"), "5.25");
    EXPECT_EQ(FormatNumber(0, "#,##0"), "0");
    EXPECT_EQ(FormatNumber(1234.5, "#,##0"), "1,235");
    EXPECT_EQ(FormatNumber(1234.5, "#,##0.00"), "1,234.50");
    // 0.125 is exact in binary: the half rounds away from zero.
    EXPECT_EQ(FormatNumber(0.125, "#,##0.00"), "0.13");
    // 1.005 is slightly below the half in binary.
    EXPECT_EQ(FormatNumber(1.005, "#,##0.00"), "1.00");
    EXPECT_EQ(FormatNumber(0.0525, "0.00%"), "5.25%");
    EXPECT_EQ(FormatNumber(0, "0.00%"), "0.00%");
}

TEST(RoundToLong, HalfToEvenAndRange)
{
    EXPECT_EQ(RoundToLong(10.5), 10);
    EXPECT_EQ(RoundToLong(11.5), 12);
    EXPECT_EQ(RoundToLong(-2.5), -2);
    EXPECT_EQ(RoundToLong(1102.4), 1102);
    EXPECT_EQ(RoundToLong(2147483647.0), 2147483647);
    EXPECT_FALSE(RoundToLong(2147483648.0).has_value());
    EXPECT_FALSE(RoundToLong(-2147483649.0).has_value());
}

TEST(ValueText, FifteenSignificantDigitsWithoutTrailingPoint)
{
    EXPECT_EQ(Value(12345.0).toText(), "12345");
    EXPECT_EQ(Value(1102.5).toText(), "1102.5");
    EXPECT_EQ(Value(0.1 + 0.2).toText(), "0.3");
    EXPECT_EQ(Value(-0.0).toText(), "0");
    EXPECT_EQ(Value(1e20).toText(), "1E+20");
    EXPECT_EQ(Value(std::int64_t{42}).toText(), "42");
    EXPECT_TRUE(Value().isNull());
    EXPECT_NE(Value(""), Value(" "));
    EXPECT_NE(Value(), Value(""));
}

TEST(ValueDecimal, WrittenNumbersOnlyAndNeverANonZeroReadAsZero)
{
    for (const auto& [text, value] : std::vector<std::pair<const char*, double>>{
             {"7", 7}, {"-1.5", -1.5}, {"1e3", 1000}, {".5", 0.5}, {"5.", 5}, {"+2", 2}, {"0.000", 0}}) {
        EXPECT_EQ(Value::decimal(text), value) << text;
    }
    for (const char* text :
        {"0x1A", " 7", "7 ", "1e-400", "1e400", "inf", "nan", "", "-", ".", "1.2.3", "1e", "1e+", "7,5"}) {
        EXPECT_FALSE(Value::decimal(text)) << text;
    }
}

TEST(SqlText, QuotesAreDoubled)
{
    EXPECT_EQ(SqlText("O'Neil"), "O''Neil");
    EXPECT_EQ(SqlText("''"), "''''");
    EXPECT_EQ(SqlText("abc"), "abc");
}

TEST(TextCodec, Cp932DecodesWindowsExtensions)
{
    // 表 (95 5C) has a backslash trail byte; ① (87 40) and 髙 (FB FC) exist only in code page 932.
    auto decoded = TextCodec::decodeCp932("\x95\x5C\x87\x40\xFB\xFC");
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, "表①髙");
    EXPECT_FALSE(TextCodec::decodeCp932("\x81").has_value());
    auto encoded = TextCodec::encodeCp932("日別");
    ASSERT_TRUE(encoded.has_value());
    EXPECT_EQ(TextCodec::decodeCp932(*encoded), "日別");
}

TEST(Utf8, CountsCharactersNotBytes)
{
    EXPECT_EQ(Utf8::length("2024年01月05日"), 11u);
    EXPECT_EQ(Utf8::left("2024年01月05日以降", 11), "2024年01月05日");
    EXPECT_EQ(Utf8::mid("2024-01-05", 6, 2), "01");
    EXPECT_TRUE(Utf8::isValid("日本"));
    EXPECT_FALSE(Utf8::isValid("\xE6\x97"));
    EXPECT_TRUE(Utf8::isValid("\xF0\x9F\x98\x80\xED\x9F\xBF")); // U+1F600, U+D7FF
    // A surrogate half, an overlong form, past U+10FFFF: none is UTF-8.
    for (const char* bad : {"\xED\xBB\xBF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xF4\x90\x80\x80"}) {
        EXPECT_FALSE(Utf8::isValid(bad)) << bad;
    }
}

// The width changes at each step of the table, not one yen later; the lower limit never falls
// below a yen; a split day's base is the close on the new share count.
TEST(PriceLimit, TheWidthStepsAtEachBoundAndTheBaseFollowsASplit)
{
    using zuvemo::core::PriceLimit;
    const std::vector<std::pair<double, double>> steps = {{1, 30}, {99.9, 30}, {100, 50}, {199, 50},
        {200, 80}, {499.9, 80}, {500, 100}, {999, 150}, {1'000, 300}, {1'499, 300}, {1'500, 400},
        {2'999, 500}, {3'000, 700}, {9'999, 1'500}, {10'000, 3'000}, {49'999, 7'000}, {50'000, 10'000},
        {99'999, 15'000}, {100'000, 30'000}, {999'999, 150'000}, {1'000'000, 300'000},
        {49'999'999, 7'000'000}, {50'000'000, 10'000'000}, {90'000'000, 10'000'000}};
    for (const auto& [base, width] : steps) {
        EXPECT_EQ(PriceLimit::width(base), width) << base;
    }
    EXPECT_EQ(PriceLimit::of(500).upper, 600);
    EXPECT_EQ(PriceLimit::of(500).lower, 400);
    EXPECT_EQ(PriceLimit::of(20).lower, 1);
    EXPECT_EQ(PriceLimit::base(1'000, 0.5), 500);
    EXPECT_EQ(PriceLimit::base(1'000, 1.0), 1'000);
    const auto limits = PriceLimit::of(1'200); // 900 to 1,500
    EXPECT_TRUE(PriceLimit::atUpper(1'500, limits));
    EXPECT_TRUE(PriceLimit::atUpper(1'499.96, limits));
    EXPECT_FALSE(PriceLimit::atUpper(1'499.9, limits));
    EXPECT_TRUE(PriceLimit::atLower(900.04, limits));
    EXPECT_FALSE(PriceLimit::atLower(900.1, limits));
}
