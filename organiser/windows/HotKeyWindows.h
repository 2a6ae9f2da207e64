// The hot-key windows:
//   BrowseHotKeys  "Hot Keys": the stored system-wide hot keys
//   UpdateHotKeys  "New Hot Key" / "Edit Hot Key": one hot key, a three-tab
//                  wizard (the key and action, the text, the task)
// Every close of the form tells the frame (thread 1) to grab the keys anew.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "organiser/HotKeyText.h"
#include "platform/ui/BrowseView.h"
#include "platform/ui/FieldHistory.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/TabWizard.h"
#include "platform/ui/WindowManager.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableView;

namespace kr {

namespace xplore {
class XploreList;
}

inline constexpr const char* kBrowseHotKeysProcedure = "BrowseHotKeys";
inline constexpr const char* kUpdateHotKeysProcedure = "UpdateHotKeys";
inline constexpr const char* kHotKeyTaskCategory = "Hot Key";

// Makes both windows known to START by their procedure names.
void RegisterHotKeyWindows();

// ---- BrowseHotKeys ----------------------------------------------------------

struct BrowseHotKeysLayout {
    QWidget* window = nullptr;
    QTableView* list = nullptr;
    QPushButton *insert = nullptr, *change = nullptr, *del = nullptr, *close = nullptr;
    QTabWidget* sheet = nullptr;  // "Hot Key", "Description"
    void Build();
};

class BrowseHotKeysWindow : public WindowManager {
public:
    BrowseHotKeysWindow();
    ~BrowseHotKeysWindow() override;
    const BrowseHotKeysLayout& Layout() const { return ui_; }
    BrowseList& List();

protected:
    QWidget* MakeWindow() override;
    bool Init() override;
    void TakeOpened() override;
    bool TakeEvent(int event) override;
    void TakeAccepted(QObject* control) override;
    void TakeNewSelection(QObject* control) override;
    void Kill() override;

private:
    void ChooseOrder();

    BrowseHotKeysLayout ui_;
    TabHighlight tabs_;
    std::unique_ptr<BrowseView> list_;
    std::unique_ptr<xplore::XploreList> xplore_;
};

// Starts the list on the current procedure thread (a second start brings the
// open one to the front). nullptr when it did not open.
BrowseHotKeysWindow* BrowseHotKeys();

// ---- UpdateHotKeys ----------------------------------------------------------

struct UpdateHotKeysLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;  // "Basic", "Text", "Task"
    QCheckBox *ctrl = nullptr, *alt = nullptr, *shift = nullptr, *win = nullptr;
    QListWidget* keyName = nullptr;
    QCheckBox* active = nullptr;
    QLabel* keyText = nullptr;
    QRadioButton *actionText = nullptr, *actionTask = nullptr;
    QLineEdit* description = nullptr;
    QRadioButton *typeType = nullptr, *typeCopy = nullptr, *typePaste = nullptr;
    QPlainTextEdit* text = nullptr;
    QLabel* taskDescription = nullptr;
    QPushButton *back = nullptr, *next = nullptr, *ok = nullptr, *cancel = nullptr;
    void Build();
};

class UpdateHotKeysWindow : public WindowManager {
public:
    UpdateHotKeysWindow();
    const UpdateHotKeysLayout& Layout() const { return ui_; }
    // The key text as the boxes and the key list build it now.
    std::string KeyText() const;
    // The form open at the moment (one at a time: it is window-modal).
    static inline UpdateHotKeysWindow* current = nullptr;

protected:
    QWidget* MakeWindow() override;
    bool Init() override;
    void TakeAccepted(QObject* control) override;
    void TakeNewSelection(QObject* control) override;
    bool TakeCompleted() override;
    void Kill() override;

private:
    void ShowKeyText();
    void ShowActionTabs();
    // The buffer's key in the controls.
    void ShowRecord();
    void ReadTask();
    void CallScriptWizard();
    static constexpr int kTaskTab = 2;
    int32_t madeTask_ = 0;  // made by the wizard and not yet saved with the key

    UpdateHotKeysLayout ui_;
    TabWizard wizard_;
    TabHighlight tabs_;
    RequiredFields required_;
    FieldHistory history_{"UpdateHotKeys"};
};

// Runs UpdateHotKeys for the request over the current thread's SysHotKeys
// buffer (request 0 is an insert). A delete request opens no window: it asks
// "Confirm Delete" and deletes the key with its task. `done` gets the
// response; the frame is told to reload its keys in every case.
void UpdateHotKeys(int request, std::function<void(int response)> done = {});

// After a hot key was deleted: its task, when it is still there and is a
// hot-key task, is deleted with its script items. True when one was deleted.
bool DeleteHotKeyTask(int32_t taskId);

}  // namespace kr
