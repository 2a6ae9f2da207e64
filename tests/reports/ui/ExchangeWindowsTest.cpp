// The export and import windows offscreen over a real data file: the field
// lists and their buttons, the picture entry, the messages of an empty
// choice, the file dialog's Cancel, an export cancelled part-way, and the
// column mapping of an import.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "dictionary/Dictionary.h"
#include "dictionary/OrganiserTables.h"
#include "platform/ui/ProcedureThread.h"
#include "reports/windows/ExchangeWindows.h"
#include "tests/ui/TableWindowsFixture.h"

namespace kr::reports {
namespace {

class ExchangeWindowsTest : public test::TableWindowsTest {
protected:
    ExchangeWindowsTest() : TableWindowsTest(MakeDate(3, 4, 2025), 1) {}
    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&data::TableOf(TodoDef())});
        SetImexFileChooser([this](const std::string& title, const std::string&, bool save) {
            dialogs_.push_back(title);
            return save ? exportTo_ : importFrom_;
        });
    }
    void TearDown() override {
        SetImexFileChooser({});
        TableWindowsTest::TearDown();
    }
    void AddTodos(int n) {
        data::Table& t = data::TableOf(TodoDef());
        ASSERT_EQ(data::Logout({&t}), 0);
        for (int i = 0; i < n; ++i) {
            Todo& r = t.Rec<Todo>();
            r = Todo();
            r.ToDo = "Item " + std::to_string(i);
            r.Priority = 1 + i % 10;
            r.Notes = "note " + std::to_string(i);
            ASSERT_EQ(t.Add(), 0);
        }
        ASSERT_EQ(data::Commit(), 0);
    }
    static std::string Read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static QStringList Names(QListWidget* l) {
        QStringList out;
        for (int i = 0; i < l->count(); ++i) out << l->item(i)->text();
        return out;
    }
    static QStringList Marked(QListWidget* l) {
        QStringList out;
        for (int i = 0; i < l->count(); ++i)
            if (l->item(i)->isSelected()) out << l->item(i)->text();
        return out;
    }
    QWidget* OpenExport() {
        Start("ExportToDo", [] { ExportToDo(); });
        return WindowTitled("Choose Fields for Export...");
    }
    std::string Path(const char* name) const { return folder_.path() + "/" + name; }

    std::optional<std::string> exportTo_, importFrom_;
    std::vector<std::string> dialogs_;
};

TEST_F(ExchangeWindowsTest, FieldListsAddRemoveShiftAndPicture) {
    QPointer<QWidget> w = OpenExport();
    ASSERT_NE(w, nullptr);
    auto* all = Child<QListWidget>(w, "allFields");
    auto* fields = Child<QListWidget>(w, "exportFields");
    ASSERT_TRUE(all && fields);
    const QStringList every = Names(all);
    EXPECT_EQ(every.size(), 8);
    EXPECT_EQ(Names(fields), every);
    EXPECT_EQ(Child<QLineEdit>(w, "pictureClass")->text(), "Numeric");

    // Adding a field that is there already marks it instead.
    all->item(3)->setSelected(true);
    Click(w, "add");
    EXPECT_EQ(Names(fields), every);
    EXPECT_EQ(Marked(fields), QStringList{"TDO:ToDo"});

    // Remove the marked fields, then add them back at the end.
    fields->clearSelection();
    fields->item(0)->setSelected(true);
    fields->item(6)->setSelected(true);
    Click(w, "remove");
    EXPECT_EQ(Names(fields), (QStringList{every[1], every[2], every[3], every[4], every[5], every[7]}));
    all->clearSelection();
    all->item(0)->setSelected(true);
    all->item(6)->setSelected(true);
    Click(w, "add");
    EXPECT_EQ(Names(fields).mid(6), (QStringList{every[0], every[6]}));

    // Shift the current field down and back up; nothing moves past the ends.
    fields->setCurrentRow(0);
    Click(w, "shiftDown");
    EXPECT_EQ(fields->currentItem()->text(), every[1]);
    EXPECT_EQ(fields->currentRow(), 1);
    Click(w, "shiftUp");
    Click(w, "shiftUp");
    EXPECT_EQ(fields->currentRow(), 0);
    EXPECT_EQ(fields->item(0)->text(), every[1]);

    // A picture must begin with "@"; Cancel keeps the old one.
    fields->setCurrentRow(3);  // TDO:CompletionDate
    EXPECT_EQ(Child<QLineEdit>(w, "pictureClass")->text(), "@d3");
    Click(w, "picture");
    QPointer<QWidget> p = WindowTitled("Enter Picture...");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Child<QLineEdit>(p, "picture")->text(), "@d3");
    TypeInto(p, "picture", "d17");
    Click(p, "ok");
    EXPECT_TRUE(responder_.sawTitle("Invalid Picture!")) << Shown();
    EXPECT_TRUE(p->isVisible());
    TypeInto(p, "picture", "@d17");
    Click(p, "ok");
    ASSERT_TRUE(test::WaitFor([&] { return !p || !p->isVisible(); }));
    EXPECT_EQ(Child<QLineEdit>(w, "pictureClass")->text(), "@d17");
    Click(w, "picture");
    p = WindowTitled("Enter Picture...");
    ASSERT_NE(p, nullptr);
    Click(p, "cancel");
    test::Pump(50);
    EXPECT_EQ(Child<QLineEdit>(w, "pictureClass")->text(), "@d17");
}

TEST_F(ExchangeWindowsTest, FieldListMarksFollowSpaceCtrlAndShiftAndNoOtherKey) {
    QPointer<QWidget> w = OpenExport();
    ASSERT_NE(w, nullptr);
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    auto* all = Child<QListWidget>(w, "allFields");
    all->setFocus();
    auto rows = [all] {
        std::vector<int> out;
        for (int i = 0; i < all->count(); ++i)
            if (all->item(i)->isSelected()) out.push_back(i);
        return out;
    };
    using Rows = std::vector<int>;
    EXPECT_EQ(rows(), Rows{});
    // Plain moving keys change no mark.
    QTest::keyClick(all, Qt::Key_Down);
    QTest::keyClick(all, Qt::Key_Down);
    EXPECT_EQ(all->currentRow(), 2);
    EXPECT_EQ(rows(), Rows{});
    QTest::keyClick(all, Qt::Key_Space);
    EXPECT_EQ(rows(), Rows{2});
    QTest::keyClick(all, Qt::Key_Down);
    QTest::keyClick(all, Qt::Key_End);
    QTest::keyClick(all, Qt::Key_Up);
    QTest::keyClick(all, Qt::Key_F2);
    EXPECT_EQ(rows(), Rows{2});
    // The Ctrl key alone turns the current entry's mark over; it is the anchor.
    EXPECT_EQ(all->currentRow(), 6);
    QTest::keyClick(all, Qt::Key_Control);
    EXPECT_EQ(rows(), (Rows{2, 6}));
    QTest::keyClick(all, Qt::Key_Control);
    EXPECT_EQ(rows(), Rows{2});
    QTest::keyClick(all, Qt::Key_Control);
    // Shift with a moving key marks the anchor to the current entry only.
    QTest::keyClick(all, Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(all, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(rows(), (Rows{4, 5, 6}));
    QTest::keyClick(all, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(rows(), (Rows{6, 7}));
    QTest::keyClick(all, Qt::Key_Home);
    EXPECT_EQ(rows(), (Rows{6, 7}));
    // The Shift key alone extends as well.
    QTest::keyClick(all, Qt::Key_Down);
    QTest::keyClick(all, Qt::Key_Shift);
    EXPECT_EQ(rows(), (Rows{1, 2, 3, 4, 5, 6}));

    // A plain click marks its entry only; Ctrl with a click turns one over
    // (letting go of Ctrl then changes nothing); Shift with a click extends.
    auto at = [all](int row) { return all->visualItemRect(all->item(row)).center(); };
    QTest::mouseClick(all->viewport(), Qt::LeftButton, Qt::NoModifier, at(3));
    EXPECT_EQ(rows(), Rows{3});
    QTest::keyPress(all, Qt::Key_Control);
    QTest::mouseClick(all->viewport(), Qt::LeftButton, Qt::ControlModifier, at(5));
    QTest::keyRelease(all, Qt::Key_Control);
    EXPECT_EQ(rows(), (Rows{3, 5}));
    QTest::mouseClick(all->viewport(), Qt::LeftButton, Qt::ShiftModifier, at(1));
    EXPECT_EQ(rows(), (Rows{1, 2, 3, 4, 5}));

    // The export list's labels carry no Alt letter.
    QStringList labels;
    for (QLabel* l : w->findChildren<QLabel*>()) labels << l->text();
    EXPECT_TRUE(labels.contains("All Fields")) << labels.join("|").toStdString();
    EXPECT_TRUE(labels.contains("Export Fields")) << labels.join("|").toStdString();
}

TEST_F(ExchangeWindowsTest, EnterInAFieldListPressesOkAndChangesNoMark) {
    for (const char* name : {"allFields", "exportFields"}) {
        SCOPED_TRACE(name);
        dialogs_.clear();
        exportTo_.reset();
        QPointer<QWidget> w = OpenExport();
        ASSERT_NE(w, nullptr);
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
        auto* list = Child<QListWidget>(w, name);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Space);
        const QStringList marked = Marked(list);
        ASSERT_EQ(marked.size(), 1);
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(dialogs_, std::vector<std::string>{"Export File"}) << "Enter did not press OK";
        if (w) { EXPECT_EQ(Marked(list), marked); }
        EXPECT_TRUE(test::WaitFor([&] { return !w || !w->isVisible(); }));
    }
}

TEST_F(ExchangeWindowsTest, ButtonsMarkOnlyWhatTheyAddAndKeepTheOtherMarks) {
    QPointer<QWidget> w = OpenExport();
    ASSERT_NE(w, nullptr);
    auto* all = Child<QListWidget>(w, "allFields");
    auto* fields = Child<QListWidget>(w, "exportFields");
    // Shift Down and Picture mark nothing of their own.
    fields->setCurrentRow(1, QItemSelectionModel::NoUpdate);
    Click(w, "shiftDown");
    EXPECT_EQ(fields->currentRow(), 2);
    EXPECT_EQ(Marked(fields), QStringList{});
    fields->item(0)->setSelected(true);
    Click(w, "shiftUp");
    EXPECT_EQ(fields->currentRow(), 1);
    EXPECT_EQ(Marked(fields), QStringList{"TDO:Done"});
    Click(w, "picture");
    QPointer<QWidget> p = WindowTitled("Enter Picture...");
    ASSERT_NE(p, nullptr);
    Click(p, "cancel");
    ASSERT_TRUE(test::WaitFor([&] { return !p || !p->isVisible(); }));
    EXPECT_EQ(Marked(fields), QStringList{"TDO:Done"});

    // Add marks the entries it finds and the copies it appends; the export
    // list's other marks stay.
    delete fields->takeItem(fields->count() - 1);  // TDO:Resolution
    all->item(3)->setSelected(true);               // TDO:ToDo, there already
    all->item(7)->setSelected(true);               // TDO:Resolution, appended
    Click(w, "add");
    EXPECT_EQ(fields->item(fields->count() - 1)->text(), "TDO:Resolution");
    EXPECT_EQ(Marked(fields), (QStringList{"TDO:Done", "TDO:ToDo", "TDO:Resolution"}));
    EXPECT_EQ(Marked(all), (QStringList{"TDO:ToDo", "TDO:Resolution"}));
}

TEST_F(ExchangeWindowsTest, PictureIsCheckedWhenTheEntryIsLeftButNotForCancel) {
    QPointer<QWidget> w = OpenExport();
    ASSERT_NE(w, nullptr);
    auto* fields = Child<QListWidget>(w, "exportFields");
    fields->setCurrentRow(4, QItemSelectionModel::NoUpdate);  // TDO:CompletionDate
    Click(w, "picture");
    QPointer<QWidget> p = WindowTitled("Enter Picture...");
    ASSERT_NE(p, nullptr);
    p->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(p));
    QStringList labels;
    for (QLabel* l : p->findChildren<QLabel*>()) labels << l->text();
    EXPECT_EQ(labels, QStringList{"Picture:"});
    auto* entry = Child<QLineEdit>(p, "picture");
    entry->setFocus();
    entry->selectAll();
    QTest::keyClicks(entry, "d17");
    QTest::keyClick(entry, Qt::Key_Tab);
    ASSERT_TRUE(test::WaitFor([&] { return responder_.sawTitle("Invalid Picture!"); })) << Shown();
    EXPECT_TRUE(responder_.sawText("Pictures must begin with \"@\""));
    EXPECT_TRUE(test::WaitFor([&] { return QApplication::focusWidget() == entry; }));
    EXPECT_EQ(entry->selectedText(), "d17");

    // Leaving the entry for Cancel checks nothing and gives a blank picture:
    // the field keeps its own.
    responder_.clear();
    auto* cancel = Child<QPushButton>(p, "cancel");
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(test::WaitFor([&] { return !p || !p->isVisible(); }));
    test::Pump(50);
    EXPECT_TRUE(responder_.shown().empty()) << Shown();
    EXPECT_EQ(Child<QLineEdit>(w, "pictureClass")->text(), "@d3");
}

TEST_F(ExchangeWindowsTest, OkWithoutFieldsSaysSoAndCancelInTheDialogWritesNothing) {
    QPointer<QWidget> w = OpenExport();
    ASSERT_NE(w, nullptr);
    auto* fields = Child<QListWidget>(w, "exportFields");
    fields->selectAll();
    Click(w, "remove");
    EXPECT_EQ(fields->count(), 0);
    Click(w, "ok");
    EXPECT_TRUE(responder_.sawTitle("No Fields Selected for Export!")) << Shown();
    EXPECT_TRUE(responder_.sawText("You must select one or more fields to export."));
    EXPECT_TRUE(w && w->isVisible());
    EXPECT_TRUE(dialogs_.empty());

    Child<QListWidget>(w, "allFields")->item(0)->setSelected(true);
    Click(w, "add");
    exportTo_.reset();
    Click(w, "ok");
    EXPECT_EQ(dialogs_, std::vector<std::string>{"Export File"});
    EXPECT_TRUE(test::WaitFor([&] { return !w || !w->isVisible(); }));
    for (const auto& e : std::filesystem::directory_iterator(folder_.path()))
        EXPECT_NE(e.path().extension(), ".csv") << e.path();
}

TEST_F(ExchangeWindowsTest, AnExportCancelledPartWayLeavesTheTargetByteForByte) {
    AddTodos(60000);
    const std::string target = Path("todo.csv");
    const std::string old = "\"an old\",\"export\"\r\n";
    std::ofstream(target, std::ios::binary) << old;
    exportTo_ = target;
    QPointer<QWidget> w = OpenExport();
    ASSERT_NE(w, nullptr);
    Click(w, "ok");
    // The export of this many records takes several slices: cancel it once
    // the progress window shows.
    QWidget* progress = WindowTitled("Exporting Records");
    ASSERT_NE(progress, nullptr) << Shown();
    Click(progress, "cancel");
    ASSERT_TRUE(test::WaitFor([&] { return responder_.sawTitle("Export Not Completed"); })) << Shown();
    EXPECT_TRUE(test::WaitFor([&] { return !w || !w->isVisible(); }));
    EXPECT_EQ(Read(target), old);
    EXPECT_EQ(ImexFileName(), target);
    for (const auto& e : std::filesystem::directory_iterator(folder_.path()))
        EXPECT_EQ(e.path().filename().string().rfind("todo.csv.", 0), std::string::npos) << e.path();

    // Run to the end, the file is replaced.
    w = OpenExport();
    ASSERT_NE(w, nullptr);
    Click(w, "ok");
    EXPECT_TRUE(test::WaitFor([&] { return !w || !w->isVisible(); }, 10000));
    const std::string text = Read(target);
    EXPECT_EQ(text.rfind("\"TDO:Done\",\"TDO:Priority\",", 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 60001);
}

TEST_F(ExchangeWindowsTest, ImportMapsColumnsShowsLinesAndImports) {
    const std::string file = Path("in.csv");
    std::ofstream(file, std::ios::binary) << "\"TDO:ToDo\",\"TDO:Priority\",\"Other\"\r\n"
                                             "\"Buy milk\",3,\"x\"\r\n"
                                             "\"Call Ann\",7\r\n";
    // An empty file first: the dialog comes again.
    const std::string empty = Path("empty.csv");
    std::ofstream(empty).close();
    int asked = 0;
    SetImexFileChooser([&](const std::string&, const std::string&, bool) {
        return std::optional<std::string>(++asked == 1 ? empty : file);
    });
    Start("ImportToDo", [] { ImportToDo(); });
    QPointer<QWidget> w = WindowTitled("Assign fields for Import...");
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(responder_.sawTitle("Attention!")) << Shown();
    EXPECT_EQ(asked, 2);
    auto* columns = Child<QTreeWidget>(w, "importFields");
    auto* targets = Child<QTreeWidget>(w, "targetFields");
    ASSERT_EQ(columns->topLevelItemCount(), 3);
    EXPECT_EQ(columns->topLevelItem(0)->text(0), "Field_1");
    EXPECT_EQ(columns->topLevelItem(0)->text(1), "Alpha-num");
    EXPECT_EQ(columns->topLevelItem(1)->text(1), "Numeric");  // bare in line 2
    EXPECT_EQ(columns->topLevelItem(2)->text(2), "Other");
    // Auto ran at opening: TDO:Priority and TDO:ToDo have their columns.
    EXPECT_EQ(targets->topLevelItem(1)->text(1), "=");
    EXPECT_EQ(targets->topLevelItem(1)->text(2), "Field_2");
    EXPECT_EQ(targets->topLevelItem(3)->text(2), "Field_1");
    EXPECT_EQ(targets->topLevelItem(0)->text(1), "");
    // The lists select each other's assignment.
    columns->setCurrentItem(columns->topLevelItem(1));
    EXPECT_EQ(targets->currentItem(), targets->topLevelItem(1));
    targets->setCurrentItem(targets->topLevelItem(3));
    EXPECT_EQ(columns->currentItem(), columns->topLevelItem(0));

    Click(w, "next");
    EXPECT_EQ(Child<QLabel>(w, "recordNumber")->text(), "2");
    EXPECT_EQ(columns->topLevelItem(0)->text(2), "Buy milk");
    EXPECT_FALSE(Child<QPushButton>(w, "auto")->isEnabled());
    Click(w, "next");
    EXPECT_EQ(columns->topLevelItem(0)->text(2), "Call Ann");
    EXPECT_EQ(columns->topLevelItem(2)->text(2), "x");  // no field: the value stays
    Click(w, "next");
    EXPECT_FALSE(Child<QPushButton>(w, "next")->isEnabled());
    EXPECT_EQ(Child<QLabel>(w, "recordNumber")->text(), "3");

    // Nothing assigned: the window says so and stays.
    for (int t : {1, 3}) {
        targets->setCurrentItem(targets->topLevelItem(t));
        Click(w, "unassign");
    }
    Click(w, "ok");
    EXPECT_TRUE(responder_.sawTitle("No Fields Selected for Import!")) << Shown();
    EXPECT_TRUE(w && w->isVisible());

    // Assign the text column to the to-do text and the category, and import.
    columns->setCurrentItem(columns->topLevelItem(0));
    targets->setCurrentItem(targets->topLevelItem(3));
    Click(w, "assign");
    targets->setCurrentItem(targets->topLevelItem(2));
    Click(w, "assign");
    EXPECT_EQ(targets->topLevelItem(2)->text(2), "Field_1");
    Click(w, "ok");
    ASSERT_TRUE(test::WaitFor([&] { return !w || !w->isVisible(); }));
    std::vector<std::string> items;
    data::Table& t = data::TableOf(TodoDef());
    t.Set(nullptr);
    while (t.Next() == 0) items.push_back(t.Rec<Todo>().ToDo.str() + "/" + t.Rec<Todo>().Category.str());
    EXPECT_EQ(items, (std::vector<std::string>{"Buy milk/Buy milk", "Call Ann/Call Ann"}));
}

}  // namespace
}  // namespace kr::reports
