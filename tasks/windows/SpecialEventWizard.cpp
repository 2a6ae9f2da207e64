// UpdateSchedule:SpecialEventWizard: "Special Event Wizard", a one-time
// variant of the highlighted task in five pages. The new task is stored with
// the next free ID and then gets the source's script items; the source can
// be marked to skip its next regular run.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QStackedWidget>
#include <filesystem>

#include "dictionary/Dictionary.h"
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
#include "platform/ui/Requests.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/NextOccurrence.h"
#include "scheduler/OpenEditors.h"
#include "scheduler/Reschedule.h"
#include "scheduler/TableScheduleStore.h"
#include "scriptedit/ScriptCopy.h"
#include "tasks/TaskEditorRules.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::tasks {

namespace {

using data::kLevelBenign;

enum SpecialPage { kTask = 0, kCommand, kMessage, kWhen, kAdvanced };

struct SpecialEventLayout {
    QWidget* window = nullptr;
    QStackedWidget* pages = nullptr;
    QRadioButton *program = nullptr, *message = nullptr, *both = nullptr;
    QComboBox* category = nullptr;
    QLineEdit *description = nullptr, *command = nullptr, *path = nullptr;
    QLineEdit *date = nullptr, *time = nullptr, *warnDate = nullptr, *warnTime = nullptr, *wavFile = nullptr;
    QPlainTextEdit* text = nullptr;
    QCheckBox *skipSource = nullptr, *alarm = nullptr, *warn = nullptr, *skipIfMissed = nullptr, *userSkip = nullptr,
              *disable = nullptr, *noHistory = nullptr;
    QPushButton *browse = nullptr, *datePick = nullptr, *warnPick = nullptr, *wavBrowse = nullptr, *play = nullptr;
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
        auto* type = new QButtonGroup(p1);
        for (QRadioButton* r : {program, message, both}) type->addButton(r);
        g1->addWidget(program, 1, 0);
        g1->addWidget(message, 1, 1);
        g1->addWidget(both, 1, 2);
        category = new QComboBox(p1);
        category->setObjectName("category");
        g1->addWidget(Label("&Category:", p1, category), 2, 0);
        g1->addWidget(category, 2, 1, 1, 2);
        description = Entry(p1, "description", 40);
        g1->addWidget(Label("&Description:", p1, description), 3, 0);
        g1->addWidget(description, 3, 1, 1, 2);
        pages->addWidget(p1);

        auto* p2 = new QWidget;
        auto* g2 = new QGridLayout(p2);
        g2->addWidget(new QLabel("Application to start...", p2), 0, 0, 1, 3);
        command = Entry(p2, "command", 255);
        browse = MakeButton(p2, "B&rowse", "browse");
        browse->setToolTip("Select a program to start");
        path = Entry(p2, "path", 255);
        g2->addWidget(Label("&Command:", p2, command), 1, 0);
        g2->addWidget(command, 1, 1);
        g2->addWidget(browse, 1, 2);
        g2->addWidget(Label("Start &in:", p2, path), 2, 0);
        g2->addWidget(path, 2, 1);
        pages->addWidget(p2);

        auto* p3 = new QWidget;
        auto* g3 = new QVBoxLayout(p3);
        g3->addWidget(new QLabel("Message to display...\nEnter your customized message here...", p3));
        text = new QPlainTextEdit(p3);
        text->setObjectName("text");
        g3->addWidget(text);
        pages->addWidget(p3);

        auto* p4 = new QWidget;
        auto* g4 = new QGridLayout(p4);
        g4->addWidget(new QLabel("When to do it...\nThese options determine when this task will be performed.", p4),
                      0, 0, 1, 4);
        date = Entry(p4, "date", 20);
        datePick = MakeButton(p4, "...", "datePick");
        time = Entry(p4, "time", 20);
        g4->addWidget(Label("Next &Date to Perform Task:", p4, date), 1, 0);
        g4->addWidget(date, 1, 1);
        g4->addWidget(datePick, 1, 2);
        g4->addWidget(Label("&Time:", p4, time), 2, 0);
        g4->addWidget(time, 2, 1);
        warnDate = Entry(p4, "warnDate", 20);
        warnPick = MakeButton(p4, "...", "warnPick");
        warnTime = Entry(p4, "warnTime", 20);
        g4->addWidget(Label("&Advance Warning Date:", p4, warnDate), 3, 0);
        g4->addWidget(warnDate, 3, 1);
        g4->addWidget(warnPick, 3, 2);
        g4->addWidget(new QLabel("Time:", p4), 4, 0);
        g4->addWidget(warnTime, 4, 1);
        skipSource = Check(p4, "Skip next regular occurance of task being copied", "skipSource");
        g4->addWidget(skipSource, 5, 0, 1, 3);
        pages->addWidget(p4);

        auto* p5 = new QWidget;
        auto* g5 = new QGridLayout(p5);
        g5->addWidget(
            new QLabel("The fancy stuff...\nFinally, here are some advanced features you may wish to use...", p5), 0,
            0, 1, 3);
        alarm = Check(p5, "Alarm", "alarm");
        wavFile = Entry(p5, "wavFile", 255);
        wavBrowse = MakeButton(p5, "B&rowse", "wavBrowse");
        play = MakeButton(p5, "&Play", "play");
        g5->addWidget(alarm, 1, 0);
        g5->addWidget(new QLabel("WAV File to Play:", p5), 2, 0);
        g5->addWidget(wavFile, 2, 1);
        g5->addWidget(wavBrowse, 2, 2);
        g5->addWidget(play, 3, 2);
        warn = Check(p5, "&Warn if not run on specified date", "warn");
        skipIfMissed = Check(p5, "&Skip if not run at specified time (+/- 10 minutes)", "skipIfMissed");
        userSkip = Check(p5, "B&efore performing task, give option to skip", "userSkip");
        disable = Check(p5, "&Disable", "disable");
        noHistory = Check(p5, "No &History", "noHistory");
        int row = 4;
        for (QCheckBox* c : {warn, skipIfMissed, userSkip, disable, noHistory}) g5->addWidget(c, row++, 0, 1, 3);
        pages->addWidget(p5);

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
        SetOkControl(ui.finish);
        SetCancelControl(ui.cancel);
        GlobalRequest() = 0;
        GlobalResponse() = 0;
        SCH() = source_;
        warning_.Start(SCH(), false);
        dateP_ = data::ApplyDatePicture("@d17", Trim(Options().GlobalDateFormat.get()));
        if (Categories_File().Open() == kLevelBenign) {
            categoriesOpen_ = true;
            data::Table& cat = Categories_File().File();
            if (cat.Set(CategoriesDef().key("CAT:KeyCategory")) == 0)
                while (cat.Next() == 0)
                    ui.category->addItem(QString::fromStdString(Trim(cat.Rec<Categories>().Category.str())));
        }
        if (view_) {
            for (QWidget* b : {ui.browse, ui.datePick, ui.warnPick, ui.wavBrowse, ui.play}) DisableInViewMode(b);
            SetViewMode(true);
            SetTitle(ViewTitle(ui.window->windowTitle().toStdString()));
            ui.cancel->setIcon(IconByName("~close.ico"));
        }
        Show();
        ShowPage(kTask);
        return true;
    }
    void TakeOpened() override {
        if (view_) ui.cancel->setFocus();
    }

    std::string Type() const {
        return ui.program->isChecked() ? "Run Program" : ui.message->isChecked() ? "Display Message" : "Both";
    }
    void TypeRule() {
        const std::string t = Type();
        const bool program = t != "Display Message", text = t != "Run Program";
        for (QWidget* w : {static_cast<QWidget*>(ui.command), static_cast<QWidget*>(ui.path),
                           static_cast<QWidget*>(ui.browse)})
            w->setEnabled(program);
        ui.text->setEnabled(text);
    }
    void AlarmRule() {
        const bool on = ui.alarm->isChecked();
        for (QWidget* w : {static_cast<QWidget*>(ui.wavFile), static_cast<QWidget*>(ui.wavBrowse),
                           static_cast<QWidget*>(ui.play)})
            w->setEnabled(on);
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

    void Show() {
        Schedule& s = SCH();
        const std::string t = Trim(s.TaskType.str());
        (t == "Run Program" ? ui.program : t == "Display Message" ? ui.message : ui.both)->setChecked(true);
        const QString cat = QString::fromStdString(Trim(s.Category.str()));
        if (ui.category->findText(cat) < 0) ui.category->addItem(cat);
        ui.category->setCurrentText(cat);
        ui.description->setText(QString::fromStdString(s.Description.str()));
        ui.command->setText(QString::fromStdString(s.Command.str()));
        ui.path->setText(QString::fromStdString(s.Path.str()));
        ui.text->setPlainText(QString::fromStdString(s.Message));
        ui.date->setText(D(s.Date));
        ui.time->setText(T(s.Time));
        ui.warnDate->setText(D(s.AdvanceWarnDate));
        ui.warnTime->setText(T(s.AdvanceWarnTime));
        ui.skipSource->setChecked(s.SkipNextTime != 0);
        ui.alarm->setChecked(s.Alarm != 0);
        ui.wavFile->setText(QString::fromStdString(s.AlarmFile.str()));
        ui.warn->setChecked(s.Warn != 0);
        ui.skipIfMissed->setChecked(s.SkipIfMissed != 0);
        ui.userSkip->setChecked(s.UserSkip != 0);
        ui.disable->setChecked(s.Disabled != 0);
        ui.noHistory->setChecked(s.NoHistory != 0);
        TypeRule();
        AlarmRule();
        ApplyViewMode();
    }
    void Store() {
        Schedule& s = SCH();
        s.TaskType = Type();
        s.Category = ui.category->currentText().toStdString();
        s.Description = ui.description->text().toStdString();
        s.Command = ui.command->text().toStdString();
        s.Path = ui.path->text().toStdString();
        std::string text;
        for (char ch : ui.text->toPlainText().toStdString()) {
            if (ch == '\n') text += '\r';
            if (ch != '\r') text += ch;
        }
        s.Message = text;
        s.Date = ReadDate(ui.date, s.Date);
        s.Time = ReadTime(ui.time, s.Time);
        s.AdvanceWarnDate = ReadDate(ui.warnDate, s.AdvanceWarnDate);
        s.AdvanceWarnTime = ReadTime(ui.warnTime, s.AdvanceWarnTime);
        s.SkipNextTime = ui.skipSource->isChecked() ? 1 : 0;
        s.Alarm = ui.alarm->isChecked() ? 1 : 0;
        s.AlarmFile = ui.wavFile->text().toStdString();
        s.Warn = ui.warn->isChecked() ? 1 : 0;
        s.SkipIfMissed = ui.skipIfMissed->isChecked() ? 1 : 0;
        s.UserSkip = ui.userSkip->isChecked() ? 1 : 0;
        s.Disabled = ui.disable->isChecked() ? 1 : 0;
        s.NoHistory = ui.noHistory->isChecked() ? 1 : 0;
    }

    void ShowPage(int page) {
        ui.pages->setCurrentIndex(page);
        ui.back->setEnabled(page != kTask);
        ui.next->setEnabled(page != kAdvanced);
        ui.next->setDefault(page != kAdvanced);
        if (view_) {
            // Read-only: the last page's Enter closes.
            ui.cancel->setDefault(page == kAdvanced);
        } else {
            ui.finish->setEnabled(page == kAdvanced);
            ui.finish->setDefault(page == kAdvanced);
        }
        AlarmRule();
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

    // Finish's pass over every control comes here too: it neither repeats
    // the warning nor puts the default advance warning over one the user set
    // after the date (the default follows only a changed date or time).
    void DateAccepted() {
        Store();
        Schedule& s = SCH();
        if (!AcceptingAll() && s.Date != 0 && !DateFitsSchedule(s, s.Date))
            Message("Date given does not match schedule type.", "Warning", MessageIcon::Exclamation);
        warning_.Apply(s, ReadWarningDefaults(Options().ININame.get()));
        Show();
    }

    void TakeAccepted(QObject* c) override {
        const int page = ui.pages->currentIndex();
        if (c == ui.next) {
            ShowPage(NextPage(page));
        } else if (c == ui.back) {
            ShowPage(BackPage(page));
        } else if (c == ui.program || c == ui.message || c == ui.both) {
            TypeRule();
        } else if (c == ui.alarm) {
            AlarmRule();
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
        } else if (c == ui.browse) {
            Store();
            QPointer<QWidget> w = ui.window;
            ChooseProgram(ui.window, [this, w](bool chosen) {
                if (w && chosen) Show();
            });
        } else if (c == ui.wavBrowse) {
            BrowseWav();
        } else if (c == ui.play) {
            if (ui.wavFile->text().trimmed().isEmpty()) BrowseWav();
            else if (!PlaySoundAsync(ui.wavFile->text().toStdString())) ui.wavBrowse->setFocus();
        }
    }

    void BrowseWav() {
        std::string start = GetIniValue(Options().ININame.get(), "Defaults", "WAVPath", "");
        if (Trim(start).empty()) start = std::filesystem::current_path().string();
        const auto file = ChooseFile(ui.window, "Select WAV File for Alarm", start,
                                     {"WAV Files (*.[wW][aA][vV])", "All Files (*)"});
        if (file) ui.wavFile->setText(QString::fromStdString(*file));
    }

    // The required fields in use: the command of a task that runs a program,
    // the message of one that shows it, the date and time, the alarm's file.
    bool Missing() {
        const std::string t = Type();
        struct Need {
            bool used;
            QWidget* control;
            const char* prompt;
            int page;
        };
        const Need needs[] = {
            {t != "Display Message", ui.command, "Command", kCommand},
            {t != "Run Program", ui.text, "Message", kMessage},
            {true, ui.date, "Next Date to Perform Task", kWhen},
            {true, ui.time, "Next Time to Perform Task", kWhen},
            {ui.alarm->isChecked(), ui.wavFile, "Alarm File", kAdvanced},
        };
        for (const Need& n : needs) {
            if (!n.used) continue;
            QString text;
            if (auto* e = qobject_cast<QLineEdit*>(n.control)) text = e->text();
            else text = static_cast<QPlainTextEdit*>(n.control)->toPlainText();
            if (!text.trimmed().isEmpty()) continue;
            Message(std::string(n.prompt) + " must be entered.", "Missing Information", MessageIcon::Exclamation);
            ShowPage(n.page);
            n.control->setFocus();
            return true;
        }
        return false;
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
        const bool skipSource = s.SkipNextTime != 0;
        if (skipSource) s.SkipNextTime = 0;
        TableScheduleStore store;
        Schedule copy = s;
        if (AddScheduleCopy(store, copy) != 0 || copy.ID == 0) return false;
        // The special event runs the source's script, copied to its own number.
        if (source != 0 && copy.ID != source) CopyScript(source, copy.ID);
        if (skipSource && source != 0) {
            Schedule original;
            if (store.Fetch(source, original) != 0) {
                Message("Could not set SKIP status  ID #" + std::to_string(source), "Error:");
            } else {
                original.SkipNextTime = 1;
                if (store.Put(original) != 0) Message("Could not change SKIP status ", "Error:");
            }
        }
        s = copy;
        saved_ = true;
        return true;
    }

    void Kill() override {
        if (categoriesOpen_) Categories_File().Close();
        if (scheduleOpen_) Schedule_File().Close();
        if (counted_) EditorClosed();
        if (done_) done_(saved_ ? kRequestCompleted : kRequestCancelled);
    }

private:
    SpecialEventLayout ui;
    Schedule source_;
    WarningTracker warning_;
    std::function<void(int)> done_;
    std::string dateP_;
    bool view_ = false;
    bool counted_ = false, scheduleOpen_ = false, categoriesOpen_ = false, saved_ = false;
};

}  // namespace

void UpdateSchedule_SpecialEventWizard(std::function<void(int response)> done) {
    (new SpecialEventWindow(std::move(done)))->Call();
}

}  // namespace kr::tasks
