// The query wizard window over a list: conditions built with its controls,
// the filter it returns applied by the list, the response flag, hand-written
// queries checked, saved queries by description.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "../../ui/UiTestSupport.h"
#include "../ListFixture.h"
#include "TestListWindow.h"
#include "platform/runtime/Services.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/QueryWizard.h"

namespace kr::test {
namespace {

class QueryWizardWindowTest : public ListFixture {
protected:
    void SetUp() override {
        ListFixture::SetUp();
        InstallMessageService(&responder_);
        SetQueryWizardTexts();
        queue_.fields = {{"Category", "SCH:Category", "@s20", 20, 1, 1, {}},
                         {"Description", "SCH:Description", "@s40", 40, 1, 1, {}},
                         {"Disabled", "SCH:Disabled", "@n3", 1, 2, 2, {"Disabled"}},
                         {"Action", "SCR:Action", "@s27", 27, 1, 3, {"Send Keys", "Wait"}}};
        TC_INITFIELDSQUEUE("SCHEDULE", queue_);
        for (int i = 1; i <= 30; ++i)
            AddTask(i, 1000 + i, i % 2 ? "Work" : "Home", "Task " + std::to_string(i), i % 3 == 0);
        AddItem(4, 1, "Wait");
    }
    void TearDown() override {
        CloseAllWindows();
        InstallMessageService(nullptr);
        ListFixture::TearDown();
    }
    // Opens the list and the wizard over it; the list applies what it returns.
    QueryWizardDialog* OpenWizard(const std::string& query = {}) {
        TaskList::last = nullptr;
        Start("BrowseTasks", [] { (new TaskList)->Open(); });
        EXPECT_TRUE(WaitFor([] { return TaskList::last && TaskList::last->IsOpen(); }));
        TaskList* w = TaskList::last;
        w->list->AddChild({&ScriptingDef(), "SCR:ID", "SCH:ID"});
        query_ = query;
        TC_QWIZARD(queue_, query, [this, w](const std::string& q) {
            ++closed_;
            if (TCQW_Response()) {
                query_ = q;
                w->list->SetFilter(q, "6 Query");
                w->list->ResetFromFile();
            }
        }, w->Window());
        QueryWizardDialog* d = nullptr;
        EXPECT_TRUE(WaitFor([&] {
            d = w->Window()->findChild<QueryWizardDialog*>();
            return d && d->isVisible();
        }));
        return d;
    }
    static void Condition(QueryWizardDialog* d, int field, const QString& op, const QString& value) {
        d->field->setCurrentIndex(field);
        d->operation->setCurrentIndex(d->operation->findText(op));
        d->value->setCurrentText(value);
    }

    ScriptedResponder responder_;
    FieldsQueue queue_;
    std::string query_;
    int closed_ = 0;
};

TEST_F(QueryWizardWindowTest, ConditionsBuiltInTheWindowFilterTheList) {
    QueryWizardDialog* d = OpenWizard();
    EXPECT_EQ(d->windowTitle(), "Query Wizard");
    EXPECT_EQ(d->finishButton->text(), "&Finish");
    EXPECT_EQ(d->andButton->toolTip(), "Add a New AND Query Element");
    Condition(d, 0, "Is Equal To", "work");
    d->andButton->click();
    Condition(d, 2, "Is NOT Checked", "");
    EXPECT_FALSE(d->value->isEnabled());
    d->andButton->click();
    Condition(d, 3, "Is Equal To", "wait");
    d->orButton->click();
    ASSERT_EQ(d->conditions->count(), 3);
    EXPECT_EQ(d->conditions->item(1)->text().toStdString(), "AND Disabled Is NOT Checked");
    // Change the first condition to Home.
    d->conditions->setCurrentRow(0);
    EXPECT_EQ(d->value->currentText(), "work");
    d->value->setCurrentText("Home");
    d->changeButton->click();
    d->finishButton->click();
    ASSERT_TRUE(WaitFor([&] { return closed_ == 1; }));
    EXPECT_EQ(TCQW_Response(), 1);
    EXPECT_EQ(query_, "(UPPER(SCH:Category) = 'HOME') AND (SCH:Disabled = 0) OR (UPPER(SCR:Action) = 'WAIT')");
    BrowseView& l = *TaskList::last->list;
    EXPECT_EQ(l.Records(), 10);  // even tasks not a multiple of 3; task 4 twice over
    for (int64_t i = 0; i < l.Records(); ++i) {
        int id = static_cast<int>(l.RowAt(i)->field(ScheduleDef().fieldIndex("SCH:ID")).toInt());
        EXPECT_TRUE(id % 2 == 0 && id % 3 != 0) << id;
    }
}

TEST_F(QueryWizardWindowTest, CancelKeepsTheQueryAndAnOpenedQueryIsEditable) {
    QueryWizardDialog* d = OpenWizard("(UPPER(SCH:Category) = 'WORK')");
    ASSERT_EQ(d->Conditions().size(), 1u);
    EXPECT_FALSE(d->ManualMode());
    d->cancelButton->click();
    ASSERT_TRUE(WaitFor([&] { return closed_ == 1; }));
    EXPECT_EQ(TCQW_Response(), 0);
    EXPECT_EQ(TaskList::last->list->Records(), 30);
}

TEST_F(QueryWizardWindowTest, HandWrittenQueriesAreCheckedAndSavedQueriesReload) {
    QueryWizardDialog* d = OpenWizard("SCH:ID > 25");  // not conditions: edited by hand
    EXPECT_TRUE(d->ManualMode());
    d->manual->setPlainText("SCH:ID > (");
    d->finishButton->click();
    EXPECT_TRUE(responder_.sawTitle("Invalid Query"));
    EXPECT_TRUE(d->isVisible());
    d->manual->setPlainText("SCH:ID > 25");
    d->description->setText("Last five");
    d->finishButton->click();
    ASSERT_TRUE(WaitFor([&] { return closed_ == 1; }));
    EXPECT_EQ(TCQW_Response(), 1);
    EXPECT_EQ(TaskList::last->list->Records(), 5);
    ASSERT_EQ(LoadSavedQueries("SCHEDULE").size(), 1u);
    CloseAllWindows();

    // The saved query comes back by its description; one naming a field the
    // list no longer offers is reported.
    SaveQuery("SCHEDULE", {"Old", "(SCH:Gone = 1)"});
    d = OpenWizard();
    ASSERT_EQ(d->saved->count(), 2);
    d->saved->setCurrentIndex(0);
    d->selectSaved->click();
    EXPECT_EQ(d->manual->toPlainText().toStdString(), "SCH:ID > 25");
    d->saved->setCurrentIndex(1);
    d->selectSaved->click();
    EXPECT_TRUE(responder_.sawTitle("Query No Longer Valid"));
    responder_.Answer(kButtonYes);
    d->deleteSaved->click();
    EXPECT_EQ(d->saved->count(), 1);
}

}  // namespace
}  // namespace kr::test
