// Setup, the window "Options": the program-wide settings on eight tabs and
// "Scheduler active". Its controls edit the option globals in place, so a
// change takes effect at once; "&OK" stores every value, "Cancel" reloads
// them all from Configuration. Called on the frame's thread, window-modal
// over it; the frame's timer keeps running.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "dictionary/OptionsStore.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/WindowManager.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace kr {

inline constexpr const char* kSetupProcedure = "Setup";
inline constexpr const char* kTestMailSubject = "Test E-mail";

struct SetupLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    // Start Up
    QCheckBox *showSchedule = nullptr, *fullSchedule = nullptr, *activeOnly = nullptr, *showToDo = nullptr,
              *showContacts = nullptr, *showClipboard = nullptr, *startMinimized = nullptr;
    // General
    QComboBox* dateFormat = nullptr;
    QCheckBox *noTray = nullptr, *maximizeOnRun = nullptr, *minimizeOnClose = nullptr;
    QSpinBox* skipDays = nullptr;
    QPushButton* generalInfo = nullptr;
    // Messages
    QCheckBox *useKRMsg = nullptr, *useModal = nullptr;
    QSpinBox *repeatAlarm = nullptr, *maxAlarmTime = nullptr, *snooze = nullptr;
    // History
    QSpinBox* historyExpires = nullptr;
    QCheckBox *removeUncompleted = nullptr, *logEvents = nullptr, *logExitCodes = nullptr;
    // Scripting
    QSpinBox *sendInterval = nullptr, *burstSize = nullptr;
    QCheckBox *saveScripts = nullptr, *translateFilenames = nullptr, *exclHidden = nullptr, *newProc16 = nullptr;
    QPushButton* scriptingInfo = nullptr;
    // Clipboard
    QCheckBox* monitorClipboard = nullptr;
    QSpinBox* maxClipboardEntries = nullptr;
    QCheckBox *useExternalClipboard = nullptr, *clipboardOnTop = nullptr;
    // Email
    QLineEdit *senderName = nullptr, *sender = nullptr, *host = nullptr, *newsSender = nullptr, *newsHost = nullptr;
    QPushButton* testSettings = nullptr;
    // Security
    QCheckBox* systemLocked = nullptr;
    QLineEdit *password = nullptr, *confirm = nullptr;
    // Outside the sheet
    QCheckBox* schedulerActive = nullptr;
    QPushButton *ok = nullptr, *cancel = nullptr;
    void Build();
};

class SetupWindow : public WindowManager {
public:
    SetupWindow();
    const SetupLayout& Layout() const { return ui_; }
    // True while a test mail is being sent.
    bool SendingTestMail() const { return sending_; }

protected:
    QWidget* MakeWindow() override;
    bool Init() override;
    void TakeOpened() override;
    void TakeAccepted(QObject* control) override;
    void TakeNewSelection(QObject* control) override;
    bool TakeCompleted() override;
    void TakeCancelled() override;
    void Kill() override;

private:
    void Bind();
    void SendTestMail();
    OptionsEdits Edits() const;

    SetupLayout ui_;
    TabHighlight tabs_;
    std::string dateEntryOnOpening_;
    bool activeChanged_ = false;
    bool sending_ = false;
};

// The procedure: the system password first, the "/I" warning, then the
// window. Returns the window's manager, or nullptr when it did not open.
SetupWindow* Setup();

}  // namespace kr
