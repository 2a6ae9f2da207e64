// The display-free list core over real tables: filters translated to SQL
// select exactly the records the evaluator accepts, keyset pages join up in
// both directions, ranges, the locator and positions.
#include <iterator>
#include <map>
#include <set>

#include "../ListFixture.h"
#include "dictionary/OrganiserTables.h"
#include "platform/data/ListQuery.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Expression.h"

namespace kr::test {
namespace {

using data::ListQuery;
using data::ListRow;

class ListQueryTest : public ListFixture {
protected:
    void SetUp() override {
        ListFixture::SetUp();
        InstallClock(&clock_);
        const char* cats[] = {"Home", "work", "Work ", "Bills", ""};
        const char* words[] = {"Backup", "backup disk", "Call O'Brien", "Pay rent", "zz", "Alpha"};
        for (int i = 1; i <= 60; ++i) {
            int32_t date = i % 7 == 0 ? 0 : today_ + (i % 45) - 20;
            AddTask(i, date, cats[i % 5], std::string(words[i % 6]) + " " + std::to_string(i), i % 4 == 0,
                    i % 9 == 0);
        }
        AddItem(3, 1, "Send Keys");
        AddItem(3, 2, "Wait");
        AddItem(8, 1, "Send Email");
    }
    void TearDown() override {
        InstallClock(nullptr);
        ListFixture::TearDown();
    }

    // Every row of the query, page by page forward.
    std::vector<int> Ids(ListQuery& q, int page = 7) {
        std::vector<int> out;
        std::vector<ListRow> rows;
        const ListRow* anchor = nullptr;
        ListRow last;
        for (;;) {
            EXPECT_EQ(q.Page(anchor, true, page, rows), 0);
            for (auto& r : rows) out.push_back(static_cast<int>(r.field(idField()).toInt()));
            if (static_cast<int>(rows.size()) < page) break;
            last = rows.back();
            anchor = &last;
        }
        return out;
    }
    // The same, backwards from the end.
    std::vector<int> IdsBack(ListQuery& q, int page = 5) {
        std::vector<int> out;
        std::vector<ListRow> rows;
        const ListRow* anchor = nullptr;
        ListRow first;
        for (;;) {
            EXPECT_EQ(q.Page(anchor, false, page, rows), 0);
            for (auto it = rows.rbegin(); it != rows.rend(); ++it)
                out.insert(out.begin(), static_cast<int>(it->field(idField()).toInt()));
            if (static_cast<int>(rows.size()) < page) break;
            first = rows.front();
            anchor = &first;
        }
        return out;
    }
    static int idField() { return ScheduleDef().fieldIndex("SCH:ID"); }

    // The ids the evaluator accepts, record by record, in ID order.
    std::set<int> Expected(const std::string& filter, Bindings& extra) {
        std::set<int> out;
        sch().Set(ScheduleDef().key("SCH:KeyID"));
        while (sch().Next() == 0) {
            Bindings b(&extra);
            for (const auto& f : ScheduleDef().fields)
                if (!f.isGroup()) b.BindValue(f.name, f.get(sch().Record()));
            EvalResult r = Evaluate(filter, b);
            EXPECT_TRUE(r.ok()) << filter << ": " << r.message;
            if (r.value.truthy()) out.insert(sch().Rec<Schedule>().ID);
        }
        return out;
    }

    int32_t today_ = MakeDate(3, 15, 2024);
    ManualClock clock_{MakeDate(3, 15, 2024), 1};
};

TEST_F(ListQueryTest, TranslatedFiltersSelectWhatTheEvaluatorSelects) {
    Bindings extra(&CurrentBindings());
    extra.BindValue("SelectedDay", int64_t{today_ + 3});
    extra.BindValue("Filter:Category", std::string("Work"));
    // Multi-byte text: pieces and positions count bytes both ways.
    AddTask(61, today_, "Caf\xc3\xa9", "Caf\xc3\xa9 au lait");
    const std::string filters[] = {
        "SCH:Date=TODAY()",
        "(SCH:Date=SelectedDay)",
        "MONTH(SCH:Date)=MONTH(TODAY())",
        "YEAR(SCH:Date) = 2024 AND DAY(SCH:Date) > 10",
        "~(Sch:Disabled OR Sch:Completed)",
        "NOT SCH:Disabled",
        "SCH:Category=Filter:Category",
        "UPPER(SCH:Category)='WORK'",
        "SCH:Category<>'' AND SCH:Category < 'Home'",
        "INSTRING('BACKUP',UPPER(SCH:Description),1,1) > 0",
        "SUB(UPPER(SCH:Description),1,4) = 'CALL'",
        "SUB(SCH:Description,1,4) = 'Pay'",       // the piece ends in a blank
        "UPPER(SUB(SCH:Description,1,7)) = 'BACKUP'",
        "SCH:ID >= '30' OR SCH:ID < 3",
        "SCH:Description = 'Call O''Brien 2'",
        "SCH:Description & 'x' = 'zz 4x'",       // texts joined: SQLite's ||
        "UPPER(SCH:Category & '/' & SCH:Description) = 'HOME/ZZ 4'",
        "SCH:ID & 'x' = '4x'",                    // a number joined: evaluated per record
        "SCH:Date > TODAY() XOR SCH:Disabled",    // the same
        "SCH:Date + 1 > TODAY() XOR SCH:Description & '' = 'Alpha 6'",
        "SCH:Category = 5",                       // a text field against a number
        "Filter:Category = 'Work' OR SCH:ID < 5",  // a part without fields, decided once
        "SelectedDay = 0 AND SCH:ID < 5",
        // A piece keeps its trailing blank where it is joined or searched,
        // and drops it where it is compared.
        "SUB(SCH:Description,1,5) & 'x' = 'Call x'",
        "INSTRING(' ', SUB(SCH:Description,1,5), 1, 1) = 5",
        "CLIP(SUB(SCH:Description,1,5)) & 'x' = 'Callx'",
        "SUB(SCH:Description,5,3) = ' au'",
        "INSTRING('au', SCH:Description, 1, 1) = 7",
        // Ordered as the runtime compares: blank-padded, so a byte below
        // the blank after the shorter text puts that text last.
        "(SCH:Category)<'" + std::string(2, '\0') + "K' OR SCH:ID < 3",
        "SCH:Category < 'Home\tx'",
        "SCH:Description >= 'Pay rent 3\x01'",
        // XOR: left to right, over empty texts and absent dates.
        "SCH:Category = '' XOR SCH:Date = 0",
        "SCH:Category = '' XOR SCH:Disabled XOR SCH:Completed",
        "SCH:ID < 10 OR SCH:Category = '' XOR SCH:Disabled",
        "MONTH(SCH:Date) = 0 XOR SCH:Category < 'B' AND SCH:ID > 20",
    };
    for (const std::string& f : filters) {
        ListQuery q(sch());
        q.SetBindings(&extra);
        q.SetKeyOrder(ScheduleDef().key("SCH:KeyID"));
        q.SetFilter(f);
        ASSERT_EQ(q.Apply(), 0) << f << ": " << q.Message();
        std::vector<int> got = Ids(q);
        std::set<int> want = Expected(f, extra);
        EXPECT_EQ(std::set<int>(got.begin(), got.end()), want) << f << " where " << q.WhereSql();
        EXPECT_EQ(q.Count(), static_cast<int64_t>(want.size())) << f;
    }
    // XOR has an SQL form.
    for (const char* f : {"SCH:Category = '' XOR SCH:Date = 0", "SCH:Date > TODAY() XOR SCH:Disabled"}) {
        ListQuery x(sch());
        x.SetFilter(f);
        ASSERT_EQ(x.Apply(), 0);
        EXPECT_FALSE(x.HasResidue()) << f;
    }
    // The first filters have an SQL form and leave nothing to check per record.
    ListQuery q(sch());
    q.SetBindings(&extra);
    q.SetFilter("MONTH(SCH:Date)=MONTH(TODAY()) AND SCH:Category=Filter:Category");
    ASSERT_EQ(q.Apply(), 0);
    EXPECT_FALSE(q.HasResidue());
    // User text is bound, never pasted into the SQL.
    EXPECT_EQ(q.WhereSql().find("Work"), std::string::npos);
    // Texts joined with "&" need no check per record either.
    q.SetFilter("SCH:Description & 'x' = 'zz 4x'", "join");
    ASSERT_EQ(q.Apply(), 0);
    EXPECT_FALSE(q.HasResidue());
    EXPECT_EQ(q.WhereSql().find("zz"), std::string::npos);
    q.SetFilter("", "join");
    // A filter that can hold for no record reads none.
    q.SetFilter("0", "~none");
    ASSERT_EQ(q.Apply(), 0);
    EXPECT_FALSE(q.HasResidue());
    EXPECT_EQ(q.Count(), 0);
}

TEST_F(ListQueryTest, NamedFiltersAreAndedAndBadOnesReportTheirError) {
    ListQuery q(sch());
    q.SetFilter("SCH:Disabled = 0", "1 Active");
    q.SetFilter("SCH:Category = 'Home'", "6 Query");
    ASSERT_EQ(q.Apply(), 0);
    for (int id : Ids(q)) {
        EXPECT_EQ(id % 4 == 0, false);
        EXPECT_EQ(id % 5, 0);  // "Home"
    }
    q.SetFilter("", "6 Query");
    ASSERT_EQ(q.Apply(), 0);
    EXPECT_EQ(q.Count(), 45);

    q.SetFilter("SCH:Date = ", "2");
    EXPECT_EQ(q.Apply(), kBadExpression);
    q.SetFilter("SCH:Date = NoSuchName", "2");
    EXPECT_EQ(q.Apply(), kUnknownVariable);
    EXPECT_NE(q.Message(), "");
}

TEST_F(ListQueryTest, PagesJoinUpBothWaysInEveryOrder) {
    const char* orders[] = {"SCH:Date,SCH:Time", "-UPPER(SCH:Description)", "UPPER(SCH:Category),-SCH:Date",
                            "SCH:Disabled"};
    for (const char* o : orders) {
        ListQuery q(sch());
        ASSERT_TRUE(q.SetOrderText(o));
        ASSERT_EQ(q.Apply(), 0);
        std::vector<int> fwd = Ids(q), back = IdsBack(q), one = Ids(q, 1000);
        EXPECT_EQ(fwd.size(), 60u) << o;
        EXPECT_EQ(fwd, one) << o;
        EXPECT_EQ(fwd, back) << o;
        // Position and offset agree with the page order.
        std::vector<ListRow> rows;
        ASSERT_EQ(q.PageAt(23, 5, rows), 0);
        ASSERT_EQ(rows.size(), 5u);
        EXPECT_EQ(rows[0].field(idField()).toInt(), fwd[23]) << o;
        EXPECT_EQ(q.RowsBefore(rows[2]), 25) << o;
    }
    // Equal values keep the order they were added in (row number last).
    ListQuery q(sch());
    q.SetOrderText("SCH:Disabled");
    q.Apply();
    std::vector<int> ids = Ids(q);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.begin() + 45));
    // An unknown field leaves the order as it was.
    std::string why;
    EXPECT_FALSE(q.SetOrderText("SCH:Nothing", &why));
    EXPECT_NE(why, "");
}

TEST_F(ListQueryTest, RangesLocatorAndPerRecordChecks) {
    ListQuery q(sch());
    q.SetKeyOrder(ScheduleDef().key("SCH:KeyCategory"));
    std::string cat = "WORK";
    q.AddRange("SCH:Category", [&] { return Value(cat); });  // keys ignore case
    ASSERT_EQ(q.Apply(), 0);
    EXPECT_EQ(q.Count(), 24);  // "work" and "Work " both
    cat = "Home";
    ASSERT_EQ(q.Apply(), 0);
    EXPECT_EQ(q.Count(), 12);

    ListQuery d(sch());
    d.SetKeyOrder(ScheduleDef().key("SCH:KeyDate"));
    d.AddRange("SCH:Date", [&] { return Value(int64_t{today_}); }, [&] { return Value(int64_t{today_ + 5}); });
    ASSERT_EQ(d.Apply(), 0);
    for (int id : Ids(d)) {
        int off = id % 45 - 20;
        EXPECT_TRUE(off >= 0 && off <= 5 && id % 7 != 0) << id;
    }
    // The locator: the first row at or after the value.
    ListQuery l(sch());
    l.SetOrderText("UPPER(SCH:Description)");
    l.Apply();
    std::vector<int> all = Ids(l);
    int64_t pos = l.LocatePosition(Value("call"));
    ASSERT_GE(pos, 0);
    std::vector<ListRow> rows;
    l.PageAt(pos, 1, rows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].field(ScheduleDef().fieldIndex("SCH:Description")).toText().substr(0, 4), "Call");
    l.PageAt(pos - 1, 1, rows);
    EXPECT_EQ(rows[0].field(ScheduleDef().fieldIndex("SCH:Description")).toText().substr(0, 6), "backup");

    // A record check narrows like a filter, in counts and positions too.
    ListQuery c(sch());
    c.SetKeyOrder(ScheduleDef().key("SCH:KeyID"));
    c.SetRecordCheck([](const void* r) { return static_cast<const Schedule*>(r)->ID % 3 == 0; });
    ASSERT_EQ(c.Apply(), 0);
    EXPECT_EQ(c.Count(), 20);
    c.PageAt(4, 1, rows);
    EXPECT_EQ(rows[0].field(idField()).toInt(), 15);
    EXPECT_EQ(c.RowsBefore(rows[0]), 4);
    ListRow gone;
    EXPECT_FALSE(c.Fetch(rows[0].row + 1, gone));
}

TEST_F(ListQueryTest, AConditionOnAScriptFieldHoldsWhenAnyItemMatches) {
    ListQuery q(sch());
    q.AddChild({&ScriptingDef(), "SCR:ID", "SCH:ID"});
    q.SetFilter("SCR:Action = 'Wait' OR SCR:Action = 'Send Email'");
    ASSERT_EQ(q.Apply(), 0);
    std::vector<int> ids = Ids(q);
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()), (std::set<int>{3, 8}));
    q.SetFilter("SCR:Action = 'Send Keys' AND SCR:Action = 'Wait'");  // two items of task 3
    ASSERT_EQ(q.Apply(), 0);
    EXPECT_EQ(Ids(q), std::vector<int>{3});
}

// A memo named in a part left to the evaluator is read from each row, not
// from the record the thread last loaded: the Clipboard Manager's entries by
// length of their contents.
TEST_F(ListQueryTest, AMemoLeftToTheEvaluatorIsReadFromEachRow) {
    data::Table& clip = data::TableOf(ClipboardDef());
    ASSERT_EQ(clip.Create(), 0);
    ASSERT_EQ(clip.Open(), 0);
    const std::size_t lengths[] = {50, 150, 99, 101, 300, 0};
    std::map<int64_t, std::size_t> lengthOf;
    std::set<int64_t> generalRows;
    for (std::size_t i = 0; i < std::size(lengths); ++i) {
        clip.Clear();
        ClipboardRecord& r = clip.Rec<ClipboardRecord>();
        r.ClipHashKey = "entry " + std::to_string(i);
        r.Category = i % 2 ? "General" : "Work";
        // Trailing blanks and a line break: CLIP takes the blanks only.
        r.ClipContents = std::string(lengths[i], 'x') + (i == 3 ? "\n   " : "   ");
        ASSERT_EQ(clip.Add(), 0);
        lengthOf[clip.Pointer()] = lengths[i] + (i == 3 ? 1 : 0);
        if (i % 2) generalRows.insert(clip.Pointer());
    }
    // The thread's record holds a long entry: a filter reading it would
    // take every row.
    Bindings extra(&CurrentBindings());
    extra.BindValue("CLI:ClipContents", std::string(500, 'y'));
    auto rowsOf = [&](const std::string& filter) {
        ListQuery q(clip);
        q.SetBindings(&extra);
        q.SetKeyOrder(ClipboardDef().key("CLI:KeyClipHash"));
        q.SetFilter(filter);
        EXPECT_EQ(q.Apply(), 0) << q.Message();
        EXPECT_TRUE(q.HasResidue()) << filter;
        std::set<int64_t> paged, scanned;
        std::vector<ListRow> rows;
        EXPECT_EQ(q.Page(nullptr, true, 100, rows), 0);
        for (const ListRow& r : rows) paged.insert(r.row);
        int64_t last = 0;
        int read = 0;
        const std::vector<int> none;
        EXPECT_EQ(q.Scan(&none, 0, 100, [&](const ListRow& r) { return scanned.insert(r.row), true; }, last, read), 0);
        EXPECT_EQ(paged, scanned) << filter;
        EXPECT_EQ(q.Count(), static_cast<int64_t>(paged.size())) << filter;
        for (const auto& [row, length] : lengthOf) {
            ListRow one;
            EXPECT_EQ(q.Fetch(row, one), paged.count(row) == 1) << filter << " row " << row;
        }
        return paged;
    };
    std::set<int64_t> longer;
    for (const auto& [row, length] : lengthOf)
        if (length > 100) longer.insert(row);
    ASSERT_EQ(longer.size(), 3u);
    EXPECT_EQ(rowsOf("LEN(CLIP(CLI:ClipContents)) > 100"), longer);
    // With a part that has an SQL form beside it.
    std::set<int64_t> general;
    for (int64_t row : longer)
        if (generalRows.count(row)) general.insert(row);
    EXPECT_EQ(rowsOf("LEN(CLIP(CLI:ClipContents)) > 100 AND CLI:Category = 'General'"), general);
    // The empty entry.
    EXPECT_EQ(rowsOf("LEN(CLIP(CLI:ClipContents)) = 0 OR CLI:ClipDate < 0").size(), 1u);
    clip.Close();
}

TEST(DatePicture, ListPicturesTakeTheUsersDateFormat) {
    EXPECT_EQ(data::ApplyDatePicture("40L(1)M|~Date~L(1)@d6b@#1#", "d17"), "40L(1)M|~Date~L(1)@d17@#1#");
    EXPECT_EQ(data::ApplyDatePicture("@D17B", "@d2 "), "@d2");
    EXPECT_EQ(data::ApplyDatePicture("20L~@d~@s20@#2#", "d2"), "20L~@d~@s20@#2#");
    EXPECT_EQ(data::ApplyDatePicture("@d6", ""), "@d6");
}

}  // namespace
}  // namespace kr::test
