// Wizard:NewBirthdays: "Birthday/Anniversary Wizard", a yearly reminder of a
// birthday, an anniversary or another event in three pages. The texts and
// dates come from tasks/BirthdayTask.h.
#include <QGroupBox>
#include <QHBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QSpinBox>
#include <QStackedWidget>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/fPasswordValidation.h"
#include "platform/data/Errors.h"
#include "platform/data/ListQuery.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/Requests.h"
#include "platform/ui/FieldHistory.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/OpenEditors.h"
#include "scheduler/windows/Main.h"
#include "tasks/BirthdayTask.h"
#include "tasks/TaskEditorRules.h"
#include "tasks/TaskReservation.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"
#include "tasks/windows/WizardSchedulePages.h"

namespace kr::tasks {

namespace {

using data::kLevelBenign;

struct BirthdayLayout {
    QWidget* window = nullptr;
    QStackedWidget* pages = nullptr;
    QLineEdit *name = nullptr, *date = nullptr, *description = nullptr;
    QRadioButton *exact = nullptr, *monthDay = nullptr, *birthday = nullptr, *anniversary = nullptr, *other = nullptr;
    QCheckBox* warn = nullptr;
    QSpinBox* warnDays = nullptr;
    QPlainTextEdit* message = nullptr;
    QPushButton* datePick = nullptr;
    WizardAlarm alarm;
    WizardButtons buttons;

    void Build() {
        window = new QWidget;
        window->setWindowTitle("Birthday/Anniversary Wizard");
        window->setWindowIcon(IconByName("0MSG.ICO"));
        auto* v = new QVBoxLayout(window);
        pages = new QStackedWidget(window);
        pages->setObjectName("pages");
        // Page 1: who and when.
        auto* p1 = new QWidget;
        auto* g1 = new QGridLayout(p1);
        g1->addWidget(new QLabel("Birthday...", p1), 0, 0, 1, 3);
        name = new QLineEdit(p1);
        name->setObjectName("name");
        name->setMaxLength(40);
        name->setToolTip("Birthday celebrant's name");
        g1->addWidget(new QLabel("Who:", p1), 1, 0);
        g1->addWidget(name, 1, 1, 1, 2);
        auto* whenBox = new QGroupBox("When", p1);
        whenBox->setToolTip("Type of birthday");
        auto* whenColumn = new QVBoxLayout(whenBox);
        exact = new QRadioButton("I know the exact birthdate", whenBox);
        exact->setObjectName("exact");
        monthDay = new QRadioButton("I only know the month and day", whenBox);
        monthDay->setObjectName("monthDay");
        whenColumn->addWidget(exact);
        whenColumn->addWidget(monthDay);
        exact->setChecked(true);
        g1->addWidget(whenBox, 2, 1, 2, 2);
        date = new QLineEdit(p1);
        date->setObjectName("date");
        date->setToolTip("Birthdate");
        datePick = MakeButton(p1, "...", "datePick");
        g1->addWidget(new QLabel("Exact birthdate or next birthday:", p1), 4, 0);
        g1->addWidget(date, 4, 1);
        g1->addWidget(datePick, 4, 2);
        warn = new QCheckBox("I need an advanced warning", p1);
        warn->setObjectName("warn");
        warnDays = new QSpinBox(p1);
        warnDays->setObjectName("warnDays");
        warnDays->setRange(0, 99);
        warnDays->setValue(1);
        g1->addWidget(warn, 5, 0);
        g1->addWidget(new QLabel("- number of days in advance:", p1), 5, 1);
        g1->addWidget(warnDays, 5, 2);
        // Spare height goes below the fields, not between the heading and them.
        g1->setRowStretch(6, 1);
        pages->addWidget(p1);
        // Page 2: the texts.
        auto* p2 = new QWidget;
        auto* g2 = new QGridLayout(p2);
        g2->addWidget(new QLabel("Details...", p2), 0, 0, 1, 3);
        auto* occasionBox = new QGroupBox("Occasion", p2);
        auto* occasionRow = new QHBoxLayout(occasionBox);
        birthday = new QRadioButton("Birthday", occasionBox);
        birthday->setObjectName("birthday");
        anniversary = new QRadioButton("Anniversary", occasionBox);
        anniversary->setObjectName("anniversary");
        other = new QRadioButton("Other", occasionBox);
        other->setObjectName("other");
        for (QRadioButton* r : {birthday, anniversary, other}) occasionRow->addWidget(r);
        birthday->setChecked(true);
        g2->addWidget(occasionBox, 1, 0, 1, 3);
        description = new QLineEdit(p2);
        description->setObjectName("description");
        description->setMaxLength(40);
        auto* dl = new QLabel("&Description:", p2);
        dl->setBuddy(description);
        g2->addWidget(dl, 2, 0);
        g2->addWidget(description, 2, 1, 1, 2);
        message = new QPlainTextEdit(p2);
        message->setObjectName("message");
        auto* ml = new QLabel("&Message:", p2);
        ml->setBuddy(message);
        g2->addWidget(ml, 3, 0, Qt::AlignTop);
        g2->addWidget(message, 3, 1, 1, 2);
        pages->addWidget(p2);
        // Page 3: the alarm.
        auto* p3 = new QWidget;
        auto* g3 = new QGridLayout(p3);
        g3->addWidget(new QLabel("Alarm...", p3), 0, 0, 1, 3);
        // The task form's alarm: the last WAV file in the program INI, the
        // WAV Browse's folder kept.
        g3->setRowStretch(alarm.Build(WizardPageOptions(), p3, g3, 1), 1);
        pages->addWidget(p3);
        v->addWidget(pages);
        buttons.Build(window, v);
    }
};

class BirthdayWizardWindow : public WindowManager {
public:
    BirthdayWizardWindow() : WindowManager("Wizard:NewBirthdays") { SetSavePosition(true, false); }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
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
            EnsureCategory("Reminders");
        }
        SetOkControl(ui.buttons.finish);
        SetCancelControl(ui.buttons.cancel);
        ui.alarm.Attach(this);
        GlobalRequest() = 0;
        GlobalResponse() = 0;
        SCH() = Schedule();
        ApplyBirthdayDefaults(SCH(), Today());
        datePicture_ = data::ApplyDatePicture("@d17", Trim(Options().GlobalDateFormat.get()));
        required_.Init(ui.window);
        required_.SetMessage(ui.name, true, "Birthday celebrant's name", "Birthday celebrant's name",
                             "Birthday celebrant's name", "BName");
        required_.SetMessage(ui.description, true, "Description", "Description or Title of Task",
                             "Description or Title of Task", "SCH:Description");
        required_.SetMessage(ui.message, true, "Message", "Message to display", "Message to display", "SCH:Message");
        required_.SetMessage(ui.alarm.wavFile, true, "Alarm File", "WAV file to play as an alarm",
                             "WAV file to play as an alarm", "SCH:AlarmFile");
        // Ctrl+' in these copies the field of the last reminder saved here.
        for (QWidget* c : {static_cast<QWidget*>(ui.description), static_cast<QWidget*>(ui.message),
                           static_cast<QWidget*>(ui.alarm.alarm), static_cast<QWidget*>(ui.alarm.wavFile)})
            history_.Add(c);
        reserved_ = ReserveTaskID(0);
        HoldTask(SCH().ID);
        held_ = SCH().ID;
        ShowPage(0);
        return true;
    }

    // Next makes Finish the default button; Back gives it back to Next.
    void ShowPage(int page, bool back = false) {
        ui.pages->setCurrentIndex(page);
        WizardButtons& b = ui.buttons;
        b.back->setEnabled(page > 0);
        b.next->setEnabled(page < 2);
        b.finish->setEnabled(page > 0);
        b.finish->setDefault(page > 0 && !back);
        b.next->setDefault(page == 0 || back);
        if (page == 2) ui.alarm.Rule(true);
    }

    BirthdayAnswers Answers() const {
        BirthdayAnswers a;
        a.name = ui.name->text().toStdString();
        a.exact = ui.exact->isChecked();
        if (auto v = TryDeformat(ui.date->text().toStdString(), datePicture_)) a.eventDate = static_cast<int32_t>(v->toInt());
        a.warn = ui.warn->isChecked();
        a.warnDays = ui.warnDays->value();
        a.occasion = ui.anniversary->isChecked() ? "Anniversary" : ui.other->isChecked() ? "Other" : "Birthday";
        return a;
    }

    // Builds the texts and dates; refuses a missing event date.
    bool Build() {
        if (!BuildBirthdayTask(SCH(), Answers(), Today())) {
            Message("The date of the event must be entered.", "Missing Information", MessageIcon::Exclamation);
            ui.date->setFocus();
            return false;
        }
        ui.description->setText(QString::fromStdString(SCH().Description.str()));
        ui.message->setPlainText(QString::fromStdString(SCH().Message));
        return true;
    }

    void TakeAccepted(QObject* c) override {
        const int page = ui.pages->currentIndex();
        if (c == ui.buttons.next) {
            if (page == 0 && !Build()) return;
            ShowPage(page + 1);
        } else if (c == ui.buttons.back) {
            ShowPage(page - 1, true);
        } else if ((c == ui.birthday || c == ui.anniversary || c == ui.other) && !AcceptingAll()) {
            // A new occasion rewrites the texts; Finish's pass over every
            // control must not, or the user's edits of them were lost.
            Build();
        } else if (c == ui.datePick) {
            QPointer<QWidget> w = ui.window;
            Calendar(Answers().eventDate, "", "Select Date", [this, w](int32_t chosen) {
                if (w && chosen) ui.date->setText(QString::fromStdString(Format(Value(chosen), datePicture_)));
            });
        } else {
            ui.alarm.TakeAccepted(c);
        }
    }

    void TakeSelected(QObject* c) override { ui.alarm.TakeSelected(c); }

    bool TakeCompleted() override {
        if (required_.Check(false)) return false;
        // The dates from the answers, the texts as the user left them on the
        // Details page.
        if (!BuildBirthdayTask(SCH(), Answers(), Today())) return false;
        SCH().Description = ui.description->text().toStdString();
        SCH().Message = StoredMessage(ui.message);
        SCH().Alarm = ui.alarm.alarm->isChecked() ? 1 : 0;
        SCH().AlarmFile = ui.alarm.wavFile->text().toStdString();
        CompleteEditedTask(SCH());
        SCH().Disabled = 0;
        SCH().Completed = 0;
        if (Schedule_File().Insert() != kLevelBenign) return false;
        history_.Remember();
        saved_ = true;
        return true;
    }

    void Kill() override {
        if (!saved_ && reserved_) ReleaseReservedTask(reserved_);
        if (held_) ReleaseTask(held_);
        required_.Kill();
        if (saved_) BrowseScheduleThreads().PostToAll(1090);
        if (categoriesOpen_) Categories_File().Close();
        if (scheduleOpen_) Schedule_File().Close();
        if (counted_) EditorClosed();
    }

private:
    BirthdayLayout ui;
    RequiredFields required_;
    FieldHistory history_{"Wizard:NewBirthdays"};
    std::string datePicture_;
    int32_t reserved_ = 0, held_ = 0;
    bool counted_ = false, scheduleOpen_ = false, categoriesOpen_ = false, saved_ = false;
};

}  // namespace

void EnsureCategory(const std::string& name) {
    bool found = false;
    Categories_File().File().ForEachMatch(CategoriesDef().key("CAT:KeyCategory"),
                                          {CategoriesDef().field("CAT:Category")}, {Value(name)},
                                          [&](int64_t, const void*) {
                                              found = true;
                                              return false;
                                          });
    if (found) return;
    Categories_File().rec().Category = name;
    Categories_File().Insert();
}

void Wizard_NewBirthdays() { (new BirthdayWizardWindow)->Open(); }

}  // namespace kr::tasks
