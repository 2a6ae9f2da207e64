// The add-task wizards: "Add Task Wizard" (any type, six pages), "New Program
// Task Wizard" (four) and "New Message Task Wizard" (three; the to-do list
// opens it primed with a to-do item). One window class; TaskWizardPages.h
// says where they differ and in which order their pages go.
#include <QButtonGroup>
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
#include "platform/ui/ProcedureThread.h"
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

namespace kr::tasks {

namespace {

using data::kLevelBenign;

const char* const kScheduleTypes[] = {"Once", "Day of Week", "Day of Month", "Monthly", "Yearly", "Custom"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kOrdinals[] = {"1st", "2nd", "3rd", "4th", "Last"};

struct MessageWizardLayout {
    QWidget* window = nullptr;
    QStackedWidget* pages = nullptr;
    QComboBox *category = nullptr, *repeat = nullptr, *everyType = nullptr;
    QRadioButton* taskType[4] = {};
    QLineEdit *command = nullptr, *path = nullptr;
    QPushButton *browse = nullptr, *scripting = nullptr;
    QLabel* timeLabel = nullptr;
    QLineEdit *description = nullptr, *date = nullptr, *time = nullptr, *warnDate = nullptr, *warnTime = nullptr;
    QLineEdit *every = nullptr, *offset = nullptr, *wavFile = nullptr;
    QPlainTextEdit* message = nullptr;
    QRadioButton* type[6] = {};
    QCheckBox* day[7] = {};
    QCheckBox* ordinal[5] = {};
    QCheckBox* monthEnd = nullptr;
    QGroupBox* everyGroup = nullptr;
    QLabel *everyLabel = nullptr, *offsetLabel = nullptr;
    QCheckBox *alarm = nullptr, *warn = nullptr, *skipIfMissed = nullptr, *userSkip = nullptr,
              *skipIfScript = nullptr, *noHistory = nullptr, *disable = nullptr;
    QPushButton *except = nullptr, *tips = nullptr, *datePick = nullptr, *warnPick = nullptr, *wavBrowse = nullptr,
                *play = nullptr;
    QPushButton *back = nullptr, *next = nullptr, *finish = nullptr, *cancel = nullptr;

    static QLineEdit* Entry(QWidget* p, const char* name, int length) {
        auto* e = new QLineEdit(p);
        e->setObjectName(name);
        e->setMaxLength(length);
        return e;
    }
    static QCheckBox* Check(QWidget* p, const char* text, const char* name) {
        auto* c = new QCheckBox(text, p);
        c->setObjectName(name);
        return c;
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
    void Build(const TaskWizardTraits& t) {
        window = new QWidget;
        window->setWindowTitle(t.title);
        window->setWindowIcon(IconByName(t.icon));
        auto* v = new QVBoxLayout(window);
        pages = new QStackedWidget(window);
        pages->setObjectName("pages");

        // The pages of every wizard; each wizard shows its own in its order.
        auto* taskPage = new QWidget;
        {
            auto* g = new QVBoxLayout(taskPage);
            g->addWidget(new QLabel("What needs to be done?\nThis wizard schedules a new task to perform.  Enter the "
                                    "type of task here...",
                                    taskPage));
            auto* group = new QButtonGroup(taskPage);
            const char* names[4] = {"Run Program", "Display Message", "Both", "None"};
            for (int i = 0; i < 4; ++i) {
                taskType[i] = new QRadioButton(names[i], taskPage);
                taskType[i]->setObjectName(QString("taskType%1").arg(i));
                group->addButton(taskType[i]);
                g->addWidget(taskType[i]);
            }
        }
        auto* categoryPage = new QWidget;
        auto* gc = new QGridLayout(categoryPage);
        gc->addWidget(new QLabel("Describing it...", categoryPage), 0, 0, 1, 2);
        auto* messagePage = new QWidget;
        auto* gm = new QGridLayout(messagePage);
        // The message wizard asks category and description with the message.
        QWidget* catParent = t.pages == 3 ? messagePage : categoryPage;
        QGridLayout* catGrid = t.pages == 3 ? gm : gc;
        category = new QComboBox(catParent);
        category->setObjectName("category");
        catGrid->addWidget(Label("&Category:", catParent, category), 1, 0);
        catGrid->addWidget(category, 1, 1);
        description = Entry(catParent, "description", 40);
        catGrid->addWidget(Label("&Description:", catParent, description), 2, 0);
        catGrid->addWidget(description, 2, 1);
        message = new QPlainTextEdit(messagePage);
        message->setObjectName("message");
        gm->addWidget(Label("&Message:", messagePage, message), 3, 0);
        gm->addWidget(message, 3, 1);
        auto* commandPage = new QWidget;
        {
            auto* g = new QGridLayout(commandPage);
            g->addWidget(new QLabel("Application to start...", commandPage), 0, 0, 1, 3);
            command = Entry(commandPage, "command", 255);
            browse = MakeButton(commandPage, "&Browse", "browse");
            browse->setToolTip("Select a program to start");
            path = Entry(commandPage, "path", 255);
            scripting = MakeButton(commandPage, "&Scripting", "scripting", "TORNTASK.ICO");
            scripting->setToolTip("Send keystrokes, DDE commands, etc.");
            g->addWidget(Label("Comma&nd:", commandPage, command), 1, 0);
            g->addWidget(command, 1, 1);
            g->addWidget(browse, 1, 2);
            g->addWidget(Label("Start &in:", commandPage, path), 2, 0);
            g->addWidget(path, 2, 1);
            g->addWidget(scripting, 3, 1);
        }
        auto* p2 = new QWidget;
        auto* g2 = new QGridLayout(p2);
        g2->addWidget(new QLabel(t.whenHeading, p2), 0, 0, 1, 4);
        auto* types = new QButtonGroup(p2);
        for (int i = 0; i < 6; ++i) {
            type[i] = new QRadioButton(kScheduleTypes[i], p2);
            type[i]->setObjectName(QString("type%1").arg(i));
            types->addButton(type[i]);
            g2->addWidget(type[i], 1 + i, 0);
        }
        everyGroup = new QGroupBox("&Every...", p2);
        auto* eg = new QGridLayout(everyGroup);
        for (int i = 0; i < 7; ++i) {
            day[i] = Check(everyGroup, kDays[i], kDays[i]);
            eg->addWidget(day[i], 0, i);
        }
        for (int i = 0; i < 5; ++i) {
            ordinal[i] = Check(everyGroup, kOrdinals[i], kOrdinals[i]);
            eg->addWidget(ordinal[i], 1, i);
        }
        monthEnd = Check(everyGroup, "Month End", "monthEnd");
        eg->addWidget(monthEnd, 1, 5, 1, 2);
        repeat = new QComboBox(everyGroup);
        repeat->setObjectName("repeat");
        repeat->addItems({"Once", "Twice - 1st, 15th", "Twice - 15th, Last"});
        eg->addWidget(repeat, 2, 0, 1, 3);
        offsetLabel = new QLabel("Days to Offset:", everyGroup);
        offset = Entry(everyGroup, "offset", 4);
        tips = MakeButton(everyGroup, "&Tips", "tips");
        eg->addWidget(offsetLabel, 2, 3);
        eg->addWidget(offset, 2, 4);
        eg->addWidget(tips, 2, 5);
        everyLabel = new QLabel("Every:", everyGroup);
        every = Entry(everyGroup, "every", 6);
        everyType = new QComboBox(everyGroup);
        everyType->setObjectName("everyType");
        everyType->addItems({"minute(s)", "hour(s)", "day(s)", "week(s)", "month(s)", "year(s)"});
        eg->addWidget(everyLabel, 3, 0);
        eg->addWidget(every, 3, 1);
        eg->addWidget(everyType, 3, 2, 1, 2);
        except = MakeButton(everyGroup, "E&xcept", "except");
        eg->addWidget(except, 3, 5);
        g2->addWidget(everyGroup, 1, 1, 6, 3);
        date = Entry(p2, "date", 20);
        datePick = MakeButton(p2, "...", "datePick");
        time = Entry(p2, "time", 20);
        g2->addWidget(Label("&Next Date to Perform Task:", p2, date), 7, 0);
        g2->addWidget(date, 7, 1);
        g2->addWidget(datePick, 7, 2);
        timeLabel = Label("&Time:", p2, time);
        g2->addWidget(timeLabel, 8, 0);
        g2->addWidget(time, 8, 1);
        warnDate = Entry(p2, "warnDate", 20);
        warnPick = MakeButton(p2, "...", "warnPick");
        warnTime = Entry(p2, "warnTime", 20);
        g2->addWidget(Label("&Advance Warning Date:", p2, warnDate), 9, 0);
        g2->addWidget(warnDate, 9, 1);
        g2->addWidget(warnPick, 9, 2);
        g2->addWidget(new QLabel("Time:", p2), 10, 0);
        g2->addWidget(warnTime, 10, 1);

        auto* p3 = new QWidget;
        auto* g3 = new QGridLayout(p3);
        alarm = Check(p3, "Alarm", "alarm");
        wavFile = Entry(p3, "wavFile", 255);
        wavBrowse = MakeButton(p3, "&Browse", "wavBrowse");
        play = MakeButton(p3, "&Play", "play");
        g3->addWidget(alarm, 0, 0);
        g3->addWidget(new QLabel("WAV File to Play:", p3), 1, 0);
        g3->addWidget(wavFile, 1, 1);
        g3->addWidget(wavBrowse, 1, 2);
        g3->addWidget(play, 2, 2);
        warn = Check(p3, "&Warn if not run on specified date", "warn");
        skipIfMissed = Check(p3, "&Skip if not run at specified time (+/- 10 minutes)", "skipIfMissed");
        userSkip = Check(p3, "B&efore performing task, give option to skip", "userSkip");
        skipIfScript = Check(p3, "Skip if a script is &active", "skipIfScript");
        noHistory = Check(p3, "No &History", "noHistory");
        disable = Check(p3, "&Disable", "disable");
        int row = 3;
        for (QCheckBox* c : {warn, skipIfMissed, userSkip, skipIfScript, noHistory, disable})
            g3->addWidget(c, row++, 0, 1, 3);
        if (t.pages == 6) {
            for (QWidget* p : {taskPage, categoryPage, commandPage, messagePage, p2, p3}) pages->addWidget(p);
        } else if (t.pages == 4) {
            for (QWidget* p : {commandPage, p2, categoryPage, p3}) pages->addWidget(p);
            Unused({taskPage, messagePage});
        } else {
            for (QWidget* p : {messagePage, p2, p3}) pages->addWidget(p);
            Unused({taskPage, categoryPage, commandPage});
        }

        v->addWidget(pages);
        back = MakeButton(window, "&Back", "back");
        next = MakeButton(window, "&Next", "next");
        finish = MakeButton(window, "&Finish", "finish", "OK.ICO");
        cancel = MakeButton(window, "Cancel", "cancel", "CANCEL.ICO");
        auto* r = new QHBoxLayout;
        r->addStretch();
        for (QPushButton* b : {back, next, finish, cancel}) r->addWidget(b);
        v->addLayout(r);
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
        ui.Build(traits());
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
        if (Categories_File().Open() == kLevelBenign) {
            categoriesOpen_ = true;
            EnsureCategory("General");
            data::Table& cat = Categories_File().File();
            if (cat.Set(CategoriesDef().key("CAT:KeyCategory")) == 0)
                while (cat.Next() == 0)
                    ui.category->addItem(QString::fromStdString(Trim(cat.Rec<Categories>().Category.str())));
        }
        SetOkControl(ui.finish);
        SetCancelControl(ui.cancel);
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
        dateP_ = data::ApplyDatePicture("@d17", Trim(Options().GlobalDateFormat.get()));
        reserved_ = ReserveTaskID(0);
        if (reserved_ == 0) Message("Auto-increment error.  Could not set unique schedule ID.", "Internal Error");
        HoldTask(SCH().ID);
        held_ = SCH().ID;
        Show();
        ShowPage(0);
        return true;
    }

    QString D(int32_t d) const { return d ? QString::fromStdString(Format(Value(d), dateP_)) : QString(); }
    static QString T(int32_t t) { return t ? QString::fromStdString(Format(Value(t), "@t3")) : QString(); }
    int32_t ReadDate(QLineEdit* e, int32_t keep) const {
        if (e->text().trimmed().isEmpty()) return 0;
        auto v = TryDeformat(e->text().toStdString(), dateP_);
        return v ? static_cast<int32_t>(v->toInt()) : keep;
    }
    static int32_t ReadTime(QLineEdit* e, int32_t keep) {
        if (e->text().trimmed().isEmpty()) return 0;
        auto v = TryDeformat(e->text().toStdString(), "@t3");
        return v ? static_cast<int32_t>(v->toInt()) : keep;
    }
    uint8_t* DayField(int i) {
        Schedule& s = SCH();
        uint8_t* f[7] = {&s.Sunday, &s.Monday, &s.Tuesday, &s.Wednesday, &s.Thursday, &s.Friday, &s.Saturday};
        return f[i];
    }
    uint8_t* OrdinalField(int i) {
        Schedule& s = SCH();
        uint8_t* f[5] = {&s.Every1st, &s.Every2nd, &s.Every3rd, &s.Every4th, &s.EveryLast};
        return f[i];
    }

    void Show() {
        Schedule& s = SCH();
        const QString cat = QString::fromStdString(Trim(s.Category.str()));
        if (ui.category->findText(cat) < 0) ui.category->addItem(cat);
        ui.category->setCurrentText(cat);
        ui.description->setText(QString::fromStdString(s.Description.str()));
        const char* types[4] = {"Run Program", "Display Message", "Both", "None"};
        for (int i = 0; i < 4; ++i) ui.taskType[i]->setChecked(Trim(s.TaskType.str()) == types[i]);
        ui.command->setText(QString::fromStdString(s.Command.str()));
        ui.path->setText(QString::fromStdString(s.Path.str()));
        ui.message->setPlainText(QString::fromStdString(s.Message));
        for (int i = 0; i < 6; ++i) ui.type[i]->setChecked(Trim(s.ScheduleType.str()) == kScheduleTypes[i]);
        for (int i = 0; i < 7; ++i) ui.day[i]->setChecked(*DayField(i) != 0);
        for (int i = 0; i < 5; ++i) ui.ordinal[i]->setChecked(*OrdinalField(i) != 0);
        ui.monthEnd->setChecked(s.LastDayofMonth != 0);
        ui.repeat->setCurrentText(QString::fromStdString(Trim(s.MonthRepeat.str())));
        ui.offset->setText(QString::number(s.Offset));
        ui.every->setText(QString::number(s.Every));
        ui.everyType->setCurrentText(QString::fromStdString(Trim(s.EveryType.str())));
        ui.date->setText(D(s.Date));
        ui.time->setText(T(s.Time));
        ui.warnDate->setText(D(s.AdvanceWarnDate));
        ui.warnTime->setText(T(s.AdvanceWarnTime));
        ui.alarm->setChecked(s.Alarm != 0);
        ui.wavFile->setText(QString::fromStdString(s.AlarmFile.str()));
        ui.warn->setChecked(s.Warn != 0);
        ui.skipIfMissed->setChecked(s.SkipIfMissed != 0);
        ui.userSkip->setChecked(s.UserSkip != 0);
        ui.skipIfScript->setChecked(s.SkipIfScriptActive != 0);
        ui.noHistory->setChecked(s.NoHistory != 0);
        ui.disable->setChecked(s.Disabled != 0);
        ShowScheduleType();
        AlarmRule(false);
        const TaskTypeView tv = ApplyTaskType(s);
        ui.time->setVisible(tv.time);
        ui.timeLabel->setVisible(tv.time);
        if (!tv.time) ui.time->setText(T(s.Time));
        ui.scripting->setEnabled(HasScriptListOpener());
    }

    void Store() {
        Schedule& s = SCH();
        s.Category = ui.category->currentText().toStdString();
        s.Description = ui.description->text().toStdString();
        if (kind_ == TaskWizard::General) {
            const char* types[4] = {"Run Program", "Display Message", "Both", "None"};
            for (int i = 0; i < 4; ++i)
                if (ui.taskType[i]->isChecked()) s.TaskType = types[i];
        }
        s.Command = ui.command->text().toStdString();
        s.Path = ui.path->text().toStdString();
        std::string text;
        for (char ch : ui.message->toPlainText().toStdString()) {
            if (ch == '\n') text += '\r';
            if (ch != '\r') text += ch;
        }
        s.Message = text;
        for (int i = 0; i < 6; ++i)
            if (ui.type[i]->isChecked()) s.ScheduleType = kScheduleTypes[i];
        for (int i = 0; i < 7; ++i) *DayField(i) = ui.day[i]->isChecked() ? 1 : 0;
        for (int i = 0; i < 5; ++i) *OrdinalField(i) = ui.ordinal[i]->isChecked() ? 1 : 0;
        s.LastDayofMonth = ui.monthEnd->isChecked() ? 1 : 0;
        s.MonthRepeat = ui.repeat->currentText().toStdString();
        s.Offset = ui.offset->text().toInt();
        s.Every = ui.every->text().toInt();
        s.EveryType = ui.everyType->currentText().toStdString();
        s.Date = ReadDate(ui.date, s.Date);
        s.Time = ReadTime(ui.time, s.Time);
        s.AdvanceWarnDate = ReadDate(ui.warnDate, s.AdvanceWarnDate);
        s.AdvanceWarnTime = ReadTime(ui.warnTime, s.AdvanceWarnTime);
        s.Alarm = ui.alarm->isChecked() ? 1 : 0;
        s.AlarmFile = ui.wavFile->text().toStdString();
        s.Warn = ui.warn->isChecked() ? 1 : 0;
        s.SkipIfMissed = ui.skipIfMissed->isChecked() ? 1 : 0;
        s.UserSkip = ui.userSkip->isChecked() ? 1 : 0;
        s.SkipIfScriptActive = ui.skipIfScript->isChecked() ? 1 : 0;
        s.NoHistory = ui.noHistory->isChecked() ? 1 : 0;
        s.Disabled = ui.disable->isChecked() ? 1 : 0;
    }

    void ShowScheduleType() {
        const ScheduleTypeView v = ApplyScheduleType(SCH());
        ui.everyGroup->setTitle(QString::fromStdString(v.groupCaption));
        for (QCheckBox* c : ui.day) {
            c->setVisible(v.weekdays);
            c->setEnabled(v.ordinalsEnabled || !v.ordinals);
        }
        for (QCheckBox* c : ui.ordinal) {
            c->setVisible(v.ordinals);
            c->setEnabled(v.ordinalsEnabled);
        }
        ui.monthEnd->setVisible(v.ordinals);
        for (QWidget* w : {static_cast<QWidget*>(ui.repeat), static_cast<QWidget*>(ui.offsetLabel),
                           static_cast<QWidget*>(ui.offset), static_cast<QWidget*>(ui.tips)})
            w->setVisible(v.repeat);
        for (QWidget* w : {static_cast<QWidget*>(ui.offsetLabel), static_cast<QWidget*>(ui.offset),
                           static_cast<QWidget*>(ui.tips)})
            w->setEnabled(v.offsetEnabled);
        for (QWidget* w : {static_cast<QWidget*>(ui.everyLabel), static_cast<QWidget*>(ui.every),
                           static_cast<QWidget*>(ui.everyType)})
            w->setVisible(v.every);
        ui.except->setVisible(v.except);
        ui.repeat->setCurrentText(QString::fromStdString(Trim(SCH().MonthRepeat.str())));
    }

    // The alarm's file: a blank one takes the last WAV file, a chosen one is
    // remembered ([Settings] "LastWAVFile" of the program INI).
    void AlarmRule(bool fill) {
        const bool on = ui.alarm->isChecked();
        for (QWidget* w : {static_cast<QWidget*>(ui.wavFile), static_cast<QWidget*>(ui.wavBrowse),
                           static_cast<QWidget*>(ui.play)})
            w->setEnabled(on);
        if (!on || !fill) return;
        SCH().AlarmFile = ui.wavFile->text().toStdString();
        const std::string ini = Options().ININame.get();
        if (traits().lastWavInProgramIni) {
            const std::string keep = FillAlarmFile(SCH(), GetIniValue(ini, "Settings", "LastWAVFile", ""));
            if (!keep.empty()) PutIniValue(ini, "Settings", "LastWAVFile", keep);
        } else {
            const std::string keep = FillAlarmFile(SCH(), GetSetting("LastWAVFile", "", ini));
            if (!keep.empty()) PutSetting("LastWAVFile", keep);
        }
        ui.wavFile->setText(QString::fromStdString(SCH().AlarmFile.str()));
    }

    void ShowPage(int page) {
        ui.pages->setCurrentIndex(page);
        const int last = traits().pages - 1;
        ui.back->setEnabled(page > 0);
        ui.next->setEnabled(page < last);
        ui.finish->setEnabled(page == last);
        ui.finish->setDefault(page == last);
        ui.next->setDefault(page != last);
        if (page == last) AlarmRule(true);
    }

    void DateAccepted() {
        Store();
        Schedule& s = SCH();
        if (s.Date != 0 && !DateFitsSchedule(s, s.Date))
            Message("Date given does not match schedule type.", "Warning", MessageIcon::Exclamation);
        const WarningDefaults w = ReadWarningDefaults(Options().ININame.get());
        if (w.active) ApplyDefaultWarning(s, w);
        Show();
    }

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
            OpenScriptList([this, w] {
                if (w) Show();
            });
            return;
        }
        for (QRadioButton* r : ui.type)
            if (c == r) {
                Store();
                ShowScheduleType();
                return;
            }
        if ((c == ui.monthEnd && traits().monthEndAtOnce) || c == ui.repeat) {
            Store();
            if (c == ui.repeat) ApplyMonthRepeat(SCH());
            ShowScheduleType();
        } else if (c == ui.every || c == ui.everyType) {
            Store();
            ApplyEveryRule(SCH());
            ui.noHistory->setChecked(SCH().NoHistory != 0);
        } else if (c == ui.date || c == ui.time) {
            DateAccepted();
        } else if (c == ui.warnDate || c == ui.warnTime) {
            Store();
            if (ClearWarningAfterTask(SCH())) {
                Show();
                Message("Advanced Warning cannot be after scheduled task.", "", MessageIcon::Exclamation);
            }
        } else if (c == ui.datePick || c == ui.warnPick) {
            Store();
            const bool next = c == ui.datePick;
            QPointer<QWidget> w = ui.window;
            Calendar(next ? SCH().Date : SCH().AdvanceWarnDate, next ? "" : "None", "Select Date",
                     [this, w, next](int32_t chosen) {
                         if (!w || chosen == 0) return;
                         (next ? ui.date : ui.warnDate)->setText(D(chosen));
                         if (next) DateAccepted();
                     });
        } else if (c == ui.except) {
            Store();
            QPointer<QWidget> w = ui.window;
            UpdateSchedule_ExceptionsWindow([this, w] {
                if (w) Show();
            });
        } else if (c == ui.tips) {
            Message("\"Days to Offset\" allows you to shift the semi-monthly dates.  For example, if you have "
                    "selected \"Twice - 1st, 15th\", an offset of \"3\" will make Kairoll run your task on the 4th "
                    "and 18th of every month. If you have selected \"Twice - 15th, Last\", an offset of \"-1\" will "
                    "make Kairoll run your task on the 14th and 2nd last day of every month.",
                    "Offset Tips");
        } else if (c == ui.alarm || c == ui.wavFile) {
            AlarmRule(true);
        } else if (c == ui.wavBrowse) {
            BrowseWav();
        } else if (c == ui.play) {
            if (ui.wavFile->text().trimmed().isEmpty()) BrowseWav();
            else if (!PlaySoundAsync(ui.wavFile->text().toStdString())) ui.wavBrowse->setFocus();
        }
    }

    void BrowseWav() {
        const std::string ini = Options().ININame.get();
        std::string start = GetIniValue(ini, "Defaults", "WAVPath", "");
        if (Trim(start).empty()) start = std::filesystem::current_path().string();
        const auto file = ChooseFile(ui.window, "Select WAV File for Alarm", start,
                                     {"WAV Files (*.[wW][aA][vV])", "All Files (*)"});
        if (!file) return;
        ui.wavFile->setText(QString::fromStdString(*file));
        if (traits().rememberWavFolder)
            PutIniValue(ini, "Defaults", "WAVPath", std::filesystem::path(*file).parent_path().string());
    }

    // The required fields in use: message, a Custom task's repeat, the date
    // and time, the alarm's file.
    bool Missing() {
        struct Need {
            bool used;
            QWidget* control;
            const char* prompt;
            int page;
        };
        const Need needs[] = {
            {traits().commandRequired && Trim(SCH().TaskType.str()) != "Display Message" &&
                 Trim(SCH().TaskType.str()) != "None",
             ui.command, "Command", PageOf(ui.command)},
            {traits().messageRequired && Trim(SCH().TaskType.str()) != "Run Program", ui.message, "Message",
             PageOf(ui.message)},
            {Trim(SCH().ScheduleType.str()) == "Custom", ui.every, "Every", PageOf(ui.every)},
            {true, ui.date, "Next Date to Perform Task", PageOf(ui.date)},
            {Trim(SCH().TaskType.str()) != "None", ui.time, "Next Time to Perform Task", PageOf(ui.time)},
            {ui.alarm->isChecked(), ui.wavFile, "Alarm File", PageOf(ui.wavFile)},
        };
        for (const Need& n : needs) {
            if (!n.used) continue;
            QString text;
            if (auto* e = qobject_cast<QLineEdit*>(n.control)) text = e->text();
            else text = static_cast<QPlainTextEdit*>(n.control)->toPlainText();
            if (!text.trimmed().isEmpty() && text.trimmed() != "0") continue;
            Message(std::string(n.prompt) + " must be entered.", "Missing Information", MessageIcon::Exclamation);
            ShowPage(n.page);
            n.control->setFocus();
            return true;
        }
        return false;
    }

    int PageOf(QWidget* control) const {
        for (int i = 0; i < ui.pages->count(); ++i)
            if (ui.pages->widget(i)->isAncestorOf(control)) return i;
        return 0;
    }

    bool TakeCompleted() override {
        Store();
        if (Missing()) return false;
        Schedule& s = SCH();
        PrepareForSave(s);
        {
            TableScheduleStore store;
            CompletionSettings settings;
            settings.userID = Options().UserID.get();
            settings.formatUserDate = [](int32_t d) { return FormatUserDate(d); };
            settings.holidays = LoadHolidays().Test();
            CompleteScheduleRecord(s, store, settings);
        }
        s.Completed = 0;
        if (traits().finishClearsDisabled) s.Disabled = 0;
        if (Schedule_File().Insert() != kLevelBenign) return false;
        saved_ = true;
        return true;
    }

    void Kill() override {
        if (!saved_ && reserved_) ReleaseReservedTask(reserved_);
        if (held_) ReleaseTask(held_);
        if (saved_) BrowseScheduleThreads().PostToAll(1090);
        if (categoriesOpen_) Categories_File().Close();
        if (scheduleOpen_) Schedule_File().Close();
        if (counted_) EditorClosed();
    }

private:
    MessageWizardLayout ui;
    TaskWizard kind_;
    std::optional<Schedule> primed_;
    std::string dateP_;
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
