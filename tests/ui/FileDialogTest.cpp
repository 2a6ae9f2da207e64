// Qt's own file dialog as the programs open it: its detail columns show
// their values whole, also after an earlier run left them narrow, and the
// dialog stays on the screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScreen>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>

#include "UiTestSupport.h"

namespace kr {
namespace {

TEST(FileDialogTest, DetailColumnsShowTheirValuesWhole) {
    char tmpl[] = "/tmp/kr-filedialog-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    std::ofstream(dir + "/notes.txt") << std::string(52000, 'x');
    std::ofstream(dir + "/KR97.TPS") << std::string(900, 'y');

    QFileDialog dialog(nullptr, QStringLiteral("Open"), QString::fromStdString(dir));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setViewMode(QFileDialog::Detail);
    auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(tree, nullptr);
    // Qt keeps the columns' widths between runs: narrow ones, as a first
    // small dialog left them, come back the next time.
    for (int column = 1; column < 4; ++column) tree->header()->resizeSection(column, 40);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree->model()->rowCount(tree->rootIndex()) == 2; }, 5000));
    QTest::qWait(50);

    const QFontMetrics fm(tree->font());
    for (int row = 0; row < 2; ++row)
        for (int column = 1; column < 4; ++column) {
            const QString text = tree->model()->index(row, column, tree->rootIndex()).data().toString();
            EXPECT_LE(fm.horizontalAdvance(text), tree->header()->sectionSize(column))
                << "column " << column << ": " << text.toStdString();
        }
    const int columns = tree->header()->sectionSize(1) + tree->header()->sectionSize(2) + tree->header()->sectionSize(3);
    EXPECT_GT(tree->viewport()->width() - columns, fm.horizontalAdvance(QStringLiteral("notes.txt")));
    if (QScreen* s = dialog.screen()) { EXPECT_TRUE(s->availableGeometry().contains(dialog.geometry())); }

    dialog.close();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kr
