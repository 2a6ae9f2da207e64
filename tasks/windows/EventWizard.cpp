// UpdateSchedule:SpecialEventWizard: "Special Event Wizard", a one-time
// variant of the highlighted task in five pages. The new task is stored with
// the next free ID and then gets the source's script items; the source (or,
// for a row of the history, the task it records) can be marked to skip its
// next regular run. "&Scripting" gives the new task its number at once, with
// a copy of the source's items, and opens that script: the event's own.
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QStackedWidget>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/fPasswordValidation.h"
#include "platform/data/Errors.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/Requests.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/OpenEditors.h"
#include "scheduler/Reschedule.h"
#include "scheduler/TableScheduleStore.h"
#include "scriptedit/ScriptCopy.h"
#include "tasks/TaskEditorRules.h"
#include "tasks/TaskReservation.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"
#include "tasks/windows/WizardSchedulePages.h"

namespace kr::tasks {

namespace {

using data::kLevelBenign;

enum SpecialPage { kTask = 0, kCommand, kMessage, kWhen, kAdvanced };

struct SpecialEventLayout {
    QWidget* window = nullptr;
    QStackedWidget* pages = nullptr;
    // When and Advanced; the category and description go on the Task page.
    WizardSchedulePages shared;
    QButtonGroup* typeButtons = nullptr;
    QRadioButton *program = nullptr, *message = nullptr, *both = nullptr;
    QLineEdit *command = nullptr, *path = nullptr;
    QPlainTextEdit* text = nullptr;
    QPushButton *browse = nullptr, *scripting = nullptr;
    // The command page's controls that a message-only task hides.
    std::vector<QWidget*> commandControls;
    WizardButtons buttons;

    static QLineEdit* Entry(QWidget* p, const char* name, int length) {
        auto* e = new QLineEdit(p);
        e->setObjectName(name);
        e->setMaxLength(length);
        return e;
    }
    // A label whose Alt key moves to its control.
    static QLabel* Label(const char* text, QWidget* p, QWidget* buddy) {
        auto* l = new QLabel(text, p);
        l->setBuddy(buddy);
        return l;
    }
    void Build() {
        window = new QWidget;
        window->setWindowTitle("Special Event Wizard (Rescheduling)");
        window->setWindowIcon(IconByName("WIZARD.ICO"));
        auto* v = new QVBoxLayout(window);
        pages = new QStackedWidget(window);
        pages->setObjectName("pages");

        auto* p1 = new QWidget;
        auto* g1 = new QGridLayout(p1);
        g1->addWidget(new QLabel("Rescheduling...\n"
                                 "This is useful when the day a task is normally scheduled is a holiday, or\n"
                                 "must be changed temporarily because of some other special event.\n"
                                 "This wizard copies an existing task to create a special event.\n"
                                 "You may modify the information here or press Next.",
                                 p1),
                      0, 0, 1, 3);
        program = new QRadioButton("Run Program", p1);
        program->setObjectName("program");
        message = new QRadioButton("Display Message", p1);
        message->setObjectName("message");
        both = new QRadioButton("Both", p1);
        both->setObjectName("both");
        auto* typeBox = new QGroupBox("Task Type", p1);
        typeBox->setToolTip("Basic - Task Type (Message/Program/Both/Reminder)");
        typeBox->setStatusTip("Basic - Task Type (Message/Program/Both/Reminder)");
        typeButtons = new QButtonGroup(typeBox);
        auto* types = new QHBoxLayout(typeBox);
        for (QRadioButton* r : {program, message, both}) {
            r->setParent(typeBox);
            typeButtons->addButton(r);
            types->addWidget(r);
        }
        g1->addWidget(typeBox, 1, 0, 1, 2);
        // The date and time alone on the When page, the source task's
        // schedule kept; the copy keeps the last WAV file where it was.
        WizardPageOptions o;
        o.whenHeading = "When to do it...\nThese options determine when this task will be performed.";
        o.advancedHeading = "The fancy stuff...";
        o.scheduleChoice = false;
        o.skipFirstText = "Skip next regular occurance of task being copied";
        o.userSkipText = "B&efore performing task, give option to skip";
        o.skipIfScriptBox = false;
        o.keepLastWav = false;
        o.rememberWavFolder = false;
        shared.Build(o, p1, g1, 2);
        shared.skipFirst->setObjectName("skipSource");
        g1->setRowStretch(4, 1);
        pages->addWidget(p1);

        auto* p2 = new QWidget;
        auto* g2 = new QGridLayout(p2);
        g2->addWidget(new QLabel("Application to start...", p2), 0, 0, 1, 3);
        auto* commandText =
            new QLabel("Enter any valid program name, along with the parameters it needs here...", p2);
        command = Entry(p2, "command", 255);
        command->setToolTip("Program to start");
        browse = MakeButton(p2, "&Browse", "browse");
        browse->setToolTip("Select a program to start");
        auto* pathText =
            new QLabel("If the program must be started from a specific directory or folder, enter it here...", p2);
        path = Entry(p2, "path", 255);
        auto* commandLabel = Label("Comma&nd:", p2, command);
        auto* pathLabel = Label("Start &in:", p2, path);
        g2->addWidget(commandText, 1, 0, 1, 3);
        g2->addWidget(commandLabel, 2, 0);
        g2->addWidget(command, 2, 1);
        g2->addWidget(browse, 2, 2);
        g2->addWidget(pathText, 3, 0, 1, 3);
        g2->addWidget(pathLabel, 4, 0);
        g2->addWidget(path, 4, 1);
        // The task form's Command tab texts around the button.
        scripting = MakeButton(p2, "&Scripting", "scripting", "TORNTASK.ICO");
        scripting->setToolTip("Send keystrokes, DDE commands, etc.");
        auto* scriptingText = new QLabel("<- Press this to send keystrokes or DDE commands", p2);
        auto* scriptingTip = new QLabel("TIP:  If you just want to use scripting, enter \"N/A\" as the command above.", p2);
        g2->addWidget(scripting, 5, 0);
        g2->addWidget(scriptingText, 5, 1, 1, 2);
        g2->addWidget(scriptingTip, 6, 0, 1, 3);
        g2->setRowStretch(7, 1);
        commandControls = {commandText, commandLabel, command,   browse,        pathText,
                           pathLabel,   path,         scripting, scriptingText, scriptingTip};
        pages->addWidget(p2);

        auto* p3 = new QWidget;
        auto* g3 = new QVBoxLayout(p3);
        g3->addWidget(new QLabel("Message to display...\nEnter your customized message here...", p3));
        text = new QPlainTextEdit(p3);
        text->setObjectName("text");
        text->setToolTip("Message to display");
        g3->addWidget(text);
        pages->addWidget(p3);

        pages->addWidget(shared.whenPage);
        pages->addWidget(shared.advancedPage);
        // The category and description live on the Task page.
        shared.categoryPage->setParent(window);
        shared.categoryPage->hide();

        v->addWidget(pages);
        buttons.Build(window, v);
    }
};

class SpecialEventWindow : public WindowManager {
public:
    explicit SpecialEventWindow(std::function<void(int)> done)
        : WindowManager("UpdateSchedule:SpecialEventWizard"), done_(std::move(done)) {
        SetSavePosition(true, false);
    }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    Schedule& SCH() { return Schedule_File().rec(); }

    bool Init() override {
        source_ = Schedule_File().rec();
        // A view request shows the task read-only, and so does a delete
        // request: the wizard only ever adds a copy, so it has nothing to
        // delete and offers no Finish. Any other request is an insert.
        const int request = Request();
        view_ = request == kViewRecord || request == kDeleteRecord;
        SetRequest(request == kViewRecord ? kChangeRecord : request == kDeleteRecord ? kDeleteRecord : kInsertRecord);
        if (!fPasswordValidation()) return false;
        EditorOpened();
        counted_ = true;
        if (Schedule_File().Open() != kLevelBenign) return false;
        scheduleOpen_ = true;
        SetOkControl(ui.buttons.finish);
        SetCancelControl(ui.buttons.cancel);
        required_.Init(ui.window);
        required_.SetMessage(ui.command, true, "Command", "Program to start", "Program to start", "SCH:Command");
        required_.SetMessage(ui.text, true, "Message", "Message to display", "Message to display", "SCH:Message");
        ui.shared.AddRequiredFields(required_);
        GlobalRequest() = 0;
        GlobalResponse() = 0;
        SCH() = source_;
        TakeRunningTask();
        ui.shared.Attach(this, [this] { Store(); }, [this] { Show(); });
        ui.shared.StartWarning(true);
        if (Categories_File().Open() == kLevelBenign) {
            categoriesOpen_ = true;
            ui.shared.FillCategories();
        }
        ui.scripting->setEnabled(HasScriptListOpener());
        if (view_) {
            for (QWidget* b : {static_cast<QWidget*>(ui.browse), static_cast<QWidget*>(ui.scripting),
                               static_cast<QWidget*>(ui.shared.datePick),
                               static_cast<QWidget*>(ui.shared.warnPick), static_cast<QWidget*>(ui.shared.wavBrowse),
                               static_cast<QWidget*>(ui.shared.play)})
                DisableInViewMode(b);
            SetViewMode(true);
            SetTitle(ViewTitle(ui.window->windowTitle().toStdString()));
            ui.buttons.cancel->setIcon(IconByName("~close.ico"));
        }
        Show();
        ShowPage(kTask);
        if (!skipReason_.empty()) {
            ui.shared.skipFirst->setEnabled(false);
            ui.shared.skipFirst->setToolTip(QString::fromStdString(skipReason_));
            ui.shared.skipFirst->setStatusTip(QString::fromStdString(skipReason_));
        }
        return true;
    }

    // A completed row is the history copy of a run (or a task that is
    // over): copied whole, the special event would start completed and
    // disabled and never run. It starts as a new task does instead, and the
    // skip mark goes to the task that still runs, the one the row was
    // copied from. With no such task the skip box stays off and says why.
    void TakeRunningTask() {
        skipTarget_ = source_.ID;
        if (!source_.Completed) return;
        Schedule& s = SCH();
        s.Completed = 0;
        s.Disabled = 0;
        s.Skipped = 0;
        s.AdvanceWarned = 0;
        s.SkipNextTime = 0;
        skipTarget_ = 0;
        const int32_t running = source_.OriginalID;
        Schedule task;
        TableScheduleStore store;
        if (running == 0 || running == source_.ID || store.Fetch(running, task) != 0) {
            skipReason_ = "This row is the record of a past run; the task it was copied from no longer exists, "
                          "so there is no regular run to skip.";
        } else if (task.Completed) {
            skipReason_ = "This row is the record of a past run; the task it was copied from is completed, "
                          "so there is no regular run to skip.";
        } else {
            skipTarget_ = running;
        }
    }
    void TakeOpened() override {
        if (view_) ui.buttons.cancel->setFocus();
    }

    // The chosen type; with none of the three chosen (a "None" task, a hot
    // key's) the buffer's type stays.
    std::string Type() const {
        if (ui.program->isChecked()) return "Run Program";
        if (ui.message->isChecked()) return "Display Message";
        if (ui.both->isChecked()) return "Both";
        return Trim(Schedule_File().rec().TaskType.str());
    }
    // A program task hides the message, a message task the command; any
    // other type shows both, as its page flow passes over neither page.
    void TypeRule() {
        const std::string t = Type();
        for (QWidget* w : ui.commandControls) w->setVisible(t != "Display Message");
        ui.text->setVisible(t != "Run Program");
    }

    void Show() {
        Schedule& s = SCH();
        const std::string t = Trim(s.TaskType.str());
        ui.typeButtons->setExclusive(false);
        ui.program->setChecked(t == "Run Program");
        ui.message->setChecked(t == "Display Message");
        ui.both->setChecked(t == "Both");
        ui.typeButtons->setExclusive(true);
        ui.command->setText(QString::fromStdString(s.Command.str()));
        ui.path->setText(QString::fromStdString(s.Path.str()));
        ui.text->setPlainText(QString::fromStdString(s.Message));
        ui.shared.Show();
        TypeRule();
        ApplyViewMode();
    }
    void Store() {
        Schedule& s = SCH();
        s.TaskType = Type();
        s.Command = ui.command->text().toStdString();
        s.Path = ui.path->text().toStdString();
        s.Message = StoredMessage(ui.text);
        ui.shared.Store();
    }

    void ShowPage(int page) {
        WizardButtons& b = ui.buttons;
        ui.pages->setCurrentIndex(page);
        b.back->setEnabled(page != kTask);
        b.next->setEnabled(page != kAdvanced);
        b.next->setDefault(page != kAdvanced);
        if (view_) {
            // Read-only: the last page's Enter closes.
            b.cancel->setDefault(page == kAdvanced);
        } else {
            b.finish->setEnabled(page == kAdvanced);
            b.finish->setDefault(page == kAdvanced);
        }
        ui.shared.AlarmRule(false);
        ApplyViewMode();
    }
    int NextPage(int page) const {
        const std::string t = Type();
        if (page == kTask) return t == "Display Message" ? kMessage : kCommand;
        if (page == kCommand) return t == "Run Program" ? kWhen : kMessage;
        return std::min<int>(page + 1, kAdvanced);
    }
    int BackPage(int page) const {
        const std::string t = Type();
        if (page == kWhen) return t == "Run Program" ? kCommand : kMessage;
        if (page == kMessage) return t == "Display Message" ? kTask : kCommand;
        return std::max<int>(page - 1, kTask);
    }

    void TakeSelected(QObject* c) override {
        if (!view_) ui.shared.TakeSelected(c);
    }

    void TakeAccepted(QObject* c) override {
        const int page = ui.pages->currentIndex();
        if (c == ui.buttons.next) {
            ShowPage(NextPage(page));
        } else if (c == ui.buttons.back) {
            ShowPage(BackPage(page));
        } else if (c == ui.program || c == ui.message || c == ui.both) {
            TypeRule();
        } else if (c == ui.browse) {
            Store();
            QPointer<QWidget> w = ui.window;
            ChooseProgram(ui.window, [this, w](bool chosen) {
                if (w && chosen) Show();
            });
        } else if (c == ui.scripting) {
            if (view_ || !HasScriptListOpener()) return;
            Store();
            if (!ReserveEvent()) return;
            GlobalRequest() = kChangeRecord;
            QPointer<QWidget> w = ui.window;
            OpenScriptList(reserved_, [this, w] {
                if (w) Show();
            });
        } else {
            ui.shared.TakeAccepted(c);
        }
    }

    // The event's own number, reserved the first time its script is asked
    // for, with a copy of the source's items: the script list then edits the
    // event's script, and the source's stays as it is. The buffer takes the
    // number (the list works on the buffer's task) and keeps its other fields.
    bool ReserveEvent() {
        if (reserved_) {
            SCH().ID = reserved_;
            return true;
        }
        const uint8_t disabled = SCH().Disabled;
        const int32_t id = ReserveTaskID(source_.ID);
        SCH().Disabled = disabled;
        if (id == 0) {
            Message("Auto-increment error.  Could not set unique schedule ID.", "Internal Error");
            return false;
        }
        reserved_ = id;
        HoldTask(id);
        if (source_.ID != 0 && source_.ID != id) CopyScript(source_.ID, id);
        return true;
    }

    // The first empty required field in use (the command or message the
    // task type shows, the date and time, the file of an alarm that is on)
    // is named and brought forward with its page's buttons.
    bool Missing() {
        if (!required_.Check(false)) return false;
        ShowPage(ui.pages->currentIndex());
        return true;
    }

    bool TakeCompleted() override {
        if (view_ || Missing()) return false;
        Store();
        Schedule& s = SCH();
        const int32_t source = source_.ID;
        s.NetworkUser = Options().UserID.get();
        s.LastChangeDate = Today();
        s.LastChangeTime = ClockTime();
        if (s.OriginalID == 0) s.OriginalID = source;
        // A warning moved off the source's is still to be given.
        if (s.AdvanceWarnDate != source_.AdvanceWarnDate || s.AdvanceWarnTime != source_.AdvanceWarnTime)
            s.AdvanceWarned = 0;
        const bool skipSource = s.SkipNextTime != 0 && skipTarget_ != 0;
        if (skipSource) s.SkipNextTime = 0;
        TableScheduleStore store;
        Schedule copy = s;
        if (reserved_) {
            // Written over the number reserved with "&Scripting", which
            // holds the event's script already.
            s.ID = reserved_;
            if (Schedule_File().Insert() != kLevelBenign) return false;
            copy = s;
        } else {
            if (AddScheduleCopy(store, copy) != 0 || copy.ID == 0) return false;
            // The special event runs the source's script, copied to its own number.
            if (source != 0 && copy.ID != source) CopyScript(source, copy.ID);
        }
        if (skipSource) {
            Schedule original;
            if (store.Fetch(skipTarget_, original) != 0) {
                Message("Could not set SKIP status  ID #" + std::to_string(skipTarget_) + "Error:" +
                        data::LastErrorText());
            } else {
                original.SkipNextTime = 1;
                if (store.Put(original) != 0) Message("Could not change SKIP status " + data::LastErrorText());
            }
        }
        s = copy;
        saved_ = true;
        return true;
    }

    void Kill() override {
        required_.Kill();
        // A cancelled event gives its reserved number back with the items
        // made for it.
        if (!saved_ && reserved_) ReleaseReservedTask(reserved_);
        if (reserved_) ReleaseTask(reserved_);
        if (categoriesOpen_) Categories_File().Close();
        if (scheduleOpen_) Schedule_File().Close();
        if (counted_) EditorClosed();
        if (done_) done_(saved_ ? kRequestCompleted : kRequestCancelled);
    }

private:
    SpecialEventLayout ui;
    RequiredFields required_;
    Schedule source_;
    // The task whose next regular run the skip box marks (0: none), and why
    // there is none.
    int32_t skipTarget_ = 0;
    std::string skipReason_;
    // The number reserved for the event by "&Scripting" (0: none yet).
    int32_t reserved_ = 0;
    std::function<void(int)> done_;
    bool view_ = false;
    bool counted_ = false, scheduleOpen_ = false, categoriesOpen_ = false, saved_ = false;
};

}  // namespace

void UpdateSchedule_SpecialEventWizard(std::function<void(int response)> done) {
    (new SpecialEventWindow(std::move(done)))->Call();
}

}  // namespace kr::tasks
