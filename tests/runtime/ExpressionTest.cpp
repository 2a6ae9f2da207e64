#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "ValuePrint.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Expression.h"
#include "platform/runtime/ProcedureContext.h"

using namespace kr;

namespace {

Value Eval(const std::string& e, const Bindings& b) {
    EvalResult r = Evaluate(e, b);
    EXPECT_EQ(r.error, 0) << e << ": " << r.message;
    return r.value;
}

Value Eval(const std::string& e) {
    Bindings none;
    return Eval(e, none);
}

int ErrorOf(const std::string& e) {
    Bindings none;
    EvalResult r = Evaluate(e, none);
    if (r.error) {
        EXPECT_FALSE(r.message.empty()) << e;
    }
    return r.error;
}

}  // namespace

TEST(Expression, ArithmeticAndPrecedence) {
    EXPECT_EQ(Eval("2+3"), Value(5));
    EXPECT_TRUE(Eval("2+3").isInt());
    EXPECT_EQ(Eval("2+3*4"), Value(14));
    EXPECT_EQ(Eval("(2+3)*4"), Value(20));
    EXPECT_EQ(Eval("7/2"), Value(3.5));
    EXPECT_EQ(Eval("6/2"), Value(3));
    EXPECT_EQ(Eval("7%3"), Value(1));
    EXPECT_EQ(Eval("2^3^2"), Value(512));
    EXPECT_EQ(Eval("-2^2"), Value(-4));
    EXPECT_EQ(Eval("10-4-3"), Value(3));
    EXPECT_EQ(Eval("- -3"), Value(3));
    EXPECT_EQ(Eval(".5 + 1.25"), Value(1.75));
    EXPECT_EQ(Eval("'12' + 3"), Value(15));   // numeric text counts as its number
    EXPECT_EQ(Eval("'abc' + 3"), Value(3));   // other text counts as 0
    EXPECT_EQ(Eval("'a' & 1+2"), Value("a3"));
    EXPECT_EQ(Eval("'it''s' & ' ' & 7/2"), Value("it's 3.5"));
    // Integer overflow goes over to reals instead of wrapping.
    EXPECT_TRUE(Eval("9223372036854775807 + 1").isReal());
}

TEST(Expression, ComparisonRules) {
    // Numbers numerically.
    EXPECT_EQ(Eval("10 > 9"), Value(1));
    EXPECT_EQ(Eval("2.0 = 2"), Value(1));
    // Texts blank-padded and with case.
    EXPECT_EQ(Eval("'abc' = 'abc   '"), Value(1));
    EXPECT_EQ(Eval("'abc' = 'ABC'"), Value(0));
    EXPECT_EQ(Eval("'abc' < 'abd'"), Value(1));
    EXPECT_EQ(Eval("'10' < '9'"), Value(1));  // two texts compare as texts
    // Mixed: numerically when the text is a number, else as texts.
    EXPECT_EQ(Eval("'10' > 9"), Value(1));
    EXPECT_EQ(Eval("' 2 ' = 2"), Value(1));
    EXPECT_EQ(Eval("'abc' = 0"), Value(0));
    EXPECT_EQ(Eval("'0x10' = 16"), Value(0));  // hexadecimal is not a number here
    // Every spelling of the operators.
    EXPECT_EQ(Eval("1 <> 2"), Value(1));
    EXPECT_EQ(Eval("1 ~= 1"), Value(0));
    EXPECT_EQ(Eval("2 <= 2 AND 2 =< 2 AND 2 >= 2 AND 2 => 2"), Value(1));
    EXPECT_EQ(Eval("3 ~< 2 AND 1 ~> 2"), Value(1));
}

TEST(Expression, Logic) {
    EXPECT_EQ(Eval("1 = 1 AND 2 = 2"), Value(1));
    EXPECT_EQ(Eval("1 = 2 OR 2 = 2"), Value(1));
    EXPECT_EQ(Eval("NOT 1 = 2"), Value(1));
    EXPECT_EQ(Eval("~(1 = 1)"), Value(0));
    EXPECT_EQ(Eval("1 = 1 OR 1 = 1 XOR 1 = 1"), Value(0));
    EXPECT_EQ(Eval("1 = 2 AND 1 = 1 OR 3 = 3"), Value(1));  // AND binds tighter
    EXPECT_EQ(Eval("'x' AND ''"), Value(0));                // blank text is false
    // A true OR does not read the names after it; a false AND neither.
    Bindings b;
    int reads = 0;
    b.Bind("Counted", [&] {
        ++reads;
        return Value(1);
    });
    EXPECT_EQ(Eval("1 OR Counted", b), Value(1));
    EXPECT_EQ(Eval("0 AND Counted", b), Value(0));
    EXPECT_EQ(reads, 0);
}

TEST(Expression, BoundNamesAndFilters) {
    Bindings fields;
    int32_t date = MakeDate(3, 31, 2024);
    fields.Bind("SCH:Date", [&] { return Value(int64_t{date}); });
    fields.BindValue("SCH:Description", "Weekly backup");
    fields.BindValue("LOC:ScheduleType", "Day of Week");
    // A filter binds its own variable over the table's fields.
    Bindings filter(&fields);
    filter.BindValue("SelectedDay", int64_t{MakeDate(3, 31, 2024)});
    EXPECT_EQ(Eval("(SCH:Date=SelectedDay)", filter), Value(1));
    date += 1;
    EXPECT_EQ(Eval("(SCH:Date=SelectedDay)", filter), Value(0));
    EXPECT_EQ(Eval("UPPER(sch:description) = 'WEEKLY BACKUP'", filter), Value(1));
    EXPECT_EQ(Eval("INSTRING('BACK', UPPER(SCH:Description), 1, 1) > 0", filter), Value(1));
    EXPECT_EQ(Eval("loc:scheduletype = 'Day of Week' AND SCH:Date > SelectedDay", filter), Value(1));
    // The child's own binding hides the parent's; unbinding uncovers it.
    filter.BindValue("SCH:Description", "Other");
    EXPECT_EQ(Eval("SCH:Description", filter), Value("Other"));
    filter.Unbind("sch:description");
    EXPECT_EQ(Eval("SCH:Description", filter), Value("Weekly backup"));
    EXPECT_TRUE(filter.Has("sch:date"));
    EXPECT_FALSE(fields.Has("SelectedDay"));
    // Rebinding replaces, without regard to case.
    fields.BindValue("sch:DESCRIPTION", "New");
    EXPECT_EQ(Eval("SCH:Description", fields), Value("New"));
    // Reading a binding by name is blind to case and to blanks around it,
    // as is every way the name is written.
    EXPECT_EQ(fields.Get("SCH:DESCRIPTION"), Value("New"));
    EXPECT_EQ(fields.Get("  sch:Description "), Value("New"));
    EXPECT_EQ(fields.Get(" SCH:DESCRIPTION"), Value("New"));
    EXPECT_FALSE(fields.Get("SCH:DESCRIPTIONS").has_value());
    // An unknown name is its own error.
    EvalResult r = Evaluate("Nobody + 1", filter);
    EXPECT_EQ(r.error, kUnknownVariable);
    EXPECT_NE(r.message.find("NOBODY"), std::string::npos);
}

TEST(Expression, Functions) {
    ManualClock clock(MakeDate(6, 15, 2024), MakeTime(13, 30));
    InstallClock(&clock);
    EXPECT_EQ(Eval("TODAY()"), Value(int64_t{MakeDate(6, 15, 2024)}));
    EXPECT_EQ(Eval("CLOCK()"), Value(int64_t{MakeTime(13, 30)}));
    EXPECT_EQ(Eval("FORMAT(TODAY(),@d12)"), Value("20240615"));
    EXPECT_EQ(Eval("FORMAT(TODAY(), '@D2')"), Value("6/15/2024"));
    EXPECT_EQ(Eval("FORMAT(-1234.5,@N(10.2))"), Value("(1,234.50)"));
    EXPECT_EQ(Eval("DEFORMAT('3/31/2024',@D2) = DATE(3,31,2024)"), Value(1));
    EXPECT_EQ(Eval("DEFORMAT('$1,234.50')"), Value(1234.5));
    EXPECT_EQ(Eval("YEAR(DATE(14,1,2023))"), Value(2024));
    EXPECT_EQ(Eval("MONTH(TODAY()) & '/' & DAY(TODAY())"), Value("6/15"));
    InstallClock(nullptr);

    EXPECT_EQ(Eval("UPPER('abc') & LOWER('DEF')"), Value("ABCdef"));
    EXPECT_EQ(Eval("CLIP('ab   ') & '|'"), Value("ab|"));
    EXPECT_EQ(Eval("LEFT('  ab') & '|'"), Value("ab|"));
    EXPECT_EQ(Eval("RIGHT('ab',4)"), Value("  ab"));
    EXPECT_EQ(Eval("SUB('abcdef',2,3)"), Value("bcd"));
    EXPECT_EQ(Eval("SUB('abcdef',-2,2)"), Value("ef"));
    EXPECT_EQ(Eval("INSTRING('cd','abcdef')"), Value(3));
    EXPECT_EQ(Eval("LEN('abc')"), Value(3));
    EXPECT_EQ(Eval("INT(-3.7)"), Value(-3));
    EXPECT_EQ(Eval("ABS(-3)"), Value(3));
    EXPECT_EQ(Eval("ROUND(45.2051,.01)"), Value(45.21));
    EXPECT_EQ(Eval("ROUND(2.675,.01)"), Value(2.68));
    EXPECT_EQ(Eval("ROUND(1234,100)"), Value(1200));
    EXPECT_EQ(Eval("NUMERIC('12.5') + NUMERIC('x')"), Value(1));
    EXPECT_EQ(Eval("CHOOSE(2,'a','b','c')"), Value("b"));
    EXPECT_EQ(Eval("CHOOSE(9,'a','b','c')"), Value("c"));
    EXPECT_EQ(Eval("CHOOSE(3 > 2,'yes','no')"), Value("yes"));
    EXPECT_EQ(Eval("CHOOSE(0,'yes','no')"), Value("no"));
    EXPECT_EQ(Eval("INRANGE(5,1,10) + INLIST('b','a','b')"), Value(3));
    EXPECT_EQ(Eval("CHR(65) & VAL('a')"), Value("A97"));
}

TEST(Expression, BadExpressionsGiveErrorsNotCrashes) {
    for (const char* bad : {"", "   ", "1 +", "(1", "1)", "'open", "1 2", "UPPER()", "UPPER('a','b')",
                            "NOSUCH(1)", "1 ** 2", "#", "5abc", "AND", "1/0", "5 % 0", "SUB('a',1)",
                            "FORMAT(1,)", "@", "FORMAT(1,@N2000000000)", "FORMAT(1,@n12.3000000000)"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(ErrorOf(bad), kBadExpression);
    }
    // Deep nesting is refused, not a stack overflow.
    std::string deep(100000, '(');
    deep += "1";
    deep += std::string(100000, ')');
    EXPECT_EQ(ErrorOf(deep), kBadExpression);
    EXPECT_EQ(ErrorOf(std::string(100000, '-').append("1")), kBadExpression);
    EXPECT_EQ(ErrorOf(std::string(100000, '~').append("1")), kBadExpression);
    // Moderate nesting works.
    EXPECT_EQ(Eval(std::string(50, '(').append("1").append(50, ')')), Value(1));
    // Long flat expressions are fine.
    std::string sum = "0";
    for (int i = 0; i < 100000; ++i) sum += "+1";
    EXPECT_EQ(Eval(sum), Value(100000));
    // A getter that throws is an error of the evaluation.
    Bindings b;
    b.Bind("Broken", []() -> Value { throw std::runtime_error("field not available"); });
    EXPECT_EQ(Evaluate("Broken = 1", b).error, kBadExpression);
}

TEST(Expression, NumbersOutsideTheIntegerRangeClamp) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max(), kMin = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(Value(1e300).toInt(), kMax);
    EXPECT_EQ(Value(-1e300).toInt(), kMin);
    EXPECT_EQ(Value(9223372036854775808.0).toInt(), kMax);
    EXPECT_EQ(Value(std::numeric_limits<double>::infinity()).toInt(), kMax);
    EXPECT_EQ(Value(std::nan("")).toInt(), 0);
    EXPECT_EQ(Value("1e30").toInt(), kMax);
    EXPECT_EQ(Value("-1e30").toInt(), kMin);
    EXPECT_EQ(Value(-2.9).toInt(), -2);
}

TEST(Expression, CompiledOnceEvaluatedOften) {
    CompiledExpression c = CompiledExpression::Compile("N % 3 = 0");
    ASSERT_TRUE(c.ok()) << c.message();
    // Evaluated from several threads with bindings of their own.
    std::atomic<int> hits{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            Bindings b;
            int64_t n = 0;
            b.Bind("N", [&] { return Value(n); });
            for (n = t * 300; n < (t + 1) * 300; ++n)
                if (c.Evaluate(b).value.truthy()) ++hits;
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(hits.load(), 400);
    CompiledExpression bad = CompiledExpression::Compile("1 +");
    EXPECT_FALSE(bad.ok());
    Bindings none;
    EXPECT_EQ(bad.Evaluate(none).error, kBadExpression);
    // Quoting builds constants that read back unchanged.
    EXPECT_EQ(Eval("UPPER(" + QuoteForExpression("O'Brien's") + ")"), Value("O'BRIEN'S"));
}

TEST(Expression, CurrentBindingsPerProcedureThread) {
    {
        ProcedureThreadScope scope(NewProcedureThreadNumber());
        CurrentBindings().BindValue("Mine", 1);
        EXPECT_EQ(Evaluate("Mine").value, Value(1));
        {
            ProcedureThreadScope other(NewProcedureThreadNumber());
            EXPECT_EQ(Evaluate("Mine").error, kUnknownVariable);
        }
        // A pushed set falls back to the one it covers, and ends with its scope.
        Bindings local(&CurrentBindings());
        local.BindValue("Extra", 2);
        {
            BindingsScope push(local);
            EXPECT_EQ(Evaluate("Mine + Extra").value, Value(3));
        }
        EXPECT_EQ(Evaluate("Extra").error, kUnknownVariable);
        CurrentBindings().Clear();
        EXPECT_EQ(Evaluate("Mine").error, kUnknownVariable);
    }
    // Another OS thread of the same procedure number sees the same set.
    int number = NewProcedureThreadNumber();
    {
        ProcedureThreadScope scope(number);
        CurrentBindings().BindValue("Shared", 7);
    }
    Value seen;
    std::thread worker([&] {
        ProcedureThreadScope scope(number);
        seen = Evaluate("Shared").value;
    });
    worker.join();
    EXPECT_EQ(seen, Value(7));
    DropBindings(number);
    {
        ProcedureThreadScope scope(number);
        EXPECT_EQ(Evaluate("Shared").error, kUnknownVariable);
    }
}

namespace kr {
namespace {

TEST(Expression, AgeIsDaysThenMonthsThenYears) {
    ManualClock clock(MakeDate(6, 15, 2024), MakeTime(9, 0));
    InstallClock(&clock);
    EXPECT_EQ(Eval("AGE(DATE(6,15,2024),TODAY())").toText(), "0 DAYS");
    EXPECT_EQ(Eval("AGE(DATE(4,16,2024),TODAY())").toText(), "60 DAYS");
    EXPECT_EQ(Eval("AGE(DATE(4,15,2024),TODAY())").toText(), "2 MOS");  // 61 days
    // A month counts once its day is reached.
    EXPECT_EQ(Eval("AGE(DATE(3,16,2024),TODAY())").toText(), "2 MOS");
    EXPECT_EQ(Eval("AGE(DATE(3,15,2024),TODAY())").toText(), "3 MOS");
    EXPECT_EQ(Eval("AGE(DATE(6,16,2022),TODAY())").toText(), "23 MOS");
    EXPECT_EQ(Eval("AGE(DATE(6,15,2022),TODAY())").toText(), "2 YRS");
    // A birthday not yet reached this year.
    EXPECT_EQ(Eval("AGE(DATE(6,16,1970),TODAY())").toText(), "53 YRS");
    EXPECT_EQ(Eval("AGE(DATE(6,15,1970),TODAY())").toText(), "54 YRS");
    EXPECT_EQ(Eval("AGE(DATE(2,29,2020),DATE(2,28,2024))").toText(), "3 YRS");
    EXPECT_NE(ErrorOf("AGE(TODAY())"), 0);
    InstallClock(nullptr);
}

}  // namespace
}  // namespace kr
