// Script values, value references and argument quoting.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "scriptedit/ScriptText.h"
#include "scheduler/RunnerSettings.h"
#include "scheduler/ScriptValues.h"
#include "scheduler/TranslateValues.h"

using namespace kr;

namespace {

// 5 March 2024, 08:07:09.
class ValuesTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock_ = std::make_unique<ManualClock>(MakeDate(3, 5, 2024), MakeTime(8, 7, 9));
        InstallClock(clock_.get());
        SystemFormats f;
        f.shortTime = "HH:mm";
        SetSystemFormats(f);
        ScriptValues().Clear();
        SetFocusTextSource({});
    }
    void TearDown() override {
        InstallClock(nullptr);
        ScriptValues().Clear();
        SetFocusTextSource({});
    }
    std::unique_ptr<ManualClock> clock_;
};

}  // namespace

TEST(QuoteValueTest, QuotesWhatASplitAtBlanksWouldBreak) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"", "\"\""},
        {"   ", "\"\""},
        {"\"\"", "\"\""},
        {"abc   ", "abc"},
        {"a b", "\"a b\""},
        {"  lead", "\"  lead\""},
        {"a,b", "\"a,b\""},
        {"/tmp/x", "\"/tmp/x\""},
        {"C:\\dir", "\"C:\\dir\""},
        {"\"a b\"", "\"a b\""},      // already quoted: not quoted twice
        {"\"plain\"", "plain"},      // quotes that protect nothing go
        {"x.txt", "x.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(QuoteIfNeeded(c.in), c.out) << "[" << c.in << "]";

    std::string v = "\"\"";
    UnquoteValue(v);
    EXPECT_EQ(v, "");
    v = "\"x y\"  ";
    UnquoteValue(v);
    EXPECT_EQ(v, "x y  ");
    for (const char* same : {"\"open", "\"", "a\"b\"", " \"x\""}) {
        v = same;
        UnquoteValue(v);
        EXPECT_EQ(v, same);
    }
}

TEST_F(ValuesTest, EveryReservedName) {
    EXPECT_EQ(TranslateVariable("YYYY-MM-DD"), "2024-03-05");
    EXPECT_EQ(TranslateVariable("DD-MM-YY"), "05-03-24");
    EXPECT_EQ(TranslateVariable("MM-DD-YY"), "03-05-24");
    EXPECT_EQ(TranslateVariable("DDMMYY"), "050324");
    EXPECT_EQ(TranslateVariable("MMDDYY"), "030524");
    EXPECT_EQ(TranslateVariable("DATE"), "20240305");
    EXPECT_EQ(TranslateVariable("DATE-1"), "20240304");
    EXPECT_EQ(TranslateVariable("DATE+1"), "20240306");
    EXPECT_EQ(TranslateVariable("TODAY"), runner::UserDate(MakeDate(3, 5, 2024)));
    EXPECT_EQ(TranslateVariable("YESTERDAY"), runner::UserDate(MakeDate(3, 4, 2024)));
    EXPECT_EQ(TranslateVariable("TOMORROW"), runner::UserDate(MakeDate(3, 6, 2024)));
    EXPECT_FALSE(TranslateVariable("TODAY").empty());
    EXPECT_EQ(TranslateVariable("TIME"), "080709");
    EXPECT_EQ(TranslateVariable("NOW"), "08:07");
    EXPECT_EQ(TranslateVariable("FOCUS"), "");
    SetFocusTextSource([] { return std::string(300, 'w'); });
    EXPECT_EQ(TranslateVariable("FOCUS"), std::string(254, 'w'));
    SetFocusTextSource([] { return std::string("Untitled - Editor"); });
    EXPECT_EQ(TranslateValues("[Focus]"), "Untitled - Editor");

    // Names are matched without regard to case; dates carry over month and year ends.
    EXPECT_EQ(TranslateValues("f[date].txt"), "f20240305.txt");
    clock_->Set(MakeDate(2, 29, 2024), MakeTime(0, 0));
    EXPECT_EQ(TranslateValues("[DATE+1] [date-1]"), "20240301 20240228");
    clock_->Set(MakeDate(12, 31, 2023), MakeTime(23, 59, 59));
    EXPECT_EQ(TranslateValues("[Date+1]/[ddmmyy]/[TIME]"), "20240101/311223/235959");
    clock_->Set(MakeDate(1, 1, 2024), MakeTime(0, 0));
    EXPECT_EQ(TranslateValues("[DATE-1]"), "20231231");
}

TEST_F(ValuesTest, BracketsAndUnknownReferences) {
    EXPECT_EQ(TranslateValues("a[[b"), "a[b");
    EXPECT_EQ(TranslateValues("a[]b"), "a]b");
    EXPECT_EQ(TranslateValues("[[DATE]"), "[DATE]");  // the escape keeps the name as written
    EXPECT_EQ(TranslateValues("x ["), "x [");         // a "[" at the end stays
    EXPECT_EQ(TranslateValues("x[NEVERSET]y"), "xy");
    EXPECT_EQ(TranslateValues("[NEVERSET]"), "");
    EXPECT_EQ(TranslateValues("no references   "), "no references");
    EXPECT_EQ(TranslateValues(""), "");
    // An unclosed reference stays as written; one closed inside it is replaced.
    EXPECT_EQ(TranslateValues("[abc"), "[abc");
    EXPECT_EQ(TranslateValues("x[a[DATE] y"), "x[a20240305 y");
    // A reference directly behind one whose value is empty is replaced too.
    EXPECT_EQ(TranslateValues("[NEVERSET][DATE]"), "20240305");
}

TEST_F(ValuesTest, NestedReferencesAndValuesThatHoldReferences) {
    ScriptValues().Put("B", "C");
    ScriptValues().Put("AC", "found");
    EXPECT_EQ(TranslateValues("<[A[B]]>"), "<found>");
    ScriptValues().Put("ANSWER", "42");
    ScriptValues().Put("N", "ANSWER");
    // "[[" is a literal "[": what follows it is text, and a "]" stays as it is.
    EXPECT_EQ(TranslateValues("[[N] is [N]"), "[N] is ANSWER");
    EXPECT_EQ(TranslateValues("[[N]]"), "[N]]");
    EXPECT_EQ(TranslateValues("[[N][N]]"), "[N]ANSWER]");
    EXPECT_EQ(TranslateValues("[[[N]]]"), "[ANSWER]]");
    EXPECT_EQ(TranslateValues("[[N][]"), "[N]]");
    EXPECT_EQ(TranslateValues("[ [N]]"), "");  // the outer name " ANSWER" is not set

    // A value is scanned again from its second character.
    ScriptValues().Put("X", "a[ANSWER]");
    EXPECT_EQ(TranslateValues("[X]"), "a42");
    // A value that refers to itself ends.
    ScriptValues().Put("SELF", "[SELF]");
    EXPECT_EQ(TranslateValues("[SELF]"), "[SELF]");
    ScriptValues().Put("GROW", "g[GROW]");
    const std::string grown = TranslateValues("[GROW]");
    EXPECT_LE(grown.size(), kTranslateBufferSize);
    EXPECT_EQ(grown.substr(0, 4), "gggg");

    // A value that brings back the reference it replaced in another form
    // flips the text between two forms; the translation still ends, and so
    // does one through the title of another program's window.
    ScriptValues().Put("C", "C][a[C]");
    const std::string flipped = TranslateValues("[a[C]");
    EXPECT_LE(flipped.size(), kTranslateBufferSize);
    SetFocusTextSource([] { return std::string("FOCUS][a[FOCUS]"); });
    EXPECT_LE(TranslateValues("[a[FOCUS]").size(), kTranslateBufferSize);
}

TEST_F(ValuesTest, ScanLimits) {
    // A reference longer than the scanner looks stays as written.
    const std::string longName = "[" + std::string(6000, 'a') + "]";
    EXPECT_EQ(TranslateValues(longName), longName);
    EXPECT_EQ(TranslateValues("[" + std::string(4000, 'a') + "]"), "");
    // Names are read up to 256 characters and keyed on their first 32.
    ScriptValues().Put(std::string(32, 'K'), "key");
    EXPECT_EQ(TranslateValues("[" + std::string(40, 'k') + "]"), "key");
    // The working buffer holds 16384 characters.
    EXPECT_EQ(TranslateValues(std::string(20000, 'z')).size(), kTranslateBufferSize);
    // Many unclosed references end in bounded time.
    std::string unclosed;
    for (int i = 0; i < 8000; ++i) unclosed += "[a";
    EXPECT_EQ(TranslateValues(unclosed), unclosed);
}

TEST_F(ValuesTest, SetScriptVariableTranslatesAndEvaluates) {
    SetScriptVariable("count", "=2+3");
    EXPECT_EQ(TranslateValues("[COUNT]"), "5");
    EXPECT_EQ(ScriptValues().Find("Count")->Value, 5);
    SetScriptVariable("stamp", "backup-[DATE]");
    EXPECT_EQ(ScriptValues().Find("STAMP")->StringValue, "backup-20240305");
    EXPECT_EQ(ScriptValues().Find("STAMP")->Value, 0);
    SetScriptVariable("bad", "=2+");
    EXPECT_EQ(ScriptValues().Find("BAD")->StringValue, "=2+");
    SetScriptVariable("next", "=[COUNT]*2");
    EXPECT_EQ(TranslateValues("[next]"), "10");
    SetScriptVariable("price", "12.345");
    EXPECT_DOUBLE_EQ(ScriptValues().Find("PRICE")->Value, 12.35);
    SetScriptVariable("long", std::string(300, 'q'));
    EXPECT_EQ(ScriptValues().Find("LONG")->StringValue.size(), kScriptValueTextSize);
    // Updating keeps one entry per name, in name order.
    SetScriptVariable("COUNT", "7");
    EXPECT_EQ(TranslateValues("[count]"), "7");
    auto entries = ScriptValues().Entries();
    ASSERT_EQ(entries.size(), 6u);
    for (std::size_t i = 1; i < entries.size(); ++i) EXPECT_LT(entries[i - 1].Name, entries[i].Name);
    // A reference that begins with "=" is evaluated.
    EXPECT_EQ(TranslateValues("[=3*4]"), "12");
    EXPECT_EQ(TranslateValues("[='a' & 'b']"), "ab");
    // The age reference of a birthday message.
    EXPECT_EQ(TranslateValues("Ann is [= AGE(DATE(1,1,1900),DATE(1,1,1950))] today"), "Ann is 50 YRS today");
}

TEST_F(ValuesTest, CompareScriptValue) {
    SetScriptVariable("RESPONSE", "2");
    EXPECT_EQ(CompareScriptValue("RESPONSE", "=", "2"), 1);
    EXPECT_EQ(CompareScriptValue("response", "<>", "2"), 0);
    EXPECT_EQ(CompareScriptValue("RESPONSE", "<", "10"), 1);  // numbers, not texts
    SetScriptVariable("WORD", "abc");
    EXPECT_EQ(CompareScriptValue("WORD", "<", "abd"), 1);
    EXPECT_EQ(CompareScriptValue("WORD", "=", "ABC"), 0);  // texts with regard to case
    EXPECT_EQ(CompareScriptValue("WORD", "=", "abc   "), 1);
    EXPECT_EQ(CompareScriptValue("WORD", "=>", "abc"), 1);
    EXPECT_EQ(CompareScriptValue("WORD", "<=", "abb"), 0);
    // ">=" and "=<" are not operators.
    EXPECT_EQ(CompareScriptValue("RESPONSE", ">=", "1"), 0);
    EXPECT_EQ(CompareScriptValue("RESPONSE", "=<", "3"), 0);
    EXPECT_EQ(CompareScriptValue("RESPONSE", "?", "2"), 0);
    // The right side is translated when it is a reference.
    SetScriptVariable("OTHER", "2");
    EXPECT_EQ(CompareScriptValue("RESPONSE", "=", "[OTHER]"), 1);
    // Names that always compare as numbers: an unset FILESIZE is 0, which
    // equals an empty right side read as a number.
    EXPECT_EQ(CompareScriptValue("FILESIZE", "=", ""), 1);
    EXPECT_EQ(CompareScriptValue("DATE", ">", "20240304"), 1);
    EXPECT_EQ(CompareScriptValue("TIME", "<", "090000"), 1);
    // An unset value against an unset-looking text compares as texts.
    EXPECT_EQ(CompareScriptValue("NEVERSET", "=", ""), 1);
    EXPECT_EQ(CompareScriptValue("NEVERSET", "<", "a"), 1);
}
