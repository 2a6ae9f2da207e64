#include <gtest/gtest.h>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "ValuePrint.h"

using namespace kr;

namespace {

// Pictures read two-digit years relative to today and @D17/@T7 through the
// system formats: fix both so the cases do not depend on the machine.
class PictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock_ = std::make_unique<ManualClock>(MakeDate(6, 15, 2024), MakeTime(12, 0));
        InstallClock(clock_.get());
        SetSystemFormats(SystemFormats{});  // M/d/yyyy, dddd, MMMM d, yyyy, h:mm tt, h:mm:ss tt
    }
    void TearDown() override { InstallClock(nullptr); }
    std::unique_ptr<ManualClock> clock_;
};

struct Case {
    const char* picture;
    Value value;
    const char* text;
};

// Day numbers of 31 October 1959 and 5 January 2024.
constexpr int32_t kOct31_1959 = 58015;
constexpr int32_t kJan5_2024 = 81457;

}  // namespace

TEST_F(PictureTest, DatesFormatAndReadBack) {
    ASSERT_EQ(MakeDate(10, 31, 1959), kOct31_1959);
    ASSERT_EQ(MakeDate(1, 5, 2024), kJan5_2024);
    const Case cases[] = {
        {"@D1", kOct31_1959, "10/31/59"},
        {"@D2", kOct31_1959, "10/31/1959"},
        {"@D3", kOct31_1959, "OCT 31,1959"},
        {"@D4", kOct31_1959, "October 31, 1959"},
        {"@D5", kOct31_1959, "31/10/59"},
        {"@D6", kOct31_1959, "31/10/1959"},
        {"@D7", kOct31_1959, "31 OCT 59"},
        {"@D8", kOct31_1959, "31 OCT 1959"},
        {"@D9", kOct31_1959, "59/10/31"},
        {"@D10", kOct31_1959, "1959/10/31"},
        {"@D11", kOct31_1959, "591031"},
        {"@D12", kOct31_1959, "19591031"},
        {"@D17", kOct31_1959, "10/31/1959"},
        {"@D18", kOct31_1959, "Saturday, October 31, 1959"},
        {"@D1", kJan5_2024, "1/05/24"},
        {"@D01", kJan5_2024, "01/05/24"},
        {"@D6", kJan5_2024, "5/01/2024"},
        {"@D06", kJan5_2024, "05/01/2024"},
        {"@D3", kJan5_2024, "JAN 5,2024"},
        {"@D6-", kJan5_2024, "5-01-2024"},
        {"@D10.", kJan5_2024, "2024.01.05"},
        {"@D8-", kJan5_2024, "5-JAN-2024"},
        {"@D2_", kJan5_2024, "1 05 2024"},
        {"@D11", kJan5_2024, "240105"},
        {"@D12", kJan5_2024, "20240105"},
        {"@D17", kJan5_2024, "1/5/2024"},
        {"d17", kJan5_2024, "1/5/2024"},   // the user's date code, without "@"
        {"@d6b@#1#", kJan5_2024, "5/01/2024"},  // as cut from a list format
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.picture);
        EXPECT_EQ(Format(c.value, c.picture), c.text);
        EXPECT_EQ(Deformat(c.text, c.picture), c.value);
    }
    // Year and month pictures read back to the first of the month.
    EXPECT_EQ(Format(kOct31_1959, "@D13"), "10/59");
    EXPECT_EQ(Format(kOct31_1959, "@D14"), "10/1959");
    EXPECT_EQ(Format(kOct31_1959, "@D15"), "59/10");
    EXPECT_EQ(Format(kOct31_1959, "@D16"), "1959/10");
    EXPECT_EQ(Deformat("10/1959", "@D14"), Value(MakeDate(10, 1, 1959)));
    EXPECT_EQ(Deformat("1959/10", "@D16"), Value(MakeDate(10, 1, 1959)));
}

TEST_F(PictureTest, DatesAcceptWhatUsersType) {
    EXPECT_EQ(Deformat("3/31/2024", "@D2"), Value(MakeDate(3, 31, 2024)));
    EXPECT_EQ(Deformat(" 3-31-24 ", "@D2"), Value(MakeDate(3, 31, 2024)));
    EXPECT_EQ(Deformat("03312024", "@D2"), Value(MakeDate(3, 31, 2024)));
    EXPECT_EQ(Deformat("033124", "@D1"), Value(MakeDate(3, 31, 2024)));
    EXPECT_EQ(Deformat("oct 31 1959", "@D3"), Value(kOct31_1959));
    EXPECT_EQ(Deformat("Sept 30, 2000", "@D4"), Value(MakeDate(9, 30, 2000)));
    EXPECT_EQ(Deformat("Monday, January 1, 2024", "@D18"), Value(MakeDate(1, 1, 2024)));
    EXPECT_EQ(Deformat("31.10.1959", "@D6"), Value(kOct31_1959));
    // Two-digit years: up to 19 years ahead of 2024, else the century before.
    EXPECT_EQ(Deformat("1/1/43", "@D1"), Value(MakeDate(1, 1, 2043)));
    EXPECT_EQ(Deformat("1/1/44", "@D1"), Value(MakeDate(1, 1, 1944)));
    EXPECT_EQ(Deformat("1/1/50", "@D1>40"), Value(MakeDate(1, 1, 2050)));
    // No year: this year.
    EXPECT_EQ(Deformat("2/29", "@D2"), Value(MakeDate(2, 29, 2024)));
}

TEST_F(PictureTest, BadAndBlankDates) {
    EXPECT_EQ(Format(0, "@D17b"), "");
    EXPECT_EQ(Format(0, "@D17"), "");
    EXPECT_EQ(Format(-4, "@D2"), "");
    EXPECT_EQ(Deformat("", "@d17"), Value(0));
    EXPECT_EQ(Deformat("   ", "@d17b"), Value(0));
    EXPECT_EQ(Deformat("2/30/2024", "@D2"), Value(0));
    EXPECT_EQ(Deformat("13/01/2024", "@D2"), Value(0));
    EXPECT_EQ(Deformat("hello", "@D2"), Value(0));
    EXPECT_FALSE(TryDeformat("2/30/2023", "@D2").has_value());
    EXPECT_FALSE(TryDeformat("1/2/3/4", "@D2").has_value());
    EXPECT_FALSE(TryDeformat("1/1/1700", "@D2").has_value());
    EXPECT_TRUE(TryDeformat("2/29/2024", "@D2").has_value());
    EXPECT_EQ(*TryDeformat("", "@D2"), Value(0));
}

TEST_F(PictureTest, TimesFormatAndReadBack) {
    const int32_t t1730 = MakeTime(17, 30);
    const int32_t t0905 = MakeTime(9, 5, 7);
    const Case cases[] = {
        {"@T1", t1730, "17:30"},
        {"@T2", t1730, "1730"},
        {"@T3", t1730, "5:30PM"},
        {"@T03", t1730, "05:30PM"},
        {"@T4", t1730, "17:30:00"},
        {"@T5", t1730, "173000"},
        {"@T6", t1730, "5:30:00PM"},
        {"@T7", t1730, "5:30 PM"},
        {"@T8", t1730, "5:30:00 PM"},
        {"@T4", t0905, "9:05:07"},
        {"@T04", t0905, "09:05:07"},
        {"@T05", t0905, "090507"},
        {"@T5", t0905, "90507"},
        {"@T3", MakeTime(0, 15), "12:15AM"},
        {"@T3", MakeTime(12, 0), "12:00PM"},
        {"@T1.", t1730, "17.30"},
        {"t7b", MakeTime(8, 0), "8:00 AM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.picture);
        EXPECT_EQ(Format(c.value, c.picture), c.text);
        EXPECT_EQ(Deformat(c.text, c.picture), c.value);
    }
}

TEST_F(PictureTest, TimesAcceptWhatUsersTypeAndRejectNonsense) {
    EXPECT_EQ(Deformat("14:05", "@T1"), Value(MakeTime(14, 5)));
    EXPECT_EQ(Deformat("2:05 pm", "@T1"), Value(MakeTime(14, 5)));
    EXPECT_EQ(Deformat("2:05p", "@T3"), Value(MakeTime(14, 5)));
    EXPECT_EQ(Deformat("12:30 am", "@T3"), Value(MakeTime(0, 30)));
    EXPECT_EQ(Deformat("1405", "@T4"), Value(MakeTime(14, 5)));
    EXPECT_EQ(Deformat("7", "@T1"), Value(MakeTime(7, 0)));
    EXPECT_EQ(Deformat("", "@T1"), Value(0));
    EXPECT_FALSE(TryDeformat("25:00", "@T1").has_value());
    EXPECT_FALSE(TryDeformat("10:75", "@T1").has_value());
    EXPECT_FALSE(TryDeformat("13:00 PM", "@T3").has_value());
    EXPECT_FALSE(TryDeformat("noon", "@T3").has_value());
    EXPECT_EQ(Deformat("noon", "@T3"), Value(0));
}

// 0 is "no time" and 1 is midnight: under every time picture, with or
// without "b", 0 is written blank and reads back as 0, so the two never mix
// (an exchange file or an entry turned every blank time into midnight).
TEST_F(PictureTest, AZeroTimeIsBlankUnderEveryTimePicture) {
    for (int n = 1; n <= 8; ++n) {
        for (const std::string suffix : {"", "b", "B"}) {
            const std::string picture = "@t" + std::to_string(n) + suffix;
            SCOPED_TRACE(picture);
            EXPECT_EQ(Format(int64_t{0}, picture), "");
            EXPECT_EQ(Deformat("", picture), Value(0));
            const std::string midnight = Format(int64_t{1}, picture);
            EXPECT_NE(midnight, "");
            EXPECT_EQ(Deformat(midnight, picture), Value(1));
        }
    }
    EXPECT_EQ(Format(int64_t{1}, "@T3"), "12:00AM");
    EXPECT_EQ(Format(int64_t{1}, "@T1"), "0:00");
    EXPECT_EQ(Format(int64_t{0}, "@T01"), "");
    EXPECT_EQ(Format(int64_t{-5}, "@T7"), "");
    // The "@" may be left out, as in list formats.
    EXPECT_EQ(Format(int64_t{0}, "T3"), "");
}

TEST_F(PictureTest, NumbersFormatAndReadBack) {
    const Case cases[] = {
        {"@N9", int64_t{4550000}, "4,550,000"},
        {"@N_9B", int64_t{4550000}, "  4550000"},
        {"@N09", int64_t{4550000}, "004550000"},
        {"@N*9", int64_t{45000}, "***45,000"},
        {"@N9_", int64_t{4550000}, "4 550 000"},
        {"@N9.", int64_t{4550000}, "4.550.000"},
        {"@N9.2", 4550.75, " 4,550.75"},
        {"@N_9`2", 4550.75, "  4550,75"},
        {"@N9.`2", 4550.75, " 4.550,75"},
        {"@N-9.2B", -2347.25, "-2,347.25"},
        {"@N9.2-", -2347.25, "2,347.25-"},
        {"@N(10.2)", -2347.25, "(2,347.25)"},
        {"@N$9.2B", 2347.25, "$2,347.25"},
        {"@N$10.2-", -2347.25, "$2,347.25-"},
        {"@n3", int64_t{5}, "  5"},
        {"@n-13", int64_t{-42}, "          -42"},
        {"@n13", int64_t{1234567890}, "1,234,567,890"},
        {"@n13.", int64_t{1234567}, "    1.234.567"},
        {"@n-2b", int64_t{-3}, "-3"},
        {"@N30.9", 1.5, "                   1.500000000"},
        {"@n1", int64_t{0}, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.picture);
        EXPECT_EQ(Format(c.value, c.picture), c.text);
        EXPECT_EQ(Deformat(c.text, c.picture).toReal(), c.value.toReal());
    }
}

TEST_F(PictureTest, NumberEdgeCases) {
    // Rounding is half away from zero on the decimal value, not its binary twin.
    EXPECT_EQ(Format(2.675, "@N_6.2"), "  2.68");
    EXPECT_EQ(Format(-2.675, "@N-_6.2"), " -2.68");
    EXPECT_EQ(Format(0.125, "@N4.2"), "0.13");
    EXPECT_EQ(Format(9.999, "@N5.2"), "10.00");
    // Blank when zero, also when the value rounds to zero.
    EXPECT_EQ(Format(0, "@n-2b"), "");
    EXPECT_EQ(Format(0.001, "@n6.2b"), "");
    // A number wider than the picture shows as #, never cut.
    EXPECT_EQ(Format(int64_t{1234}, "@n3"), "###");
    EXPECT_EQ(Format(int64_t{-5}, "@n1"), "#");
    // Negative values keep their sign even without a sign mark.
    EXPECT_EQ(Format(int64_t{-5}, "@n3"), " -5");
    // Texts: numeric texts format as numbers; others as 0.
    EXPECT_EQ(Format("12", "@n3"), " 12");
    EXPECT_EQ(Format("abc", "@n3"), "  0");
    // Large integers keep every digit.
    EXPECT_EQ(Format(int64_t{9007199254740993}, "@n_20"), "    9007199254740993");
    // Reading typed numbers.
    EXPECT_EQ(Deformat("1,234.5", "@N10.2"), Value(1234.5));
    EXPECT_EQ(Deformat("1.234,5", "@N10`2"), Value(1234.5));
    EXPECT_EQ(Deformat("(12)", "@N(5)"), Value(-12));
    EXPECT_EQ(Deformat("12-", "@N5-"), Value(-12));
    EXPECT_EQ(Deformat("", "@n3"), Value(0));
    EXPECT_EQ(Deformat("  42 ", "@n3"), Value(42));
    EXPECT_TRUE(Deformat("42", "@n3").isInt());
    EXPECT_FALSE(TryDeformat("4x2", "@n3").has_value());
    EXPECT_EQ(Deformat("$1,000", "@N$9"), Value(1000));
}

TEST_F(PictureTest, SizesBeyondAFieldAreRefused) {
    // Sizes and places that do not fit a field (or an int) are not valid
    // pictures: the value's text comes back, no exception, no huge text.
    for (const char* bad : {"@N3000000000", "@n12.3000000000", "@N2000000000", "@N65536", "@S99999999999",
                            "@D3000000000", "@T4294967297"}) {
        SCOPED_TRACE(bad);
        EXPECT_NO_THROW(EXPECT_EQ(Format(int64_t{1}, bad), "1"));
        EXPECT_NO_THROW(Deformat("1", bad));
        EXPECT_FALSE(ValidPicture(bad));
    }
    // The widest valid picture still works.
    EXPECT_TRUE(ValidPicture("@N65535"));
    EXPECT_EQ(Format(int64_t{7}, "@N65535").size(), 65535u);
    EXPECT_TRUE(ValidPicture("@N-_30.9") && ValidPicture("@d17") && ValidPicture("@S1") && ValidPicture("@K##K"));
    EXPECT_FALSE(ValidPicture("@D19") || ValidPicture("@X1") || ValidPicture(""));
    // A century window beyond 99 years is 99 years, as before.
    EXPECT_EQ(Format(int64_t{4}, "@D1>99999999999"), "1/01/01");
}

TEST_F(PictureTest, StringsPatternsAndKeyIns) {
    EXPECT_EQ(Format("abcdef", "@s3"), "abc");
    EXPECT_EQ(Format("ab", "@S20"), "ab");
    EXPECT_EQ(Format(int64_t{12}, "@s5"), "12");
    EXPECT_EQ(Deformat("  text ", "@s20"), Value("  text "));
    // Patterns: # a digit, < a digit blank when it leads with zero.
    EXPECT_EQ(Format(int64_t{1}, "@p#pb"), "1");
    EXPECT_EQ(Format(int64_t{0}, "@p#pb"), "");
    EXPECT_EQ(Format(int64_t{123456789}, "@P###-##-####P"), "123-45-6789");
    EXPECT_EQ(Format(int64_t{5551234}, "@P(###) ###-####P"), "(000) 555-1234");
    EXPECT_EQ(Format(int64_t{42}, "@P<<#P"), " 42");
    EXPECT_EQ(Deformat("123-45-6789", "@P###-##-####P"), Value(123456789));
    EXPECT_EQ(Deformat("1", "@p#pb"), Value(1));
    // Key-in templates keep their literal characters.
    EXPECT_EQ(Format("AB12", "@K@@-##K"), "AB-12");
    EXPECT_EQ(Deformat("AB-12", "@K@@-##K"), Value("AB12"));
    EXPECT_FALSE(TryDeformat("A1-12", "@K@@-##K").has_value());
    // Unknown pictures pass the value through.
    EXPECT_EQ(Format(int64_t{7}, "@X9"), "7");
    EXPECT_EQ(Format(int64_t{7}, ""), "7");
    EXPECT_EQ(PictureKind("@d17b"), 'D');
    EXPECT_EQ(PictureKind("s20"), 'S');
    EXPECT_EQ(PictureKind("@Q"), 0);
}

TEST_F(PictureTest, SystemFormatsAreSettable) {
    SystemFormats f;
    f.shortDate = "dd.MM.yyyy";
    f.longDate = "dddd, d. MMMM yyyy";
    f.shortTime = "HH:mm";
    f.longTime = "HH:mm:ss";
    SetSystemFormats(f);
    EXPECT_EQ(Format(kJan5_2024, "@D17"), "05.01.2024");
    EXPECT_EQ(Format(kJan5_2024, "@D18"), "Friday, 5. January 2024");
    EXPECT_EQ(Format(MakeTime(17, 30, 5), "@T7"), "17:30");
    EXPECT_EQ(Format(MakeTime(7, 30, 5), "@T8"), "07:30:05");
    EXPECT_EQ(Deformat("05.01.2024", "@D17"), Value(kJan5_2024));
    EXPECT_EQ(Deformat("31.10.59", "@D17"), Value(kOct31_1959));
    EXPECT_EQ(Deformat("17:30", "@T7"), Value(MakeTime(17, 30)));
    // Quoted text in a pattern stands as written.
    f.shortDate = "yyyy'y'MM'm'dd'd'";
    SetSystemFormats(f);
    EXPECT_EQ(Format(kJan5_2024, "@D17"), "2024y01m05d");
    EXPECT_EQ(Deformat("2024y01m05d", "@D17"), Value(kJan5_2024));
}

TEST(SystemFormatsLocale, CLocaleGivesTheDefaults) {
    const char* saved = std::getenv("LC_ALL");
    std::string keep = saved ? saved : "";
    setenv("LC_ALL", "C", 1);
    SystemFormats f = SystemFormatsFromLocale();
    EXPECT_EQ(f.shortDate, "M/d/yyyy");
    EXPECT_EQ(f.shortTime, "h:mm tt");
    if (saved) setenv("LC_ALL", keep.c_str(), 1);
    else unsetenv("LC_ALL");
}
