#include "scheduler/windows/TaskMessageWindow.h"

#include "organiser/MailSettings.h"
#include "organiser/windows/GenerateEmail.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "dictionary/Settings.h"
#include "platform/desktop/Sound.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/WindowManager.h"
#include "platform/ui/WindowPosition.h"

namespace kr {
namespace {

constexpr int64_t kDayHundredths = 8640000;

// A moment as one number, so that replays across midnight compare right.
int64_t Now() { return int64_t(Today()) * kDayHundredths + ClockTime(); }

QPointer<QObject>& LastWindow() {
    static QPointer<QObject> w;
    return w;
}

}  // namespace

void TaskMessageLayout::Build() {
    BuildMessageWindow(420, 260);
    text->setReadOnly(true);
}

class TaskMessageWindow : public WindowManager {
public:
    TaskMessageWindow(const TaskMessageCopy& message, bool modal)
        : WindowManager(modal ? "ShowModalMessage" : "ShowMessageNormal"), message_(message), modal_(modal) {}
    ~TaskMessageWindow() override {
        if (countsThread_) MessageThreadCount().fetch_sub(1);
    }

    TaskMessageLayout ui;
    // This window holds its message thread's count until it is gone.
    void TakeThreadCount() { countsThread_ = true; }
    const TaskMessageCopy& message() const { return message_; }
    int64_t nextReplay() const { return nextReplay_; }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        if (modal_) ui.window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        // A task's message reaches the user while the frame is in the tray.
        ui.window->setProperty(kShowsWithoutFrame, true);
        return ui.window;
    }
    bool Init() override {
        LogMessageShown(message_.Title.str(), message_.AlarmFile.str());
        SetTitle(message_.Title.str());
        ui.title->setText(QString::fromStdString(std::string(message_.Title.str()).substr(0, 40)));
        ui.text->setPlainText(QString::fromStdString(std::string(message_.Message.str()).substr(0, 1024)));
        // "&Email" stays enabled without a mail account: the e-mail window's
        // failed send names the sender and host, so the user sees what is missing.
        SetCancelControl(ui.close);
        const int32_t repeat = Options().RepeatAlarmInterval.load();
        if (repeat > 0) {
            const int64_t now = Now();
            nextReplay_ = now + int64_t(repeat) * 100;
            const int32_t maxMinutes = Options().MaxAlarmTime.load();
            if (maxMinutes > 0) replayEnd_ = now + int64_t(maxMinutes) * 6000;
            SetTimer(100);
        }
        return true;
    }
    void TakeTimer() override {
        if (nextReplay_ == 0) return;
        const int64_t now = Now();
        if (now <= nextReplay_) return;
        if (replayEnd_ != 0 && now > replayEnd_) {
            nextReplay_ = 0;
            SetTimer(0);
            return;
        }
        const std::string alarm = message_.AlarmFile.str();
        if (!alarm.empty()) {
            const std::string resolved = ResolveSoundFile(alarm);
            PlaySoundAsync(resolved.empty() ? alarm : resolved);
        }
        nextReplay_ = now + int64_t(Options().RepeatAlarmInterval.load()) * 100;
    }
    void TakeAccepted(QObject* control) override {
        if (control == ui.snooze) {
            std::string error;
            const int e = SnoozeMessage(message_, &error);
            if (e != 0) {
                // Nothing is lost: the window stays open with its message.
                Message("The message could not be snoozed (error " + std::to_string(e) + ")." +
                            (error.empty() ? std::string() : "\r\n" + error),
                        "Snooze", MessageIcon::Exclamation);
                return;
            }
            CloseNow();
        } else if (control == ui.email) {
            const OptionGlobals& mail = Options();
            GenerateEmail(message_.Title, message_.Message,
                          {mail.Email_Host.get(), mail.Email_Sender.get(), mail.Email_SenderName.get(),
                           mail.Email_Organization.get()},
                          {});
        } else if (control == ui.todo) {
            std::string error;
            const int e = AddMessageToToDo(message_, &error);
            if (e != 0) {
                Message("The message could not be added to the To Do list (error " + std::to_string(e) + ")." +
                            (error.empty() ? std::string() : "\r\n" + error),
                        "To Do", MessageIcon::Exclamation);
                return;
            }
            Message("Added to To Do List:\r" + message_.Title.str(), "Saved");
            Message("Added to To Do List", "Status");
        }
    }

private:
    TaskMessageCopy message_;
    bool modal_;
    bool countsThread_ = false;
    int64_t nextReplay_ = 0;
    int64_t replayEnd_ = 0;
};

namespace {

// The message window that the current message thread opens takes over its
// count (it gives it back when it is gone).
bool& InMessageThread() {
    static bool in = false;
    return in;
}
bool& WindowTookCount() {
    static bool took = false;
    return took;
}

TaskMessageWindow* OpenMessageWindow(const TaskMessageCopy& message, bool modal) {
    const bool counts = InMessageThread() && !WindowTookCount();
    auto* w = new TaskMessageWindow(message, modal);
    const bool opened = modal ? w->Call() : w->Open();
    if (!opened) return nullptr;  // the manager is gone
    if (counts) {
        w->TakeThreadCount();
        WindowTookCount() = true;
    }
    LastWindow() = w;
    return w;
}

}  // namespace

TaskMessageWindow* ShowMessageNormal(const TaskMessageCopy& message) { return OpenMessageWindow(message, false); }
TaskMessageWindow* ShowModalMessage(const TaskMessageCopy& message) { return OpenMessageWindow(message, true); }

TaskMessageWindow* LastMessageWindow() { return static_cast<TaskMessageWindow*>(LastWindow().data()); }

void StartMessageThread(const TaskMessageCopy& message) {
    const TaskMessageCopy copy = message;
    Start("MessageThread", [copy] {
        MessageThreadCount().fetch_add(1);
        InMessageThread() = true;
        WindowTookCount() = false;
        MessageThreadBody(copy);
        const bool took = WindowTookCount();
        InMessageThread() = false;
        WindowTookCount() = false;
        // No window stayed open (handed over, or a plain box): the thread ends.
        if (!took) MessageThreadCount().fetch_sub(1);
    }, kDefaultStack);
}

std::function<bool()>& ModalHoldCheck() {
    static std::function<bool()> check;
    return check;
}

void SetModalMessageHold(std::function<bool()> holdsCaller) { ModalHoldCheck() = std::move(holdsCaller); }

void InstallMessageWindows() {
    MessageDisplay d;
    d.startMessageThread = StartMessageThread;
    d.showModalMessage = [](const TaskMessageCopy& m) {
        // Opened by the timer cycle on the frame's thread, the box holds the
        // cycle until it is answered: the ticks meanwhile return at once and
        // the next due task runs after it, as with the cycle's own
        // questions. Opened from a list or a message thread it holds nothing.
        const bool holdsCycle = ModalHoldCheck() && ModalHoldCheck()();
        TaskMessageWindow* w = ShowModalMessage(m);
        if (!w || !holdsCycle) return;
        QPointer<QWidget> window = w->Window();
        if (!window) return;
        QEventLoop loop;
        QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec();
    };
    d.showMessageNormal = [](const TaskMessageCopy& m) { ShowMessageNormal(m); };
    SetMessageDisplay(std::move(d));
}

}  // namespace kr
