#include "repair/windows/RepairFilesLayout.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/ui/Icons.h"

namespace kr::repair {

void RepairFilesLayout::Build() {
    window = new QWidget;
    window->setWindowTitle("Repair Files");
    window->setWindowIcon(IconByName("TIMERED2.ICO"));
    window->setObjectName("RepairFiles");
    list = new QTreeWidget(window);
    list->setObjectName("list");
    list->setColumnCount(4);
    list->setHeaderLabels({"", "File", "Records", "Disk Name"});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->header()->setSectionResizeMode(0, QHeaderView::Fixed);
    list->setColumnWidth(0, 24);
    list->setColumnWidth(1, 170);
    list->setColumnWidth(2, 60);
    list->setMinimumWidth(420);
    list->setMinimumHeight(260);
    auto button = [&](const char* text, const char* tip, const char* name) {
        auto* b = new QPushButton(text, window);
        b->setObjectName(name);
        if (tip) b->setToolTip(tip);
        b->setAutoDefault(false);
        return b;
    };
    repair = button("&Repair", nullptr, "repair");
    build = button("&Build", "Build the key files for the tagged data files", "build");
    pack = button("&Pack", "Pack the tagged data files", "pack");
    release = button("Relea&se", "Release any held records in the tagged files", "release");
    tagAll = button("&Tag All", "Tag all the files", "tagAll");
    untagAll = button("&Untag All", "Untag all of the files", "untagAll");
    info = button("&Info", nullptr, "info");
    close = button("Cl&ose", "Close this window", "close");
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {repair, build, pack, release, tagAll, untagAll, info}) buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* top = new QHBoxLayout(window);
    top->addWidget(list, 1);
    top->addLayout(buttons);
    window->resize(620, 340);
}

}  // namespace kr::repair
