#include "msgprog/windows/Main.h"

#include <QColor>
#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFont>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "dictionary/Dictionary.h"
#include "msgprog/windows/GenerateEmail.h"
#include "msgprog/windows/SetSnooze.h"
#include "platform/data/ErrorHandler.h"
#include "platform/desktop/Sound.h"
#include "platform/ui/WindowPosition.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/PopupMenu.h"
#include "platform/ui/WindowManager.h"

namespace kr::msgprog {
namespace {

// The preserved style: the font weight with the italic, underline and
// strike-out bits above it, as the font dialog of the original system
// stored them; the colour is 0x00BBGGRR.
constexpr int32_t kItalic = 0x1000;
constexpr int32_t kUnderline = 0x2000;
constexpr int32_t kStrikeOut = 0x4000;

void ApplyFont(QPlainTextEdit* text, const PreservedFont& f) {
    QFont font = text->font();
    font.setFamily(QString::fromStdString(f.Font.str()));
    if (f.Point > 0) font.setPointSize(f.Point);
    const int weight = f.Style & 0x0fff;
    if (weight >= 1 && weight <= 1000) font.setWeight(QFont::Weight(weight));
    font.setItalic(f.Style & kItalic);
    font.setUnderline(f.Style & kUnderline);
    font.setStrikeOut(f.Style & kStrikeOut);
    text->setFont(font);
    QPalette p = text->palette();
    p.setColor(QPalette::Text, QColor(f.Color & 0xff, (f.Color >> 8) & 0xff, (f.Color >> 16) & 0xff));
    text->setPalette(p);
}

void ReadFont(const QPlainTextEdit* text, PreservedFont& f) {
    const QFont font = text->font();
    f.Font = font.family().toStdString();
    f.Point = font.pointSize() > 0 ? font.pointSize() : 10;
    f.Style = int32_t(font.weight()) | (font.italic() ? kItalic : 0) | (font.underline() ? kUnderline : 0) |
              (font.strikeOut() ? kStrikeOut : 0);
    const QColor c = text->palette().color(QPalette::Text);
    f.Color = c.red() | (c.green() << 8) | (c.blue() << 16);
}

// The take-over's result of the last Init, read by OpenMain after a refused
// open has deleted its manager.
int& LastTake() {
    static int r = 0;
    return r;
}

}  // namespace

void MainLayout::Build() {
    BuildMessageWindow(460, 280);
    text->setToolTip(QStringLiteral("Message (Right-click for options)"));
    text->setContextMenuPolicy(Qt::CustomContextMenu);
}

class MainWindow : public WindowManager {
public:
    explicit MainWindow(int32_t id) : WindowManager("Main"), id_(id) {}
    void SetClosed(std::function<void()> closed) { closed_ = std::move(closed); }
    ~MainWindow() override {
        if (closed_) closed_();
    }

    MainLayout ui;
    MsgLink ML;
    int32_t snoozeMinutes = 0;
    AlarmState alarm;
    int takeResult = 0;

    void Choose(int choice) {
        switch (choice) {
            case kPopupFont: SetMessageFont(); break;
            case kPopup10Minutes: SnoozeAndClose(10); break;
            case kPopup30Minutes: SnoozeAndClose(30); break;
            case kPopup1Hour: SnoozeAndClose(60); break;
            case kPopup1Day: SnoozeAndClose(1440); break;
            case kPopupOther: OtherSnooze(); break;
            case kPopupEmail: if (ui.email->isEnabled()) Email(); break;
            case kPopupToDo: ToDo(); break;
            case kPopupExit: Close(); break;
            default: break;
        }
    }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        // The record is taken before anything shows: no record, no window.
        // MsgLink is opened through its relation manager first, so that a
        // damaged or unreadable file is reported to the user by the error
        // handler (the program has no terminal to tell); the read then fails
        // and the window closes.
        auto& links = MsgLink_File();
        const bool lazy = links.lazyOpen;
        links.lazyOpen = false;  // open now, so a failure is reported now
        if (MsgLink_Relations().Open() == data::kLevelBenign) MsgLink_Relations().Close();
        links.lazyOpen = lazy;
        int deleteError = 0;
        takeResult = TakeMessage(id_, ML, &deleteError);
        LastTake() = takeResult;
        if (takeResult != 0) return false;
        LoadMessageSettings();
        const MessageSettings& s = Settings();
        snoozeMinutes = s.SnoozeInterval;
        alarm.Start(ML.AlarmFile.str(), s.RepeatAlarmInterval, s.MaxAlarmTime, Today(), ClockTime());
        if (s.RepeatAlarmInterval > 0) SetTimer(100);

        PreservedFont& f = CurrentFont();
        if (!ClipRight(f.Font.str()).empty())
            ApplyFont(ui.text, f);
        else
            ReadFont(ui.text, f);
        ShowRecord();
        SetTitle(WindowTitle(ML.Title.str()));
        if (s.UseModalMessage) ui.window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        ui.email->setEnabled(!ClipRight(s.Sender.str()).empty() && !ClipRight(s.Host.str()).empty());
        SetCancelControl(ui.close);
        connect(ui.text, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
            // Without a mail account the popup's e-mail item is off, as the
            // Email button is, rather than doing nothing when chosen.
            std::string menu = kMessagePopup;
            if (!ui.email->isEnabled()) menu.insert(menu.find("Send &Email"), "~");
            Choose(Popup(menu, ui.text->mapToGlobal(at), ui.window));
        });
        return true;
    }
    void TakeOpened() override {
        ui.window->raise();
        ui.window->activateWindow();
    }
    void TakeTimer() override {
        if (alarm.Tick(Today(), ClockTime())) PlaySoundAsync(alarm.sound);
        if (!alarm.active()) SetTimer(0);
    }
    void TakeAccepted(QObject* control) override {
        if (control == ui.snooze) {
            SnoozeAndClose(snoozeMinutes);
        } else if (control == ui.todo) {
            ToDo();
        } else if (control == ui.email) {
            Email();
        }
    }

private:
    void ShowRecord() {
        ui.title->setText(QString::fromStdString(ML.Title.str()));
        ui.text->setPlainText(QString::fromStdString(ML.Message.str()));
    }
    // The title and text as they stand in the window.
    void TakeControls() {
        ML.Message = ui.text->toPlainText().toStdString();
    }
    void SnoozeAndClose(int32_t minutes) {
        TakeControls();
        snoozeMinutes = minutes;
        std::string error;
        const int e = SnoozeMessage(ML, minutes, &error);
        if (e != 0) {
            // The record is gone from MsgLink: closing now would lose the
            // message, so the window stays open.
            Message("The message could not be snoozed (error " + std::to_string(e) + ")." +
                        (error.empty() ? std::string() : "\r\n" + error),
                    "Snooze", MessageIcon::Exclamation);
            return;
        }
        CloseNow();
    }
    void OtherSnooze() {
        TakeControls();
        SetSnooze(ML.Title.str(), snoozeMinutes, [this] {
            if (snoozeMinutes != 0) SnoozeAndClose(snoozeMinutes);
        });
    }
    void ToDo() {
        TakeControls();
        std::string error;
        const int e = AddMessageToToDo(ML, &error);
        if (e != 0) {
            Message("The message could not be added to the To Do list (error " + std::to_string(e) + ")." +
                        (error.empty() ? std::string() : "\r\n" + error),
                    "To Do", MessageIcon::Exclamation);
            return;
        }
        Message("Added to To Do List:\r" + ML.Title.padded(), "Saved");
    }
    void Email() {
        TakeControls();
        GenerateEmail(ML, [this] { ShowRecord(); });
    }
    void SetMessageFont() {
        QFont font = ui.text->font();
        QColor colour = ui.text->palette().color(QPalette::Text);
        if (!ChooseFontAndColour(ui.window, font, colour)) return;
        ui.text->setFont(font);
        QPalette p = ui.text->palette();
        p.setColor(QPalette::Text, colour);
        ui.text->setPalette(p);
        ReadFont(ui.text, CurrentFont());
    }

    int32_t id_;
    std::function<void()> closed_;
};

MainWindow* OpenMain(int32_t id, std::function<void()> closed, int* takeResult) {
    // The message program keeps its windows' places in its own INI: the main
    // program's POSITION.INI holds the frame's under the same name "Main".
    if (PositionFile() != kIniFileName) SetPositionFile(kIniFileName);
    LastTake() = 0;
    auto* w = new MainWindow(id);
    const bool ok = w->Open();  // a refused Init has deleted the manager
    if (takeResult) *takeResult = LastTake();
    if (!ok) return nullptr;
    w->SetClosed(std::move(closed));
    return w;
}

const MsgLink& ShownMessage(const MainWindow* w) { return w->ML; }
int32_t& SnoozeMinutes(MainWindow* w) { return w->snoozeMinutes; }
const AlarmState& Alarm(const MainWindow* w) { return w->alarm; }
void ChoosePopup(MainWindow* w, int choice) { w->Choose(choice); }

}  // namespace kr::msgprog
