// The "Repair Files" window's controls: the list of tables with its tag
// column and the action buttons.
#pragma once

class QWidget;
class QTreeWidget;
class QPushButton;

namespace kr::repair {

struct RepairFilesLayout {
    QWidget* window = nullptr;
    QTreeWidget* list = nullptr;
    QPushButton* repair = nullptr;
    QPushButton* build = nullptr;
    QPushButton* pack = nullptr;
    QPushButton* release = nullptr;
    QPushButton* tagAll = nullptr;
    QPushButton* untagAll = nullptr;
    QPushButton* info = nullptr;
    QPushButton* close = nullptr;
    void Build();
};

}  // namespace kr::repair
