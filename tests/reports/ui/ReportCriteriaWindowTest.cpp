// "Report Criteria" driven as a user drives it: the window active, dates
// typed with real keys, the entry left by Tab, Enter, a click on OK or on
// "...", and the typed range being the one the report runs with.
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "dictionary/Settings.h"
#include "platform/runtime/Picture.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "reports/ReportCriteria.h"
#include "reports/windows/ReportWindows.h"
#include "tests/ui/TableWindowsFixture.h"

namespace kr::reports {
namespace {

enum class Leave { Tab, Enter, ClickOk, ClickCalendar };

class ReportCriteriaWindowTest : public test::TableWindowsTest {
protected:
    ReportCriteriaWindowTest() : TableWindowsTest(MakeDate(12, 9, 2026), MakeTime(10, 0)) {}

    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&data::TableOf(CategoriesDef()), &data::TableOf(ConfigurationDef())});
        Options().GlobalDateFormat = "d17";
    }
    static std::string DateText(int32_t d) { return Format(Value(static_cast<int64_t>(d)), "@d17"); }

    // Opens the window afresh, active, with a selected date range; types
    // `text` into the entry and leaves it the given way, then ends with OK.
    void TypeAndLeave(const char* entryName, const std::string& text, Leave way) {
        Report() = ReportVariables();
        reports::Criteria() = CriteriaEntries();
        response_ = 0;
        Start("ReportCriteriaTest", [this] { ReportParameters([this](int r) { response_ = r; }); });
        QWidget* w = WindowTitled("Report Criteria");
        ASSERT_NE(w, nullptr);
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
        Child<QRadioButton>(w, "dateSelected")->click();
        auto* entry = Child<QLineEdit>(w, entryName);
        auto* ok = Child<QPushButton>(w, "ok");
        ASSERT_TRUE(entry && ok);
        bool left = false;
        QObject::connect(qApp, &QApplication::focusChanged, entry, [&left, entry](QWidget* old, QWidget*) {
            if (old == entry) left = true;
        });
        entry->setFocus();
        ASSERT_TRUE(test::WaitFor([&] { return entry->hasFocus(); }));
        QTest::keyClick(entry, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(entry, QString::fromStdString(text));
        switch (way) {
            case Leave::Tab:
                QTest::keyClick(entry, Qt::Key_Tab);
                ASSERT_TRUE(left);
                QTest::mouseClick(ok, Qt::LeftButton);
                break;
            case Leave::Enter:  // Enter presses OK as well
                QTest::keyClick(entry, Qt::Key_Return);
                break;
            case Leave::ClickOk:
                QTest::mouseClick(ok, Qt::LeftButton);
                break;
            case Leave::ClickCalendar: {
                const bool from = std::string(entryName) == "from";
                QTest::mouseClick(Child<QPushButton>(w, from ? "pickFrom" : "pickTo"), Qt::LeftButton);
                ASSERT_TRUE(left);
                // The calendar opens on the typed date; closing it gives that date back.
                QWidget* calendar = WindowTitled(from ? "Select \"From\" Date" : "Select \"To\" Date");
                ASSERT_NE(calendar, nullptr);
                Click(calendar, "cancel");
                ASSERT_TRUE(test::WaitFor([&] { return !calendar->isVisible(); }));
                EXPECT_EQ(entry->text().toStdString(), text);
                QTest::mouseClick(ok, Qt::LeftButton);
                break;
            }
        }
        EXPECT_TRUE(test::WaitFor([&] { return response_ != 0; })) << Shown();
        EXPECT_TRUE(left);
        EXPECT_EQ(response_, kRequestCompleted);
    }

    int response_ = 0;
};

TEST_F(ReportCriteriaWindowTest, TypedDatesBoundTheRunHoweverTheEntryIsLeft) {
    const int32_t today = Today();
    const std::string from = DateText(today + 5), to = DateText(today + 9);
    const struct {
        Leave way;
        const char* entry;
    } cases[] = {{Leave::Tab, "from"},     {Leave::Tab, "to"},           {Leave::Enter, "from"},
                 {Leave::ClickOk, "to"},   {Leave::ClickCalendar, "from"}, {Leave::ClickCalendar, "to"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " left by way " + std::to_string(static_cast<int>(c.way)));
        const bool isFrom = std::string(c.entry) == "from";
        TypeAndLeave(c.entry, isFrom ? from : to, c.way);
        // The other entry keeps the window's proposal.
        EXPECT_EQ(Report().GLO_DateFrom, isFrom ? today + 5 : today);
        EXPECT_EQ(Report().GLO_DateTo, isFrom ? today + 30 : today + 9);
        EXPECT_EQ(Report().ReportFilter.str(), "Sch:Date>=GLO:DateFrom AND Sch:Date<=GLO:DateTo");
        // And the window shows it again next time.
        EXPECT_EQ(reports::Criteria().from, Report().GLO_DateFrom);
        EXPECT_EQ(reports::Criteria().to, Report().GLO_DateTo);
    }
}

}  // namespace
}  // namespace kr::reports
