#include "platform/ui/RecordForm.h"

#include <QAbstractButton>

#include "platform/data/ErrorHandler.h"
#include "platform/data/FileManager.h"
#include "platform/ui/Icons.h"
#include "platform/ui/Requests.h"
#include "platform/ui/WindowManager.h"

namespace kr {

void RecordFormMode::Take(WindowManager& w) {
    if (w.Request() == kViewRecord) {
        view_ = true;
        w.SetRequest(kChangeRecord);
    } else if (w.Request() == kDeleteRecord) {
        delete_ = true;
    }
}

std::string RecordFormMode::Title(const std::string& title) const {
    return view_ ? WindowManager::ViewTitle(title) : title;
}

void RecordFormMode::DeleteButtons(WindowManager& w) const {
    if (!delete_) return;
    if (QAbstractButton* ok = w.OkControl()) {
        ok->show();
        ok->setEnabled(true);
    }
    if (QAbstractButton* cancel = w.CancelControl()) cancel->setText("Cancel");
}

void RecordFormMode::Apply(WindowManager& w) const {
    if (ReadOnly()) w.SetViewMode(true);
    DeleteButtons(w);
    if (view_ && w.CancelControl()) w.CancelControl()->setIcon(IconByName("~close.ico"));
}

void RecordFormMode::Opened(WindowManager& w) const {
    // Delete is confirmed by OK.
    DeleteButtons(w);
    if (ReadOnly() && w.CancelControl()) w.CancelControl()->setFocus();
}

void RecordFormMode::Reapply(WindowManager& w) const {
    if (!ReadOnly()) return;
    w.ApplyViewMode();
    DeleteButtons(w);
}

int RecordFormMode::Write(const WindowManager& w, data::FileManager& file, data::RelationManager& relations) const {
    if (delete_) return relations.Delete(false);
    if (w.Request() == kInsertRecord) return file.Insert();
    return relations.Update(true);
}

bool WindowTables::Open(data::FileManager& file, bool use) {
    if (file.Open() != data::kLevelBenign) return false;
    open_.push_back(&file);
    return !use || file.UseFile() == data::kLevelBenign;
}

void WindowTables::Close() {
    while (!open_.empty()) {
        open_.back()->Close();
        open_.pop_back();
    }
}

}  // namespace kr
