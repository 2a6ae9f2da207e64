// The wiring that a list window and the record form it opens share, once:
// a layout struct whose Build() makes `ui.window`, the manager's tables,
// tab highlight, required fields and request modes, and the list's events.
//
//   class UpdateHolidaysWindow : public RecordFormWindow<UpdateHolidaysLayout> {
//       bool Init() override {
//           if (!OpenForm({&Holidays_File()})) return false;   // ui.ok, ui.cancel
//           required_.SetMessage(ui.date, true, ...);
//           ApplyMode(Request() == kInsertRecord ? "New Holiday" : "Edit Holiday");
//       }
//       bool TakeCompleted() override {
//           ... read the controls, check the required fields ...
//           return WriteForm(Holidays_File(), Holidays_Relations(), &history_);
//       }
//   };
//   class BrowseHolidaysWindow : public ListWindow<BrowseHolidaysLayout> {
//       bool Init() override {
//           if (!OpenList(Holidays_File(), ui.close)) return false;   // list_ on ui.list
//           list_->AddColumn(...); ...
//       }
//   };
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "platform/data/Errors.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/ui/BrowseView.h"
#include "platform/ui/FieldHistory.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/RecordForm.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/WindowManager.h"

namespace kr {

// The colour of the tabs not on show, in every list and record form.
inline constexpr long kListUnselectedTabColour = 0xA7A7A7;

// A window built from a layout struct: `ui.Build()` makes `ui.window`.
template <class Layout>
class LayoutWindow : public WindowManager {
public:
    using WindowManager::WindowManager;

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    // The tab highlight of the list and form windows.
    void HighlightTabs(TabHighlight& tabs) {
        tabs.Init(ui.window, -1, -1, false, false, true, -1, kListUnselectedTabColour);
    }

    Layout ui;
};

// The form of one record a list opens: the layout has `ok` and `cancel`.
template <class Layout>
class RecordFormWindow : public LayoutWindow<Layout> {
public:
    using LayoutWindow<Layout>::LayoutWindow;

protected:
    // The start of Init: the request taken (View becomes Change), the files
    // opened (false when one does not open; Kill closes what did), OK and
    // Cancel set, the tabs highlighted, the required-field check made ready
    // for OK (the form adds its fields).
    bool OpenForm(std::initializer_list<data::FileManager*> files) {
        mode_.Take(*this);
        for (data::FileManager* f : files)
            if (!tables_.Open(*f)) return false;
        this->SetOkControl(this->ui.ok);
        this->SetCancelControl(this->ui.cancel);
        this->HighlightTabs(tabs_);
        required_.Init(this->ui.window);
        this->SetRequiredFields(&required_);
        return true;
    }
    // The title ("View ..." in view mode) and the request's mode applied.
    void ApplyMode(const std::string& title) {
        this->SetTitle(mode_.Title(title));
        mode_.Apply(*this);
    }
    // The end of TakeCompleted, after the controls were read and checked:
    // the record written (or deleted) through its relations; the history,
    // when given, remembers an edited record once it is written. A change
    // refused because another writer changed the record meanwhile leaves the
    // stored record in the buffer: the form shows it (ShowStored) and stays.
    bool WriteForm(data::FileManager& file, data::RelationManager& relations, FieldHistory* history = nullptr) {
        if (mode_.Write(*this, file, relations) != data::kLevelBenign) {
            if (data::LastErrorCode() == kRecordChanged) ShowStored();
            return false;
        }
        if (history && !mode_.ReadOnly()) history->Remember();
        return true;
    }
    // Shows the buffer's record again in the controls.
    virtual void ShowStored() {}
    void TakeOpened() override { mode_.Opened(*this); }
    void Kill() override {
        tabs_.Kill();
        required_.Kill();
        tables_.Close();
    }

    RecordFormMode mode_;
    WindowTables tables_;
    RequiredFields required_;
    TabHighlight tabs_;
};

// A list window: one instance, its place kept; the layout has `list` and
// `sheet`. The window's own list is `list_`.
template <class Layout>
class ListWindow : public LayoutWindow<Layout> {
public:
    explicit ListWindow(const char* procedure) : LayoutWindow<Layout>(procedure) {
        this->SetSingleInstance(true);
        this->SetSavePosition(true, true);
    }

protected:
    // The start of Init: `close` as the cancel control, the file opened and
    // taken into use at once (the list re-reads its records through it),
    // the tabs highlighted and `list_` made over the file on `ui.list`.
    bool OpenList(data::FileManager& file, QAbstractButton* close) {
        this->SetCancelControl(close);
        if (!tables_.Open(file, true)) return false;
        this->HighlightTabs(tabs_);
        list_ = std::make_unique<BrowseView>(file.File(), this->ui.list, this);
        return true;
    }
    // A second start brings the open window forward.
    bool TakeEvent(int e) override {
        if (e == kEventAlreadyOpen) {
            this->ComeForward();
            return true;
        }
        return list_ && list_->TakeEvent(e);
    }
    void TakeAccepted(QObject* c) override {
        if (list_) list_->HandleAccepted(c);
    }
    // Another tab: its highlight, and the keys to the list when it has rows.
    void TakeNewSelection(QObject* c) override {
        if (c != this->ui.sheet) return;
        tabs_.Refresh();
        if (list_ && list_->HasRows()) this->ui.list->setFocus();
    }
    void Kill() override {
        tabs_.Kill();
        tables_.Close();
    }

    WindowTables tables_;
    TabHighlight tabs_;
    std::unique_ptr<BrowseView> list_;
};

}  // namespace kr
