// What the export and import windows are both made of: their buttons, the
// OK/Cancel row, the table they hold open while they are open, and the run
// of their process in the progress window.
#pragma once

#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>
#include <memory>
#include <string>

#include "dictionary/OpenTable.h"
#include "platform/data/Table.h"
#include "platform/ui/ProcessWindow.h"
#include "platform/ui/WindowManager.h"
#include "reports/ImexProcesses.h"

namespace kr::reports {

inline QPushButton* ExchangeButton(QWidget* parent, const char* text, const char* name) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// "&OK" (the default button) and "&Cancel" at the foot, at the right.
inline void AddExchangeOkCancel(QWidget* window, QVBoxLayout* v, QPushButton*& ok, QPushButton*& cancel) {
    auto* foot = new QHBoxLayout;
    foot->addStretch();
    ok = ExchangeButton(window, "&OK", "ok");
    ok->setDefault(true);
    cancel = ExchangeButton(window, "&Cancel", "cancel");
    foot->addWidget(ok);
    foot->addWidget(cancel);
    v->addLayout(foot);
}

class ExchangeWindow : public WindowManager {
public:
    ExchangeWindow(const char* procedure, const ImexMember& member) : WindowManager(procedure), member_(member) {}
    // A refused Init does not reach Kill: the table closes with the manager.
    ~ExchangeWindow() override { CloseTable(); }

protected:
    void Kill() override { CloseTable(); }
    // Opens the member's table for as long as the window is open.
    bool OpenMemberTable() {
        table_ = &data::TableOf(member_.def());
        if (OpenTable(*table_) != 0) return false;
        tableOpen_ = true;
        return true;
    }
    void CloseTable() {
        if (tableOpen_) table_->Close();
        tableOpen_ = false;
    }
    // Runs the process in the progress window titled `title`; once it has
    // gone, `after` runs and this window closes.
    void RunInProgressWindow(std::shared_ptr<TimedProcess> run, const std::string& title,
                             std::function<void()> after = {}) {
        ProcessWindowOptions o;
        o.procedureName = ProcedureName() + ":Progress";
        o.title = title;
        o.listErrors = false;
        o.userTextSource = [run] {
            return run->state() == ProcessState::Finished ? std::string("Process Completed") : std::string();
        };
        QPointer<QWidget> window = Window();
        RunProcessWindow(run, o, [this, window, after](int) {
            if (after) after();
            if (window) CloseNow();
        });
    }

    const ImexMember& member_;

private:
    data::Table* table_ = nullptr;
    bool tableOpen_ = false;
};

}  // namespace kr::reports
