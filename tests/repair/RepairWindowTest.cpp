// The "Repair Files" window headless: the rows in description order, the
// list's marking and the tag buttons, and an action run through the
// progress window that updates the rows it worked on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "dictionary/Dictionary.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/runtime/Services.h"
#include "repair/RepairFiles.h"
#include "repair/windows/RepairFiles.h"

namespace kr::repair {
namespace {

namespace fs = std::filesystem;

class RepairWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        char tmpl[] = "/tmp/kr-repairwin-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::current_path(dir_);
        InstallMessageService(&responder_);
        data::SetKeyDerivationIterations(64);
        DictionaryInitRepairProgram();
        RegisterRepairTables();
    }
    void TearDown() override {
        DictionaryKill();
        data::CloseIdleFiles();
        data::SetKeyDerivationIterations(0);
        InstallMessageService(nullptr);
        fs::current_path(previous_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_, previous_;
    ScriptedResponder responder_;
};

TEST_F(RepairWindowTest, TagsAndAnInfoRunShowInTheList) {
    {
        data::Table& t = data::TableOf(ScheduleDef());
        ASSERT_EQ(t.Create(), 0);
        ASSERT_EQ(t.Open(), 0);
        for (int i = 1; i <= 5; ++i) {
            t.Clear();
            t.Rec<Schedule>().ID = i;
            ASSERT_EQ(t.Add(), 0);
        }
        t.Close();
    }
    auto* w = new RepairFilesWindow;
    ASSERT_TRUE(w->Open());
    QTreeWidget* list = w->layout().list;
    ASSERT_EQ(list->topLevelItemCount(), 12);
    EXPECT_EQ(list->topLevelItem(0)->text(1), "Categories");
    EXPECT_EQ(list->topLevelItem(11)->text(1), "To Do List");
    EXPECT_EQ(w->currentAction(), "Build");

    // Enter on a row marks it; Untag All and Tag All set every row.
    const int schedule = 7;
    ASSERT_EQ(list->topLevelItem(schedule)->text(1), "Schedule");
    list->setCurrentItem(list->topLevelItem(schedule));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(w->rows()[schedule].tag, "1");
    EXPECT_EQ(list->topLevelItem(schedule)->data(0, Qt::UserRole).toInt(), 1);
    EXPECT_EQ(list->topLevelItem(0)->data(0, Qt::UserRole).toInt(), 0);
    w->layout().tagAll->click();
    for (int i = 0; i < 12; ++i) EXPECT_EQ(list->topLevelItem(i)->data(0, Qt::UserRole).toInt(), 1);
    w->layout().untagAll->click();
    for (int i = 0; i < 12; ++i) EXPECT_TRUE(w->rows()[static_cast<std::size_t>(i)].tag.empty());

    // Info on the highlighted row, through the progress window.
    w->layout().info->click();
    EXPECT_EQ(w->currentAction(), "Info");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Running(); }, 10000));
    EXPECT_EQ(list->topLevelItem(schedule)->text(2), "5");
    EXPECT_TRUE(list->topLevelItem(schedule)->text(3).endsWith("KR97.TPS\\!s"));
    EXPECT_EQ(list->topLevelItem(0)->text(2), "?");
    w->layout().close->click();
    QTest::qWait(50);
}

}  // namespace
}  // namespace kr::repair
