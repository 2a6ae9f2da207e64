// A small procedure window for the tests: an entry, a check box, a button,
// OK and Cancel, and a record of what reached its hooks.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/WindowManager.h"

namespace kr::test {

struct ProbeRecord {
    std::vector<std::pair<int, int>> events;  // (event, procedure thread while handling it)
    std::vector<std::string> accepted;        // object names, "*" appended during the accept-all pass
    int acceptedThread = 0;
    int opened = 0;
    int killed = 0;
    int killThread = 0;
    int request = -1;
    int completedCalls = 0;
};

struct ProbeLayout {
    QWidget* window = nullptr;
    QLabel* prompt = nullptr;
    QLineEdit* edit = nullptr;
    QCheckBox* check = nullptr;
    QPushButton* button = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;

    void Build() {
        window = new QWidget;
        auto* l = new QVBoxLayout(window);
        prompt = new QLabel("&Description:", window);
        edit = new QLineEdit(window);
        edit->setObjectName("edit");
        prompt->setBuddy(edit);
        check = new QCheckBox("Flag", window);
        check->setObjectName("check");
        button = new QPushButton("&Press", window);
        button->setObjectName("button");
        ok = new QPushButton("&OK", window);
        ok->setObjectName("ok");
        cancel = new QPushButton("Cancel", window);
        cancel->setObjectName("cancel");
        for (QWidget* w : std::initializer_list<QWidget*>{prompt, edit, check, button, ok, cancel}) l->addWidget(w);
    }
};

class ProbeWindow : public WindowManager {
public:
    ProbeWindow(std::string name, std::shared_ptr<ProbeRecord> record, bool singleInstance = false)
        : WindowManager(std::move(name)), record_(std::move(record)) {
        SetSingleInstance(singleInstance);
        SetRestorePosition(false);
        SetSavePosition(false);
    }
    ProbeLayout ui;
    bool initResult = true;
    bool completeResult = true;
    bool allowClose = true;
    std::function<void()> onKill;  // run by Kill, in the window's thread

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        record_->request = Request();
        return initResult;
    }
    void TakeOpened() override { ++record_->opened; }
    bool TakeEvent(int event) override {
        record_->events.push_back({event, CurrentProcedureThread()});
        return true;
    }
    void TakeAccepted(QObject* control) override {
        record_->accepted.push_back(control->objectName().toStdString() + (AcceptingAll() ? "*" : ""));
        record_->acceptedThread = CurrentProcedureThread();
    }
    bool TakeCompleted() override {
        ++record_->completedCalls;
        return WindowManager::TakeCompleted() && completeResult;
    }
    bool TakeCloseRequest() override { return allowClose; }
    void Kill() override {
        ++record_->killed;
        record_->killThread = CurrentProcedureThread();
        if (onKill) onKill();
    }

private:
    std::shared_ptr<ProbeRecord> record_;
};

// A probe window that restores and saves its position, opened on a procedure
// thread named after it (nullptr when it did not open).
inline ProbeWindow* OpenPositionedProbe(const std::string& name) {
    ProbeWindow* w = nullptr;
    Start(name, [&] {
        w = new ProbeWindow(name, std::make_shared<ProbeRecord>());
        w->SetRestorePosition(true);
        w->SetSavePosition(true);
        w->Open();
    });
    return w;
}

}  // namespace kr::test
