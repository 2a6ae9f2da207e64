// UpdateSchedule: the task form over the Schedule buffer, with its program
// choice. The rules live in TaskEditorRules; this window shows their answers.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <filesystem>
#include <memory>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/fPasswordValidation.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/data/Errors.h"
#include "platform/desktop/Sound.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/ui/WindowPosition.h"
#include "platform/ui/Icons.h"
#include "platform/ui/RecordForm.h"
#include "platform/ui/Requests.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/ScheduleDefaults.h"
#include "scheduler/TableScheduleStore.h"
#include "scriptedit/ScriptCopy.h"
#include "tasks/TaskEditorRules.h"
#include "tasks/TaskReservation.h"
#include "tasks/windows/TaskWindows.h"
#include "tasks/windows/WizardSchedulePages.h"
#include "tasks/windows/TypedEntry.h"

namespace kr::tasks {

namespace {

using data::kLevelBenign;

constexpr const char* kTimePicture = "@t3";

ScriptListOpenerFn& ScriptListOpener() {
    static ScriptListOpenerFn opener;
    return opener;
}

// A row of radio buttons for an option field.
struct Option {
    QGroupBox* box = nullptr;
    QButtonGroup* group = nullptr;
    std::vector<QRadioButton*> radios;
    void Build(QWidget* parent, const char* title, const std::vector<const char*>& values, const char* name,
               bool vertical = false) {
        box = new QGroupBox(title, parent);
        box->setObjectName(name);
        group = new QButtonGroup(box);
        QBoxLayout* l = vertical ? static_cast<QBoxLayout*>(new QVBoxLayout(box)) : new QHBoxLayout(box);
        for (const char* v : values) {
            auto* r = new QRadioButton(v, box);
            r->setObjectName(QString(name) + ":" + v);
            group->addButton(r);
            radios.push_back(r);
            l->addWidget(r);
        }
    }
    std::string Value() const {
        for (auto* r : radios)
            if (r->isChecked()) return r->text().toStdString();
        return {};
    }
    void Set(const std::string& v) {
        group->setExclusive(false);
        for (auto* r : radios) r->setChecked(r->text().toStdString() == v);
        group->setExclusive(true);
    }
    bool Owns(QObject* c) const {
        if (c == box) return true;
        for (auto* r : radios)
            if (c == r) return true;
        return false;
    }
};

struct UpdateScheduleLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QWidget *taskTab = nullptr, *commandTab = nullptr, *messageTab = nullptr, *whenTab = nullptr,
            *advancedTab = nullptr;
    Option taskType;
    QComboBox* category = nullptr;
    QPushButton* categoryLookup = nullptr;
    QLineEdit* description = nullptr;
    QLineEdit* command = nullptr;
    QLineEdit* path = nullptr;
    QPushButton* browseProgram = nullptr;
    QPushButton* scripting = nullptr;
    QPlainTextEdit* message = nullptr;
    Option scheduleType;
    QGroupBox* everyGroup = nullptr;
    QCheckBox *first = nullptr, *second = nullptr, *third = nullptr, *fourth = nullptr, *last = nullptr,
              *monthEnd = nullptr;
    std::array<QCheckBox*, 7> weekdays{};
    QLabel* everyPrompt = nullptr;
    QSpinBox* every = nullptr;
    Option everyType;
    Option repeat;
    QLabel* offsetPrompt = nullptr;
    QSpinBox* offset = nullptr;
    QPushButton* tips = nullptr;
    QPushButton* except = nullptr;
    QLineEdit* date = nullptr;
    QPushButton* datePick = nullptr;
    QLabel* timePrompt = nullptr;
    QLineEdit* time = nullptr;
    QLineEdit* lastRunDate = nullptr;
    QLineEdit* lastRunTime = nullptr;
    QCheckBox* skipNext = nullptr;
    QLineEdit* warnDate = nullptr;
    QPushButton* warnPick = nullptr;
    QLineEdit* warnTime = nullptr;
    QCheckBox* alarm = nullptr;
    QLabel* wavPrompt = nullptr;
    QLineEdit* wavFile = nullptr;
    QPushButton* wavBrowse = nullptr;
    QPushButton* wavPlay = nullptr;
    QCheckBox *warn = nullptr, *skipIfMissed = nullptr, *userSkip = nullptr, *skipIfScript = nullptr,
              *noHistory = nullptr, *disable = nullptr;
    QLabel* picture = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;

    static QLineEdit* Entry(QWidget* parent, const char* name, const char* tip, int max = 0) {
        auto* e = new QLineEdit(parent);
        e->setObjectName(name);
        e->setToolTip(tip);
        e->setStatusTip(tip);
        if (max) e->setMaxLength(max);
        return e;
    }
    static QCheckBox* Check(QWidget* parent, const char* text, const char* name, const char* tip = nullptr) {
        auto* c = new QCheckBox(text, parent);
        c->setObjectName(name);
        if (tip) c->setToolTip(tip);
        return c;
    }
    static QPushButton* Button(QWidget* parent, const char* text, const char* name, const char* tip = nullptr,
                               const char* icon = nullptr) {
        auto* b = new QPushButton(text, parent);
        b->setObjectName(name);
        b->setAutoDefault(false);
        if (tip) b->setToolTip(tip);
        if (icon) b->setIcon(IconByName(icon));
        if (std::string_view(text) == "...") b->setMaximumWidth(b->fontMetrics().horizontalAdvance("....") + 16);
        return b;
    }
    static QLabel* Prompt(QWidget* parent, const char* text, QWidget* buddy) {
        auto* l = new QLabel(text, parent);
        l->setBuddy(buddy);
        return l;
    }

    void Build() {
        window = new QWidget;
        window->setWindowTitle("Update the Schedule");
        window->setWindowIcon(IconByName("timedate.ico"));
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        sheet->setObjectName("sheet");
        v->addWidget(sheet);

        // Task
        taskTab = new QWidget;
        {
            auto* g = new QGridLayout(taskTab);
            taskType.Build(taskTab, "Task Type", {"Run Program", "Display Message", "Both", "None"}, "taskType",
                           true);
            taskType.box->setToolTip("Basic - Task Type (Message/Program/Both/Reminder)");
            g->addWidget(taskType.box, 0, 0, 1, 3);
            category = new QComboBox(taskTab);
            category->setObjectName("category");
            category->setToolTip("Basic - Task Category");
            category->setStatusTip("Basic - Task Category");
            categoryLookup = Button(taskTab, "...", "categoryLookup");
            g->addWidget(Prompt(taskTab, "&Category:", category), 1, 0);
            g->addWidget(category, 1, 1);
            g->addWidget(categoryLookup, 1, 2);
            description = Entry(taskTab, "description", "Description or Title of Task", 40);
            g->addWidget(Prompt(taskTab, "&Description:", description), 2, 0);
            g->addWidget(description, 2, 1, 1, 2);
            g->setRowStretch(3, 1);
        }
        sheet->addTab(taskTab, "Task");

        // Command
        commandTab = new QWidget;
        {
            auto* g = new QGridLayout(commandTab);
            g->addWidget(new QLabel("Enter any valid program name, along with the parameters it needs here...",
                                    commandTab),
                         0, 0, 1, 3);
            command = Entry(commandTab, "command", "Program to start", 255);
            g->addWidget(Prompt(commandTab, "Comma&nd:", command), 1, 0);
            g->addWidget(command, 1, 1, 1, 2);
            g->addWidget(new QLabel("If the program must be started from a specific directory or folder, enter it "
                                    "here...",
                                    commandTab),
                         2, 0, 1, 3);
            path = Entry(commandTab, "path", "Directory (Folder) to start the command in", 255);
            g->addWidget(Prompt(commandTab, "Start &in:", path), 3, 0);
            g->addWidget(path, 3, 1, 1, 2);
            browseProgram = Button(commandTab, "&Browse", "browseProgram", "Select a program to start", "OPEN.ICO");
            g->addWidget(browseProgram, 4, 2);
            scripting = Button(commandTab, "&Scripting", "scripting", "Send keystrokes, DDE commands, etc.",
                               "TORNTASK.ICO");
            g->addWidget(scripting, 5, 0);
            g->addWidget(new QLabel("<- Press this to send keystrokes or DDE commands", commandTab), 5, 1, 1, 2);
            g->addWidget(new QLabel("TIP:  If you just want to use scripting, enter \"N/A\" as the command above.",
                                    commandTab),
                         6, 0, 1, 3);
            g->setRowStretch(7, 1);
        }
        sheet->addTab(commandTab, "Command");

        // Message
        messageTab = new QWidget;
        {
            auto* l = new QVBoxLayout(messageTab);
            l->addWidget(new QLabel("Enter your customized message here...", messageTab));
            message = new QPlainTextEdit(messageTab);
            message->setObjectName("message");
            message->setToolTip("Message to display");
            l->addWidget(message);
        }
        sheet->addTab(messageTab, "Message");

        // When
        whenTab = new QWidget;
        {
            auto* g = new QGridLayout(whenTab);
            scheduleType.Build(whenTab, "Schedule &Type",
                               {"Once", "Day of Week", "Day of Month", "Monthly", "Yearly", "Custom"}, "scheduleType",
                               true);
            scheduleType.box->setToolTip("Basic - Task Schedule Type (Once/Repeating)");
            g->addWidget(scheduleType.box, 0, 0, 3, 1);
            everyGroup = new QGroupBox("&Every...", whenTab);
            everyGroup->setObjectName("everyGroup");
            auto* eg = new QGridLayout(everyGroup);
            first = Check(everyGroup, "1st", "every1st");
            second = Check(everyGroup, "2nd", "every2nd");
            third = Check(everyGroup, "3rd", "every3rd");
            fourth = Check(everyGroup, "4th", "every4th");
            last = Check(everyGroup, "Last", "everyLast");
            monthEnd = Check(everyGroup, "Month End", "monthEnd");
            QCheckBox* ords[6] = {first, second, third, fourth, last, monthEnd};
            for (int i = 0; i < 6; ++i) eg->addWidget(ords[i], i, 0);
            const char* names[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
            for (int i = 0; i < 7; ++i) {
                weekdays[i] = Check(everyGroup, names[i], names[i]);
                eg->addWidget(weekdays[i], i, 1);
            }
            every = new QSpinBox(everyGroup);
            every->setObjectName("every");
            every->setRange(0, 99999);
            every->setToolTip("Repeat Task Every...");
            everyPrompt = Prompt(everyGroup, "Every:", every);
            eg->addWidget(everyPrompt, 0, 2);
            eg->addWidget(every, 0, 3);
            everyType.Build(everyGroup, "Every Type",
                            {"minute(s)", "hour(s)", "day(s)", "week(s)", "month(s)", "year(s)"}, "everyType", true);
            eg->addWidget(everyType.box, 1, 2, 5, 2);
            repeat.Build(everyGroup, "Repeat", {"Once", "Twice - 1st, 15th", "Twice - 15th, Last"}, "repeat", true);
            repeat.box->setToolTip("Type of semi-monthly repetition");
            eg->addWidget(repeat.box, 0, 4, 3, 2);
            offset = new QSpinBox(everyGroup);
            offset->setObjectName("offset");
            offset->setRange(-14, 14);
            offset->setToolTip("Number of days to offset");
            offsetPrompt = Prompt(everyGroup, "Days to Offset:", offset);
            eg->addWidget(offsetPrompt, 3, 4);
            eg->addWidget(offset, 3, 5);
            tips = Button(everyGroup, "&Tips", "tips");
            eg->addWidget(tips, 4, 5);
            except = Button(everyGroup, "E&xcept", "except");
            eg->addWidget(except, 6, 5);
            g->addWidget(everyGroup, 0, 1, 3, 4);

            date = Entry(whenTab, "date", "Next Date to Perform Task");
            datePick = Button(whenTab, "...", "datePick");
            time = Entry(whenTab, "time", "Next Time to Perform Task");
            timePrompt = Prompt(whenTab, "&Time:", time);
            g->addWidget(Prompt(whenTab, "&Next Date to Perform Task:", date), 3, 0);
            g->addWidget(date, 3, 1);
            g->addWidget(datePick, 3, 2);
            g->addWidget(timePrompt, 3, 3);
            g->addWidget(time, 3, 4);
            lastRunDate = Entry(whenTab, "lastRunDate", "Task last performed on this date");
            lastRunTime = Entry(whenTab, "lastRunTime", "Task last performed at this time");
            g->addWidget(Prompt(whenTab, "Date Last Performed:", lastRunDate), 4, 0);
            g->addWidget(lastRunDate, 4, 1);
            g->addWidget(Prompt(whenTab, "Time:", lastRunTime), 4, 3);
            g->addWidget(lastRunTime, 4, 4);
            skipNext = Check(whenTab, "&Skip Next Time", "skipNext", "Skip next occurance of this task");
            g->addWidget(skipNext, 5, 0);
            warnDate = Entry(whenTab, "warnDate", "Advance Warning Date");
            warnPick = Button(whenTab, "...", "warnPick");
            warnTime = Entry(whenTab, "warnTime", "Advance Warning Time");
            g->addWidget(Prompt(whenTab, "&Advance Warning Date:", warnDate), 6, 0);
            g->addWidget(warnDate, 6, 1);
            g->addWidget(warnPick, 6, 2);
            g->addWidget(Prompt(whenTab, "Time:", warnTime), 6, 3);
            g->addWidget(warnTime, 6, 4);
        }
        sheet->addTab(whenTab, "When");

        // Advanced
        advancedTab = new QWidget;
        {
            auto* l = new QVBoxLayout(advancedTab);
            auto* alarmBox = new QGroupBox("Alarm", advancedTab);
            auto* ag = new QGridLayout(alarmBox);
            alarm = Check(alarmBox, "Alarm", "alarm", "Play a WAV file as an alarm");
            ag->addWidget(alarm, 0, 0);
            wavFile = Entry(alarmBox, "wavFile", "WAV file to play as an alarm", 255);
            wavPrompt = Prompt(alarmBox, "WAV File to Play:", wavFile);
            ag->addWidget(wavPrompt, 1, 0);
            ag->addWidget(wavFile, 1, 1);
            wavBrowse = Button(alarmBox, "&Browse", "wavBrowse", "Select a WAV file to play as an alarm.", "OPEN.ICO");
            wavPlay = Button(alarmBox, "&Play", "wavPlay", "Let's hear it!", "SPEAKER2.ICO");
            ag->addWidget(wavBrowse, 1, 2);
            ag->addWidget(wavPlay, 1, 3);
            l->addWidget(alarmBox);
            warn = Check(advancedTab, "&Warn if not run on specified date", "warn");
            skipIfMissed = Check(advancedTab, "&Skip if not run at specified time (+/- 10 minutes)", "skipIfMissed");
            userSkip = Check(advancedTab, "&Before performing task, give option to skip", "userSkip");
            skipIfScript = Check(advancedTab, "Skip if a script is running", "skipIfScript");
            noHistory = Check(advancedTab, "No &History", "noHistory", "Do not show history (remove when completed)");
            disable = Check(advancedTab, "&Disable", "disable", "Do not perform this task");
            for (QWidget* w : {static_cast<QWidget*>(warn), static_cast<QWidget*>(skipIfMissed),
                               static_cast<QWidget*>(userSkip), static_cast<QWidget*>(skipIfScript),
                               static_cast<QWidget*>(noHistory), static_cast<QWidget*>(disable)})
                l->addWidget(w);
            l->addStretch();
        }
        sheet->addTab(advancedTab, "Advanced");

        auto* bottom = new QHBoxLayout;
        picture = new QLabel(window);
        picture->setObjectName("picture");
        // Shown beside some pages only: its room stays, so the window keeps its size.
        KeepRoomWhenHidden(picture, QSize(48, 48));
        bottom->addWidget(picture);
        bottom->addStretch();
        ok = new QPushButton("&OK", window);
        ok->setObjectName("ok");
        ok->setIcon(IconByName("OK.ICO"));
        ok->setDefault(true);
        cancel = new QPushButton("Cancel", window);
        cancel->setObjectName("cancel");
        cancel->setIcon(IconByName("CANCEL.ICO"));
        bottom->addWidget(ok);
        bottom->addWidget(cancel);
        v->addLayout(bottom);
    }
};

std::string DatePicture() { return "@" + Options().GlobalDateFormat.get(); }

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }

class UpdateScheduleWindow : public WindowManager {
public:
    UpdateScheduleWindow() : WindowManager("UpdateSchedule") { SetSavePosition(true, true); }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }

    bool Init() override {
        mode_.Take(*this);
        insert_ = Request() == kInsertRecord;
        if (!fPasswordValidation()) return false;
        EditorOpened();
        counted_ = true;
        if (Schedule_File().Open() != kLevelBenign) return false;
        scheduleOpen_ = true;
        if (Categories_File().Open() == kLevelBenign) categoriesOpen_ = true;
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        GlobalRequest() = 0;
        GlobalResponse() = 0;

        Schedule& SCH = Schedule_File().rec();
        if (insert_) copying_ = ApplyNewTaskDefaults(SCH, Today(), ClockTime(), DefaultTaskDate());

        tabs_.Init(ui.window, -1, -1, false, false, true, -1, 0xA7A7A7);
        // Required on OK only, and only while their part of the form is in use.
        required_.Init(ui.window);
        required_.SetMessage(ui.command, true, "Command", "Program to start", "Program to start", "SCH:Command");
        required_.SetMessage(ui.message, true, "Message", "Message to display", "Message to display", "SCH:Message");
        required_.SetMessage(ui.every, true, "Every", "Repeat Task Every...", "Repeat Task Every...", "SCH:Every");
        required_.SetMessage(ui.date, true, "Next Date to Perform Task", "Next Date to Perform Task",
                             "Next Date to Perform Task", "SCH:Date");
        required_.SetMessage(ui.time, true, "Next Time to Perform Task", "Next Time to Perform Task",
                             "Next Time to Perform Task", "SCH:Time");
        required_.SetMessage(ui.wavFile, true, "Alarm File", "WAV file to play as an alarm",
                             "WAV file to play as an alarm", "SCH:AlarmFile");
        if (ui.categoryLookup->toolTip().isEmpty()) ui.categoryLookup->setToolTip("Select " + ui.category->toolTip());
        ui.scripting->setEnabled(static_cast<bool>(ScriptListOpener()));
        for (QWidget* w : {static_cast<QWidget*>(ui.lastRunDate), static_cast<QWidget*>(ui.lastRunTime)})
            w->setToolTip(w->toolTip());
        FillCategories();
        for (QLineEdit* e : {ui.date, ui.time, ui.lastRunDate, ui.lastRunTime, ui.warnDate, ui.warnTime})
            TrackTyping(e);

        // Rules in order: alarm, schedule type, task type.
        ApplyAlarmRule();
        scheduleView_ = ApplyScheduleType(SCH);
        taskView_ = ApplyTaskType(SCH);

        if (insert_) {
            const int32_t source = CopySourceID();
            const int32_t id = ReserveTaskID(copying_ ? source : 0);
            if (id != 0 && copying_) {
                if (source == 0)
                    Message("Unassigned original schedule ID.", "Internal Error");
                else
                    CopyScript(source, id);
            }
            reserved_ = id;
        }
        HoldTask(SCH.ID);
        held_ = SCH.ID;
        warning_.Start(SCH, insert_);

        action_ = insert_ ? "New Task" : "Edit Task";
        for (QWidget* b : {ui.categoryLookup, ui.browseProgram, ui.datePick, ui.warnPick, ui.except, ui.wavBrowse,
                           ui.tips})
            DisableInViewMode(b);
        mode_.Apply(*this);
        Show();
        NewTab();
        return true;
    }

    void TakeOpened() override { mode_.Opened(*this); }

    void TakeNewSelection(QObject* c) override {
        if (c == ui.sheet) NewTab();
    }

    void TakeSelected(QObject* c) override {
        Schedule& SCH = Schedule_File().rec();
        if (c == ui.message && SCH.Message.empty() && !mode_.ReadOnly()) {
            Store();
            SCH.Message = SCH.Description.str();
            Show();
        } else if (c == ui.wavFile && !mode_.ReadOnly()) {
            Store();
            WavSetting();
            Show();
        }
    }

    void TakeAccepted(QObject* c) override {
        Schedule& SCH = Schedule_File().rec();
        Store();
        const bool all = AcceptingAll();
        if (ui.taskType.Owns(c)) {
            taskView_ = ApplyTaskType(SCH);
        } else if (ui.scheduleType.Owns(c)) {
            scheduleView_ = ApplyScheduleType(SCH);
        } else if (c == ui.monthEnd) {
            scheduleView_ = ApplyScheduleType(SCH);
        } else if ((c == ui.every || ui.everyType.Owns(c)) && !all) {
            ApplyEveryRule(SCH);
        } else if (ui.repeat.Owns(c)) {
            scheduleView_.offsetEnabled = ApplyMonthRepeat(SCH);
        } else if (c == ui.tips) {
            Message("\"Days to Offset\" allows you to shift the semi-monthly dates.  For example, if you have "
                    "selected \"Twice - 1st, 15th\", an offset of \"3\" will make Kairoll run your task on the 4th "
                    "and 18th of every month. If you have selected \"Twice - 15th, Last\", an offset of \"-1\" will "
                    "make Kairoll run your task on the 14th and 2nd last day of every month.",
                    "Offset Tips");
        } else if (c == ui.date || c == ui.time) {
            NextDateAccepted(c == ui.date);
        } else if (c == ui.warnDate) {
            if (!all) SCH.AdvanceWarned = 0;
            if (ClearWarningAfterTask(SCH)) Message("Advanced Warning cannot be after scheduled task.");
        } else if (c == ui.warnTime) {
            if (!all) SCH.AdvanceWarned = 0;
        } else if (c == ui.alarm) {
            ApplyAlarmRule();
        } else if (c == ui.wavFile) {
            WavSetting();
        } else if (c == ui.datePick) {
            PickDate(SCH.Date, "", [this](int32_t d) {
                Schedule_File().rec().Date = d;
                NextDateAccepted(true);
                Show();
            });
        } else if (c == ui.warnPick) {
            PickDate(SCH.AdvanceWarnDate, "None", [this](int32_t d) {
                Schedule_File().rec().AdvanceWarnDate = d;
                Schedule_File().rec().AdvanceWarned = 0;
                Show();
            });
        } else if (c == ui.categoryLookup) {
            LookupCategory();
        } else if (c == ui.browseProgram) {
            QPointer<QWidget> w = ui.window;
            ChooseProgram(ui.window, [this, w](bool) {
                if (w) Show();
            });
        } else if (c == ui.scripting && ScriptListOpener()) {
            QPointer<QWidget> w = ui.window;
            ScriptListOpener()(SCH.ID, [this, w] {
                if (w) Show();
            });
        } else if (c == ui.except) {
            QPointer<QWidget> w = ui.window;
            UpdateSchedule_ExceptionsWindow([this, w] {
                if (w) Show();
            });
        } else if (c == ui.wavBrowse) {
            BrowseWav();
        } else if (c == ui.wavPlay) {
            PlayWav();
        }
        Show();
    }

    bool TakeCompleted() override {
        Schedule& SCH = Schedule_File().rec();
        Store();
        PrepareForSave(SCH);
        Show();
        if (required_.Check(false)) return false;
        if (!insert_ && !PositionOnRecord()) return false;
        if (mode_.Delete()) return Schedule_Relations().Delete(false) == kLevelBenign;
        CompleteEditedTask(SCH);
        int r;
        if (insert_) {
            r = Schedule_File().Insert();
        } else {
            r = Schedule_Relations().Update(true);
        }
        if (r != kLevelBenign) {
            // Another writer (the scheduler's run, another program) changed
            // the task since the form read it: the form shows it as stored.
            if (data::LastErrorCode() == kRecordChanged) {
                scheduleView_ = ApplyScheduleType(SCH);
                taskView_ = ApplyTaskType(SCH);
                Show();
            }
            return false;
        }
        saved_ = true;
        return true;
    }

    void TakeCancelled() override { WindowManager::TakeCancelled(); }

    void Kill() override {
        // A cancelled insert leaves neither its placeholder nor its script.
        if (insert_ && !saved_ && reserved_) ReleaseReservedTask(reserved_);
        if (held_) ReleaseTask(held_);
        tabs_.Kill();
        required_.Kill();
        if (categoriesOpen_) Categories_File().Close();
        if (scheduleOpen_) Schedule_File().Close();
        if (counted_) EditorClosed();
    }

private:
    // Makes the task the manager's current record again (the buffer is kept),
    // so the change or delete goes to the record the form shows.
    bool PositionOnRecord() {
        ScheduleFileManager& f = Schedule_File();
        const Schedule edited = f.rec();
        const int r = f.Fetch("SCH:KeyID");
        f.rec() = edited;
        return r == kLevelBenign;
    }

    void NewTab() {
        QWidget* tab = ui.sheet->currentWidget();
        if (tab == ui.commandTab || tab == ui.whenTab) {
            ui.picture->hide();
        } else {
            ui.picture->setPixmap(IconByName(tab == ui.messageTab ? "~WRITE.GIF" : "~TIMEPC_L.GIF").pixmap(48, 48));
            ui.picture->show();
        }
        tabs_.Refresh();
        if (mode_.ReadOnly()) ui.cancel->setFocus();
    }

    void NextDateAccepted(bool dateControl) {
        Schedule& SCH = Schedule_File().rec();
        if (dateControl && SCH.Date != 0 && !NextDateFitsSchedule(SCH))
            Message("Date given does not match schedule type.", "Warning");
        warning_.Apply(SCH, ReadWarningDefaults(Options().ININame.get()));
    }

    void ApplyAlarmRule() {
        Schedule& SCH = Schedule_File().rec();
        if (SCH.Alarm) {
            const std::string ini = Options().ININame.get();
            const std::string keep = FillAlarmFile(SCH, GetIniValue(ini, "Settings", "LastWAVFile", ""));
            if (!keep.empty()) PutIniValue(ini, "Settings", "LastWAVFile", keep);
        }
    }

    void WavSetting() {
        Schedule& SCH = Schedule_File().rec();
        const std::string keep = FillAlarmFile(SCH, GetSetting("LastWAVFile", "", Options().ININame.get()));
        if (!keep.empty()) PutSetting("LastWAVFile", keep);
    }

    void BrowseWav() {
        Schedule& SCH = Schedule_File().rec();
        const std::string ini = Options().ININame.get();
        std::string start = GetIniValue(ini, "Defaults", "WAVPath", "");
        if (start.find_first_not_of(' ') == std::string::npos) start = std::filesystem::current_path().string();
        const auto file = ChooseFile(ui.window, "Select WAV File for Alarm", start,
                                     {"WAV Files (*.[wW][aA][vV])", "All Files (*)"});
        if (!file) return;
        SCH.AlarmFile = *file;
        const std::string folder = FolderOf(*file);
        if (!folder.empty()) PutIniValue(ini, "Defaults", "WAVPath", folder);
    }

    void PlayWav() {
        Schedule& SCH = Schedule_File().rec();
        std::string file = SCH.AlarmFile.str();
        while (!file.empty() && file.back() == ' ') file.pop_back();
        if (file.empty()) {
            ui.wavBrowse->setFocus();
            BrowseWav();
            return;
        }
        if (!PlaySoundAsync(file)) ui.wavBrowse->setFocus();
    }

    void PickDate(int32_t start, const char* mode, std::function<void(int32_t)> put) {
        QPointer<QWidget> w = ui.window;
        Calendar(start, mode, "Select Date", [w, put](int32_t d) {
            if (w) put(d);
        });
    }

    void LookupCategory() {
        Schedule& SCH = Schedule_File().rec();
        Categories_File().rec().Category = SCH.Category.str();
        if (Categories_File().TryFetch("CAT:KeyCategory") != kLevelBenign) {
            Categories_File().rec().Category = SCH.Category.str();
            Categories_File().SetPosition(Categories_File().Key("CAT:KeyCategory"));
            Categories_File().TryNext();
        }
        GlobalRequest() = kSelectRecord;
        QPointer<QWidget> w = ui.window;
        SelectCategories([this, w](int response) {
            if (!w) return;
            if (response == kRequestCompleted) {
                Schedule_File().rec().Category = Categories_File().rec().Category.str();
                FillCategories();
                Show();
                GlobalResponse() = kRequestCancelled;
                ui.description->setFocus();
            } else {
                ui.categoryLookup->setFocus();
            }
        });
    }

    void FillCategories() {
        ui.category->blockSignals(true);
        ui.category->clear();
        if (categoriesOpen_) {
            ScopedBuffer keep(Categories_File().rec());
            Categories_File().SetOrder(Categories_File().Key("CAT:KeyCategory"));
            while (Categories_File().TryNext() == kLevelBenign)
                ui.category->addItem(QString::fromStdString(Categories_File().rec().Category.str()));
        }
        ui.category->blockSignals(false);
    }

    struct ScopedBuffer {
        explicit ScopedBuffer(Categories& b) : buffer(b), saved(b) {}
        ~ScopedBuffer() { buffer = saved; }
        Categories& buffer;
        Categories saved;
    };

    // The buffer into the controls.
    void Show() {
        const Schedule& SCH = Schedule_File().rec();
        const std::string dp = DatePicture();
        auto date = [&](QLineEdit* e, int32_t v) { e->setText(QString::fromStdString(Format(Value(v), dp))); };
        auto time = [&](QLineEdit* e, int32_t v) {
            e->setText(QString::fromStdString(Format(Value(v), std::string(kTimePicture) + "b")));
        };
        auto text = [](QLineEdit* e, const std::string& v) {
            if (e->text().toStdString() != v) e->setText(QString::fromStdString(v));
        };
        ui.taskType.Set(SCH.TaskType.str());
        ui.category->blockSignals(true);
        int idx = ui.category->findText(QString::fromStdString(SCH.Category.str()), Qt::MatchFixedString);
        if (idx < 0 && !SCH.Category.empty()) {
            ui.category->addItem(QString::fromStdString(SCH.Category.str()));
            idx = ui.category->count() - 1;
        }
        ui.category->setCurrentIndex(idx);
        ui.category->blockSignals(false);
        text(ui.description, SCH.Description.str());
        text(ui.command, SCH.Command.str());
        text(ui.path, SCH.Path.str());
        if (ui.message->toPlainText().toStdString() != SCH.Message)
            ui.message->setPlainText(QString::fromStdString(SCH.Message));
        ui.scheduleType.Set(SCH.ScheduleType.str());
        ui.first->setChecked(SCH.Every1st);
        ui.second->setChecked(SCH.Every2nd);
        ui.third->setChecked(SCH.Every3rd);
        ui.fourth->setChecked(SCH.Every4th);
        ui.last->setChecked(SCH.EveryLast);
        ui.monthEnd->setChecked(SCH.LastDayofMonth);
        const uint8_t days[7] = {SCH.Sunday, SCH.Monday, SCH.Tuesday, SCH.Wednesday, SCH.Thursday, SCH.Friday,
                                 SCH.Saturday};
        for (int i = 0; i < 7; ++i) ui.weekdays[i]->setChecked(days[i]);
        ui.every->setValue(SCH.Every);
        ui.everyType.Set(SCH.EveryType.str());
        ui.repeat.Set(SCH.MonthRepeat.str());
        ui.offset->setValue(SCH.Offset);
        date(ui.date, SCH.Date);
        time(ui.time, SCH.Time);
        date(ui.lastRunDate, SCH.LastRunDate);
        time(ui.lastRunTime, SCH.LastRunTime);
        ui.skipNext->setChecked(SCH.SkipNextTime);
        date(ui.warnDate, SCH.AdvanceWarnDate);
        time(ui.warnTime, SCH.AdvanceWarnTime);
        ui.alarm->setChecked(SCH.Alarm);
        text(ui.wavFile, SCH.AlarmFile.str());
        ui.warn->setChecked(SCH.Warn);
        ui.skipIfMissed->setChecked(SCH.SkipIfMissed);
        ui.userSkip->setChecked(SCH.UserSkip);
        ui.skipIfScript->setChecked(SCH.SkipIfScriptActive);
        ui.noHistory->setChecked(SCH.NoHistory);
        ui.disable->setChecked(SCH.Disabled);
        for (QLineEdit* e : {ui.date, ui.time, ui.lastRunDate, ui.lastRunTime, ui.warnDate, ui.warnTime})
            ClearTyped(e);
        ApplyVisibility();
        SetTitle(TaskTitle(action_, SCH.Description.str(), mode_.View()));
    }

    // The controls into the buffer. Dates and times are read back only when
    // typed over (the time picture shows no seconds).
    void Store() {
        Schedule& SCH = Schedule_File().rec();
        const std::string dp = DatePicture();
        auto date = [&](QLineEdit* e, int32_t& v) {
            if (Typed(e)) v = static_cast<int32_t>(Deformat(Text(e), dp).toInt());
        };
        auto time = [&](QLineEdit* e, int32_t& v) {
            if (Typed(e)) v = static_cast<int32_t>(Deformat(Text(e), kTimePicture).toInt());
        };
        const std::string type = ui.taskType.Value();
        if (!type.empty()) SCH.TaskType = type;
        if (ui.category->currentIndex() >= 0) SCH.Category = ui.category->currentText().toStdString();
        SCH.Description = Text(ui.description);
        SCH.Command = Text(ui.command);
        SCH.Path = Text(ui.path);
        SCH.Message = ui.message->toPlainText().toStdString();
        const std::string st = ui.scheduleType.Value();
        if (!st.empty()) SCH.ScheduleType = st;
        SCH.Every1st = ui.first->isChecked();
        SCH.Every2nd = ui.second->isChecked();
        SCH.Every3rd = ui.third->isChecked();
        SCH.Every4th = ui.fourth->isChecked();
        SCH.EveryLast = ui.last->isChecked();
        SCH.LastDayofMonth = ui.monthEnd->isChecked();
        uint8_t* days[7] = {&SCH.Sunday, &SCH.Monday, &SCH.Tuesday, &SCH.Wednesday, &SCH.Thursday, &SCH.Friday,
                            &SCH.Saturday};
        for (int i = 0; i < 7; ++i) *days[i] = ui.weekdays[i]->isChecked();
        SCH.Every = ui.every->value();
        const std::string et = ui.everyType.Value();
        if (!et.empty()) SCH.EveryType = et;
        const std::string rp = ui.repeat.Value();
        if (!rp.empty()) SCH.MonthRepeat = rp;
        SCH.Offset = ui.offset->value();
        date(ui.date, SCH.Date);
        time(ui.time, SCH.Time);
        date(ui.lastRunDate, SCH.LastRunDate);
        time(ui.lastRunTime, SCH.LastRunTime);
        SCH.SkipNextTime = ui.skipNext->isChecked();
        date(ui.warnDate, SCH.AdvanceWarnDate);
        time(ui.warnTime, SCH.AdvanceWarnTime);
        SCH.Alarm = ui.alarm->isChecked();
        SCH.AlarmFile = Text(ui.wavFile);
        SCH.Warn = ui.warn->isChecked();
        SCH.SkipIfMissed = ui.skipIfMissed->isChecked();
        SCH.UserSkip = ui.userSkip->isChecked();
        SCH.SkipIfScriptActive = ui.skipIfScript->isChecked();
        SCH.NoHistory = ui.noHistory->isChecked();
        SCH.Disabled = ui.disable->isChecked();
        for (QLineEdit* e : {ui.date, ui.time, ui.lastRunDate, ui.lastRunTime, ui.warnDate, ui.warnTime})
            ClearTyped(e);
    }

    void ApplyVisibility() {
        const Schedule& SCH = Schedule_File().rec();
        const TaskTypeView& t = taskView_;
        ui.timePrompt->setVisible(t.time);
        ui.time->setVisible(t.time);
        ui.sheet->setTabVisible(ui.sheet->indexOf(ui.commandTab), t.command);
        for (QWidget* w : {static_cast<QWidget*>(ui.command), static_cast<QWidget*>(ui.path),
                           static_cast<QWidget*>(ui.browseProgram), static_cast<QWidget*>(ui.scripting)})
            w->setVisible(t.command);
        ui.sheet->setTabVisible(ui.sheet->indexOf(ui.messageTab), t.message);
        ui.message->setVisible(t.message);

        const ScheduleTypeView& s = scheduleView_;
        ui.everyGroup->setTitle(QString::fromStdString(s.groupCaption));
        for (QCheckBox* c : ui.weekdays) c->setVisible(s.weekdays);
        for (QCheckBox* c : {ui.first, ui.second, ui.third, ui.fourth, ui.last, ui.monthEnd}) c->setVisible(s.ordinals);
        const bool ordinalsEnabled = SCH.LastDayofMonth == 0;
        if (s.ordinals) {
            for (QCheckBox* c : {ui.first, ui.second, ui.third, ui.fourth, ui.last}) c->setEnabled(ordinalsEnabled);
            for (QCheckBox* c : ui.weekdays) c->setEnabled(ordinalsEnabled);
        } else {
            for (QCheckBox* c : ui.weekdays) c->setEnabled(true);
        }
        ui.except->setVisible(s.except);
        ui.repeat.box->setVisible(s.repeat);
        for (QWidget* w : {static_cast<QWidget*>(ui.offsetPrompt), static_cast<QWidget*>(ui.offset),
                           static_cast<QWidget*>(ui.tips)}) {
            w->setVisible(s.repeat);
            w->setEnabled(SCH.MonthRepeat.str().rfind("T", 0) == 0);
        }
        for (QWidget* w : {static_cast<QWidget*>(ui.everyPrompt), static_cast<QWidget*>(ui.every),
                           static_cast<QWidget*>(ui.everyType.box)})
            w->setVisible(s.every);

        const bool alarmOn = SCH.Alarm != 0;
        for (QWidget* w : {static_cast<QWidget*>(ui.wavPrompt), static_cast<QWidget*>(ui.wavFile),
                           static_cast<QWidget*>(ui.wavBrowse), static_cast<QWidget*>(ui.wavPlay)})
            w->setEnabled(alarmOn);
        mode_.Reapply(*this);
    }

    UpdateScheduleLayout ui;
    RequiredFields required_;
    TabHighlight tabs_;
    TaskTypeView taskView_;
    ScheduleTypeView scheduleView_;
    WarningTracker warning_;
    std::string action_;
    int32_t reserved_ = 0;
    int32_t held_ = 0;
    RecordFormMode mode_;
    bool insert_ = false, copying_ = false;
    bool counted_ = false, scheduleOpen_ = false, categoriesOpen_ = false, saved_ = false;
};

}  // namespace

void UpdateSchedule(std::function<void(int response)> done) { (new UpdateScheduleWindow)->Call(std::move(done)); }

void SetScriptListOpener(ScriptListOpenerFn opener) { ScriptListOpener() = std::move(opener); }

bool HasScriptListOpener() { return static_cast<bool>(ScriptListOpener()); }

void OpenScriptList(int32_t task, std::function<void()> done) {
    if (ScriptListOpener()) ScriptListOpener()(task, std::move(done));
}

namespace {
std::function<void(std::function<void()>)>& ScriptTextOpener() {
    static std::function<void(std::function<void()>)> opener;
    return opener;
}
}  // namespace

void SetScriptTextOpener(std::function<void(std::function<void()> done)> opener) {
    ScriptTextOpener() = std::move(opener);
}

bool HasScriptTextOpener() { return static_cast<bool>(ScriptTextOpener()); }

void OpenScriptText(std::function<void()> done) {
    if (ScriptTextOpener()) ScriptTextOpener()(std::move(done));
}

namespace {
using ScriptWizardOpenerFn = std::function<void(int, std::function<void(int)>)>;
ScriptWizardOpenerFn& ScriptWizardOpener() {
    static ScriptWizardOpenerFn opener;
    return opener;
}
}  // namespace

void SetScriptWizardOpener(std::function<void(int request, std::function<void(int response)> done)> opener) {
    ScriptWizardOpener() = std::move(opener);
}

bool HasScriptWizardOpener() { return static_cast<bool>(ScriptWizardOpener()); }

void OpenScriptWizard(int request, std::function<void(int response)> done) {
    if (ScriptWizardOpener()) ScriptWizardOpener()(request, std::move(done));
}

}  // namespace kr::tasks
