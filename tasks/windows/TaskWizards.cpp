// The add-task wizards: "Add Task Wizard" (any type, six pages), "New Program
// Task Wizard" (four) and "New Message Task Wizard" (three; the to-do list
// opens it primed with a to-do item). One window class; TaskWizardPages.h
// says where they differ and in which order their pages go.
#include <QHBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <filesystem>
#include <optional>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/fPasswordValidation.h"
#include "platform/data/Errors.h"
#include "platform/data/ListQuery.h"
#include "platform/desktop/Sound.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/WindowPosition.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/Requests.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/NextOccurrence.h"
#include "scheduler/OpenEditors.h"
#include "scheduler/ScheduleDefaults.h"
#include "scheduler/TableScheduleStore.h"
#include "scheduler/TaskMessage.h"
#include "scheduler/windows/Main.h"
#include "tasks/TaskEditorRules.h"
#include "tasks/TaskReservation.h"
#include "tasks/TaskWizardPages.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"
#include "tasks/windows/WizardSchedulePages.h"

namespace kr::tasks {

namespace {

using data::kLevelBenign;

struct MessageWizardLayout {
    QWidget* window = nullptr;
    QStackedWidget* pages = nullptr;
    WizardSchedulePages shared;  // When, Category and Advanced
    QRadioButton* taskType[4] = {};
    QLineEdit *command = nullptr, *path = nullptr;
    QPushButton *browse = nullptr, *scripting = nullptr;
    QPlainTextEdit* message = nullptr;
    QLabel* picture = nullptr;
    QWidget *commandPage = nullptr, *messagePage = nullptr;
    QPushButton *back = nullptr, *next = nullptr, *finish = nullptr, *cancel = nullptr;

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
    // Pages a wizard does not show stay with the window, hidden, so their
    // controls keep the buffer's values.
    void Unused(std::initializer_list<QWidget*> unused) {
        for (QWidget* p : unused) {
            p->setParent(window);
            p->hide();
        }
    }
    void Build(TaskWizard kind) {
        const TaskWizardTraits& t = TraitsOf(kind);
        window = new QWidget;
        window->setWindowTitle(t.title);
        window->setWindowIcon(IconByName(t.icon));
        auto* v = new QVBoxLayout(window);
        auto* body = new QHBoxLayout;
        picture = new QLabel(window);
        picture->setObjectName("picture");
        // Shown beside some pages only: its room stays, so the window keeps its size.
        KeepRoomWhenHidden(picture, QSize(48, 48));
        body->addWidget(picture, 0, Qt::AlignTop);
        pages = new QStackedWidget(window);
        pages->setObjectName("pages");
        body->addWidget(pages, 1);

        // The pages of every wizard; each wizard shows its own in its order.
        auto* taskPage = new QWidget;
        {
            auto* g = new QVBoxLayout(taskPage);
            g->addWidget(new QLabel("What needs to be done?\nThis wizard schedules a new task to perform.  Enter the "
                                    "type of task here...",
                                    taskPage));
            auto* group = new QGroupBox("Task Type", taskPage);
            group->setObjectName("taskTypeGroup");
            group->setToolTip("This determines what will happen at the time you specify...");
            auto* radios = new QVBoxLayout(group);
            const char* names[4] = {"Run Program", "Display Message", "Both", "None"};
            for (int i = 0; i < 4; ++i) {
                taskType[i] = new QRadioButton(names[i], group);
                taskType[i]->setObjectName(QString("taskType%1").arg(i));
                radios->addWidget(taskType[i]);
            }
            g->addWidget(group);
            g->addStretch(1);
        }
        messagePage = new QWidget;
        auto* gm = new QGridLayout(messagePage);
        gm->addWidget(new QLabel("Message to display...\nEnter your customized message here...", messagePage), 0, 0,
                      1, 2);
        // The message wizard asks category and description with the message.
        if (t.pages == 3) shared.Build(PageOptionsOf(kind), messagePage, gm, 1);
        else shared.Build(PageOptionsOf(kind));
        message = new QPlainTextEdit(messagePage);
        message->setObjectName("message");
        gm->addWidget(Label("&Message:", messagePage, message), 3, 0);
        gm->addWidget(message, 3, 1);
        commandPage = new QWidget;
        {
            auto* g = new QGridLayout(commandPage);
            g->addWidget(new QLabel("Application to start...", commandPage), 0, 0, 1, 3);
            g->addWidget(new QLabel("Enter any valid program name, along with the parameters it needs here...",
                                    commandPage),
                         1, 0, 1, 3);
            command = Entry(commandPage, "command", 255);
            browse = MakeButton(commandPage, "&Browse", "browse");
            browse->setToolTip(kind == TaskWizard::Program ? "Select an application to start"
                                                           : "Select a program to start");
            path = Entry(commandPage, "path", 255);
            scripting = MakeButton(commandPage, "&Scripting", "scripting", "TORNTASK.ICO");
            scripting->setToolTip("Send keystrokes, DDE commands, etc.");
            g->addWidget(Label("Comma&nd:", commandPage, command), 2, 0);
            g->addWidget(command, 2, 1);
            g->addWidget(browse, 2, 2);
            g->addWidget(new QLabel("If the program must be started from a specific directory or folder, enter it "
                                    "here...",
                                    commandPage),
                         3, 0, 1, 3);
            g->addWidget(Label("Start &in:", commandPage, path), 4, 0);
            g->addWidget(path, 4, 1);
            g->addWidget(scripting, 5, 0);
            g->addWidget(new QLabel("<- Press this to send keystrokes or DDE commands", commandPage), 5, 1, 1, 2);
            if (kind == TaskWizard::Program)
                g->addWidget(new QLabel("TIPS:  If you're using Windows 95 or NT 4.0, you can enter the name of a\n"
                                        "document or URL.  To use scripting only, enter N/A as the command.",
                                        commandPage),
                             6, 0, 1, 3);
            // Spare height goes below the fields, not around the heading.
            g->setRowStretch(7, 1);
        }
        QWidget* categoryPage = shared.categoryPage;
        QWidget* p2 = shared.whenPage;
        QWidget* p3 = shared.advancedPage;
        if (t.pages == 6) {
            for (QWidget* p : {taskPage, categoryPage, commandPage, messagePage, p2, p3}) pages->addWidget(p);
        } else if (t.pages == 4) {
            for (QWidget* p : {commandPage, p2, categoryPage, p3}) pages->addWidget(p);
            Unused({taskPage, messagePage});
        } else {
            for (QWidget* p : {messagePage, p2, p3}) pages->addWidget(p);
            Unused({taskPage, categoryPage, commandPage});
        }

        v->addLayout(body);
        AddWizardButtons(window, v, back, next, finish, cancel);
    }
};

class MessageWizardWindow : public WindowManager {
public:
    MessageWizardWindow(TaskWizard kind, std::optional<Schedule> primed)
        : WindowManager(TraitsOf(kind).procedure), kind_(kind), primed_(std::move(primed)) {
        SetSavePosition(true, false);
    }

protected:
    const TaskWizardTraits& traits() const { return TraitsOf(kind_); }
    QWidget* MakeWindow() override {
        ui.Build(kind_);
        return ui.window;
    }
    Schedule& SCH() { return Schedule_File().rec(); }

    bool Init() override {
        SetRequest(kInsertRecord);
        if (!fPasswordValidation()) return false;
        EditorOpened();
        counted_ = true;
        if (Schedule_File().Open() != kLevelBenign) return false;
        scheduleOpen_ = true;
        ui.shared.Attach(this, [this] { Store(); }, [this] { Show(); });
        if (Categories_File().Open() == kLevelBenign) {
            categoriesOpen_ = true;
            EnsureCategory("General");
            ui.shared.FillCategories();
        }
        SetOkControl(ui.finish);
        SetCancelControl(ui.cancel);
        required_.Init(ui.window);
        required_.SetMessage(ui.command, true, "Command", "Program to start", "Program to start", "SCH:Command");
        required_.SetMessage(ui.message, true, "Message", "Message to display", "Message to display",
                             "SCH:Message");
        ui.shared.AddRequiredFields(required_);
        GlobalRequest() = 0;
        GlobalResponse() = 0;
        // The defaults; a to-do item's date, description and message stay.
        Schedule s;
        ApplyNewTaskDefaults(s, Today(), ClockTime(), "");
        s.TaskType = traits().taskType;
        if (primed_) {
            s.Date = primed_->Date;
            s.Time = primed_->Time;
            s.Description = primed_->Description;
            s.Message = primed_->Message;
        }
        SCH() = s;
        reserved_ = ReserveTaskID(0);
        HoldTask(SCH().ID);
        held_ = SCH().ID;
        Show();
        ShowPage(0);
        return true;
    }

    void Show() {
        Schedule& s = SCH();
        const char* types[4] = {"Run Program", "Display Message", "Both", "None"};
        for (int i = 0; i < 4; ++i) ui.taskType[i]->setChecked(Trim(s.TaskType.str()) == types[i]);
        ui.command->setText(QString::fromStdString(s.Command.str()));
        ui.path->setText(QString::fromStdString(s.Path.str()));
        ui.message->setPlainText(QString::fromStdString(s.Message));
        ui.shared.Show();
        const TaskTypeView tv = ApplyTaskType(s);
        ui.shared.time->setVisible(tv.time);
        ui.shared.timeLabel->setVisible(tv.time);
        if (!tv.time) ui.shared.time->setText(WizardSchedulePages::TimeText(s.Time));
        ui.scripting->setEnabled(HasScriptListOpener());
    }

    void Store() {
        Schedule& s = SCH();
        if (kind_ == TaskWizard::General) {
            const char* types[4] = {"Run Program", "Display Message", "Both", "None"};
            for (int i = 0; i < 4; ++i)
                if (ui.taskType[i]->isChecked()) s.TaskType = types[i];
        }
        s.Command = ui.command->text().toStdString();
        s.Path = ui.path->text().toStdString();
        s.Message = StoredMessage(ui.message);
        ui.shared.Store();
    }

    void ShowPage(int page) {
        ui.pages->setCurrentIndex(page);
        // The picture stands beside every page but Command and When, and
        // shows writing beside the Message page.
        QWidget* shown = ui.pages->currentWidget();
        if (shown == ui.commandPage || shown == ui.shared.whenPage) {
            ui.picture->hide();
        } else {
            ui.picture->setPixmap(IconByName(shown == ui.messagePage ? "~WRITE.GIF" : "~TIMEPC_L.GIF").pixmap(48, 48));
            ui.picture->show();
        }
        const int last = traits().pages - 1;
        ui.back->setEnabled(page > 0);
        ui.next->setEnabled(page < last);
        ui.finish->setEnabled(page == last);
        ui.finish->setDefault(page == last);
        ui.next->setDefault(page != last);
        if (page == last) ui.shared.AlarmRule(true);
    }

    void TakeSelected(QObject* c) override { ui.shared.TakeSelected(c); }

    void TakeAccepted(QObject* c) override {
        const int page = ui.pages->currentIndex();
        if (c == ui.next) {
            Store();
            if (page == 0 && traits().descriptionFillsMessage) {
                // The description fills an empty message.
                if (Trim(SCH().Message).empty()) SCH().Message = ClipRight(SCH().Description.str());
            }
            if (page == 0) {
                ApplyTaskType(SCH());
                Show();
            }
            ShowPage(NextWizardPage(kind_, page + 1, SCH().TaskType.str()) - 1);
            return;
        }
        if (c == ui.back) {
            Store();
            ShowPage(BackWizardPage(kind_, page + 1, SCH().TaskType.str()) - 1);
            return;
        }
        for (QRadioButton* r : ui.taskType)
            if (c == r) {
                Store();
                ApplyTaskType(SCH());
                Show();
                return;
            }
        if (c == ui.browse) {
            Store();
            QPointer<QWidget> w = ui.window;
            ChooseProgram(ui.window, [this, w](bool chosen) {
                if (!w || !chosen) return;
                if (traits().fillStartFolder && Trim(SCH().Path.str()).empty()) SCH().Path = FolderOf(SCH().Command.str());
                Show();
            });
            return;
        }
        if (c == ui.scripting) {
            Store();
            GlobalRequest() = kChangeRecord;
            QPointer<QWidget> w = ui.window;
            // The list works on the reserved task, the one Finish writes.
            if (reserved_) SCH().ID = reserved_;
            OpenScriptList(SCH().ID, [this, w] {
                if (w) Show();
            });
            return;
        }
        ui.shared.TakeAccepted(c);
    }

    // The required fields of the task type: a program's command, a
    // message's text; the schedule's own come with the shared pages.
    bool Missing() {
        const std::string type = Trim(SCH().TaskType.str());
        RequiredFields::MarkRequired(ui.command,
                                     traits().commandRequired && type != "Display Message" && type != "None");
        RequiredFields::MarkRequired(ui.message, traits().messageRequired && type != "Run Program");
        if (!required_.Check(false)) return false;
        // The check brought the control's page forward: the buttons follow.
        ShowPage(ui.pages->currentIndex());
        return true;
    }

    bool TakeCompleted() override {
        Store();
        if (Missing()) return false;
        Schedule& s = SCH();
        PrepareForSave(s);
        CompleteEditedTask(s);
        s.Completed = 0;
        if (traits().finishClearsDisabled) s.Disabled = 0;
        // Written under the reserved ID, which holds the items made through
        // "&Scripting".
        if (reserved_) s.ID = reserved_;
        if (Schedule_File().Insert() != kLevelBenign) return false;
        saved_ = true;
        return true;
    }

    void Kill() override {
        required_.Kill();
        if (!saved_ && reserved_) ReleaseReservedTask(reserved_);
        if (held_) ReleaseTask(held_);
        if (saved_) BrowseScheduleThreads().PostToAll(1090);
        if (categoriesOpen_) Categories_File().Close();
        if (scheduleOpen_) Schedule_File().Close();
        if (counted_) EditorClosed();
    }

private:
    MessageWizardLayout ui;
    RequiredFields required_;
    TaskWizard kind_;
    std::optional<Schedule> primed_;
    int32_t reserved_ = 0, held_ = 0;
    bool counted_ = false, scheduleOpen_ = false, categoriesOpen_ = false, saved_ = false;
};

}  // namespace

void OpenTaskWizard(TaskWizard kind, std::optional<Schedule> primed) {
    auto* w = new MessageWizardWindow(kind, std::move(primed));
    // From a list (the to-do list) it opens over that list's window.
    if (TopWindowOf(CurrentProcedureThread()))
        w->Call();
    else
        w->Open();
}

void Wizard_Message(std::optional<Schedule> primed) { OpenTaskWizard(TaskWizard::Message, std::move(primed)); }
void Wizard_Program() { OpenTaskWizard(TaskWizard::Program, std::nullopt); }
void Wizard_GeneralTask() { OpenTaskWizard(TaskWizard::General, std::nullopt); }

}  // namespace kr::tasks
