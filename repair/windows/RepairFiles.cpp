#include "repair/windows/RepairFiles.h"

#include <QApplication>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

#include "platform/runtime/Services.h"
#include "platform/ui/Icons.h"
#include "platform/ui/ProcessWindow.h"
#include "repair/RepairRun.h"

namespace kr::repair {

namespace {

QIcon TickIcon() {
    QIcon icon = IconByName("~SmallTik.Ico");
    if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton);
    return icon;
}

}  // namespace

RepairFilesWindow::RepairFilesWindow() : WindowManager("RepairFiles") {}

QWidget* RepairFilesWindow::MakeWindow() {
    ui_.Build();
    return ui_.window;
}

bool RepairFilesWindow::Init() {
    action_ = kActionBuild;
    rows_ = MakeRepairRows();
    SetTitle("Repair Files");
    SetCancelControl(ui_.close);
    for (std::size_t i = 0; i < rows_.size(); ++i) new QTreeWidgetItem(ui_.list);
    ShowRows();
    if (ui_.list->topLevelItemCount()) ui_.list->setCurrentItem(ui_.list->topLevelItem(0));
    return true;
}

void RepairFilesWindow::TakeOpened() { ui_.list->setFocus(); }

int RepairFilesWindow::Highlighted() const {
    QTreeWidgetItem* item = ui_.list->currentItem();
    return item ? ui_.list->indexOfTopLevelItem(item) : -1;
}

void RepairFilesWindow::ShowRow(int index) {
    QTreeWidgetItem* item = ui_.list->topLevelItem(index);
    if (!item || index < 0 || index >= static_cast<int>(rows_.size())) return;
    const RepairRow& r = rows_[static_cast<std::size_t>(index)];
    item->setIcon(0, r.tagIcon == 1 ? TickIcon() : QIcon());
    item->setData(0, Qt::UserRole, r.tagIcon);
    item->setText(1, QString::fromStdString(r.fileDesc));
    item->setText(2, QString::fromStdString(r.fileRecords));
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(3, QString::fromStdString(r.diskName));
}

void RepairFilesWindow::ShowRows() {
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) ShowRow(i);
}

void RepairFilesWindow::TakeAccepted(QObject* control) {
    if (running_) return;
    if (control == ui_.list) {
        // The list's own marking: the highlighted row changes its tag, and
        // every icon follows its row's tag.
        const int row = Highlighted();
        if (row >= 0) ToggleTag(rows_[static_cast<std::size_t>(row)]);
        RefreshTagIcons(rows_);
        ShowRows();
    } else if (control == ui_.tagAll) {
        TagAll(rows_);
        ShowRows();
    } else if (control == ui_.untagAll) {
        UntagAll(rows_);
        ShowRows();
    } else if (control == ui_.repair) {
        RunAction(kActionFix);
    } else if (control == ui_.build) {
        RunAction(kActionBuild);
    } else if (control == ui_.pack) {
        RunAction(kActionPack);
    } else if (control == ui_.release) {
        RunAction(kActionRelease);
    } else if (control == ui_.info) {
        RunAction(kActionInfo);
    } else if (control == ui_.close) {
        Close();
    }
}

void RepairFilesWindow::RunAction(const std::string& action) {
    if (running_) return;
    action_ = action;
    running_ = true;
    auto run = std::make_shared<RepairRun>(action, rows_, Highlighted());
    run->onRowChanged = [this](int row) { ShowRow(row); };
    ProcessWindowOptions o;
    o.procedureName = "ProcessTaggedFiles";
    o.title = "Progress...";
    o.userTextSource = [run] { return run->StatusText(); };
    o.userText = run->StatusText();
    RunProcessWindow(run, o, [this, run](int) {
        running_ = false;
        ShowRows();
    });
}

int RepairFiles() {
    Message(kStartWarningText, kStartWarningTitle, MessageIcon::Exclamation);
    auto* window = new RepairFilesWindow;
    if (!window->Open()) return 1;
    return QApplication::exec() == 0 ? 0 : 1;
}

}  // namespace kr::repair
