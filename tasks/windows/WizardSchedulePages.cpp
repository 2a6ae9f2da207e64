#include "tasks/windows/WizardSchedulePages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "platform/data/ListQuery.h"
#include "platform/desktop/Sound.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/NextOccurrence.h"
#include "scheduler/ScheduleDefaults.h"
#include "scheduler/TableScheduleStore.h"
#include "dictionary/EventLog.h"
#include "tasks/TaskEditorRules.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::tasks {

namespace {

const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kOrdinals[] = {"1st", "2nd", "3rd", "4th", "Last"};

Schedule& SCH() { return Schedule_File().rec(); }

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

QLineEdit* Entry(QWidget* p, const char* name, int length) {
    auto* e = new QLineEdit(p);
    e->setObjectName(name);
    e->setMaxLength(length);
    return e;
}
QCheckBox* Check(QWidget* p, const char* text, const char* name) {
    auto* c = new QCheckBox(text, p);
    c->setObjectName(name);
    return c;
}
// A label whose Alt key moves to its control.
QLabel* Label(const char* text, QWidget* p, QWidget* buddy) {
    auto* l = new QLabel(text, p);
    l->setBuddy(buddy);
    return l;
}

const char* const kOffsetTips =
    "\"Days to Offset\" allows you to shift the semi-monthly dates.  For example, if you have selected \"Twice - "
    "1st, 15th\", an offset of \"3\" will make Kairoll run your task on the 4th and 18th of every month. If you "
    "have selected \"Twice - 15th, Last\", an offset of \"-1\" will make Kairoll run your task on the 14th and 2nd "
    "last day of every month.";

// The last WAV file, from the program INI or the settings store.
std::string LastWav(bool inIni) {
    const std::string ini = Options().ININame.get();
    return inIni ? GetIniValue(ini, "Settings", "LastWAVFile", "") : GetSetting("LastWAVFile", "", ini);
}
void KeepLastWav(bool inIni, const std::string& file) {
    if (Trim(file).empty()) return;
    if (inIni) PutIniValue(Options().ININame.get(), "Settings", "LastWAVFile", file);
    else PutSetting("LastWAVFile", file);
}

}  // namespace

WizardPageOptions PageOptionsOf(TaskWizard w) {
    const TaskWizardTraits& t = TraitsOf(w);
    WizardPageOptions o;
    o.whenHeading = t.whenHeading;
    o.advancedHeading =
        w == TaskWizard::General ? "Alarm and Advanced Settings..." : "Alarm and advanced options...";
    // The Alarm box always takes and keeps the last file in the program INI;
    // the WAV field keeps it where the wizard says.
    o.alarmLastWavInIni = true;
    o.fieldLastWavInIni = t.lastWavInProgramIni;
    o.rememberWavFolder = t.rememberWavFolder;
    o.monthEndAtOnce = t.monthEndAtOnce;
    return o;
}

void WizardSchedulePages::Build(const WizardPageOptions& options, QWidget* categoryHost, QGridLayout* categoryGrid,
                                int categoryRow) {
    options_ = options;

    categoryPage = new QWidget;
    {
        auto* g = new QGridLayout(categoryPage);
        g->addWidget(new QLabel("Describing it...", categoryPage), 0, 0, 1, 2);
        auto* intro = new QLabel(
            "Next, select the category and optionally enter a brief description or \"title\".", categoryPage);
        intro->setWordWrap(true);
        QWidget* host = categoryHost ? categoryHost : categoryPage;
        QGridLayout* grid = categoryGrid ? categoryGrid : g;
        if (!categoryHost) {
            g->addWidget(intro, 1, 0, 1, 2);
            categoryRow = 2;
        } else {
            intro->hide();
        }
        category = new QComboBox(host);
        category->setObjectName("category");
        grid->addWidget(Label("&Category:", host, category), categoryRow, 0);
        grid->addWidget(category, categoryRow, 1);
        description = Entry(host, "description", 40);
        description->setToolTip("Description or Title of Task");
        grid->addWidget(Label("&Description:", host, description), categoryRow + 1, 0);
        grid->addWidget(description, categoryRow + 1, 1);
        if (!categoryHost) g->setRowStretch(4, 1);
    }

    whenPage = new QWidget;
    auto* g2 = new QGridLayout(whenPage);
    g2->addWidget(new QLabel(options.whenHeading, whenPage), 0, 0, 1, 4);
    typeGroup = new QGroupBox("Schedule &Type", whenPage);
    auto* typeColumn = new QVBoxLayout(typeGroup);
    for (int i = 0; i < 6; ++i) {
        type[i] = new QRadioButton(kFormScheduleTypes[i], typeGroup);
        type[i]->setObjectName(QString("type%1").arg(i));
        typeColumn->addWidget(type[i]);
    }
    g2->addWidget(typeGroup, 1, 0, 6, 1);
    everyGroup = new QGroupBox("&Every...", whenPage);
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
    for (const char* r : kFormMonthRepeats) repeat->addItem(r);
    eg->addWidget(repeat, 2, 0, 1, 3);
    offsetLabel = new QLabel("Days to Offset:", everyGroup);
    offset = Entry(everyGroup, "offset", 4);
    offset->setMaximumWidth(60);
    tips = MakeButton(everyGroup, "&Tips", "tips");
    eg->addWidget(offsetLabel, 2, 3);
    eg->addWidget(offset, 2, 4);
    eg->addWidget(tips, 2, 5);
    everyLabel = new QLabel("Every:", everyGroup);
    every = Entry(everyGroup, "every", 6);
    every->setValidator(new QIntValidator(0, 999999, every));
    every->setToolTip("Repeat Task Every...");
    every->setMaximumWidth(80);
    everyType = new QComboBox(everyGroup);
    everyType->setObjectName("everyType");
    for (const char* u : kEveryTypes) everyType->addItem(u);
    eg->addWidget(everyLabel, 3, 0);
    eg->addWidget(every, 3, 1);
    eg->addWidget(everyType, 3, 2, 1, 2);
    except = MakeButton(everyGroup, "E&xcept", "except");
    eg->addWidget(except, 3, 5);
    auto* hint = new QLabel("These options determine\nwhen and how often this\ntask will be performed.", everyGroup);
    eg->addWidget(hint, 4, 0, 1, 7);
    g2->addWidget(everyGroup, 1, 1, 6, 3);
    date = Entry(whenPage, "date", 20);
    date->setToolTip("Next Date to Perform Task");
    datePick = MakeButton(whenPage, "...", "datePick");
    datePick->setToolTip("Select Date");
    time = Entry(whenPage, "time", 20);
    time->setToolTip("Next Time to Perform Task");
    dateLabel = Label("&Next Date to Perform Task:", whenPage, date);
    g2->addWidget(dateLabel, 7, 0);
    g2->addWidget(date, 7, 1);
    g2->addWidget(datePick, 7, 2);
    timeLabel = Label("&Time:", whenPage, time);
    g2->addWidget(timeLabel, 8, 0);
    g2->addWidget(time, 8, 1);
    skipFirst = Check(whenPage, options.skipFirstText, "skipFirst");
    g2->addWidget(skipFirst, 8, 2, 1, 2);
    warnDate = Entry(whenPage, "warnDate", 20);
    warnDate->setToolTip("Leave blank for no warning that this task will occur.");
    warnPick = MakeButton(whenPage, "...", "warnPick");
    warnPick->setToolTip("Select Date");
    warnTime = Entry(whenPage, "warnTime", 20);
    g2->addWidget(Label("&Advance Warning Date:", whenPage, warnDate), 9, 0);
    g2->addWidget(warnDate, 9, 1);
    g2->addWidget(warnPick, 9, 2);
    g2->addWidget(Label("Time:", whenPage, warnTime), 10, 0);
    g2->addWidget(warnTime, 10, 1);
    // Spare height goes below the fields, not between the heading and them.
    g2->setRowStretch(11, 1);
    if (!options.scheduleChoice) {
        typeGroup->hide();
        everyGroup->hide();
    }

    advancedPage = new QWidget;
    auto* g3 = new QGridLayout(advancedPage);
    g3->addWidget(new QLabel(options.advancedHeading, advancedPage), 0, 0, 1, 3);
    auto* intro = new QLabel("Finally, here are some advanced features you may wish to use...", advancedPage);
    intro->setWordWrap(true);
    g3->addWidget(intro, 1, 0, 1, 3);
    alarmGroup.Build(options, advancedPage, g3, 2);
    alarm = alarmGroup.alarm;
    wavLabel = alarmGroup.wavLabel;
    wavFile = alarmGroup.wavFile;
    wavBrowse = alarmGroup.wavBrowse;
    play = alarmGroup.play;
    warn = Check(advancedPage, "&Warn if not run on specified date", "warn");
    skipIfMissed = Check(advancedPage, "&Skip if not run at specified time (+/- 10 minutes)", "skipIfMissed");
    userSkip = Check(advancedPage, options.userSkipText, "userSkip");
    skipIfScript = Check(advancedPage, "Skip if a script is running", "skipIfScript");
    noHistory = Check(advancedPage, "No &History", "noHistory");
    disable = Check(advancedPage, "&Disable", "disable");
    int row = 5;
    for (QCheckBox* c : {warn, skipIfMissed, userSkip, skipIfScript, noHistory, disable})
        g3->addWidget(c, row++, 0, 1, 3);
    g3->setRowStretch(row, 1);
    if (!options.runOptions)
        for (QWidget* w : {static_cast<QWidget*>(intro), static_cast<QWidget*>(warn),
                           static_cast<QWidget*>(skipIfMissed), static_cast<QWidget*>(userSkip),
                           static_cast<QWidget*>(skipIfScript), static_cast<QWidget*>(noHistory),
                           static_cast<QWidget*>(disable)})
            w->hide();
    if (!options.skipIfScriptBox) skipIfScript->hide();
}

int WizardAlarm::Build(const WizardPageOptions& options, QWidget* page, QGridLayout* grid, int row) {
    options_ = options;
    alarm = Check(page, "Alarm", "alarm");
    wavFile = Entry(page, "wavFile", 255);
    wavFile->setToolTip("WAV file to play as an alarm");
    wavBrowse = MakeButton(page, "&Browse", "wavBrowse");
    play = MakeButton(page, "&Play", "play");
    play->setToolTip("Let's hear it!");
    wavLabel = Label("WAV File to Play:", page, wavFile);
    grid->addWidget(alarm, row, 0);
    grid->addWidget(wavLabel, row + 1, 0);
    grid->addWidget(wavFile, row + 1, 1);
    grid->addWidget(wavBrowse, row + 1, 2);
    grid->addWidget(play, row + 2, 2);
    return row + 3;
}

void AddWizardButtons(QWidget* window, QBoxLayout* layout, QPushButton*& back, QPushButton*& next,
                      QPushButton*& finish, QPushButton*& cancel) {
    back = MakeButton(window, "&Back", "back");
    next = MakeButton(window, "&Next", "next");
    finish = MakeButton(window, "&Finish", "finish", "OK.ICO");
    cancel = MakeButton(window, "Cancel", "cancel", "CANCEL.ICO");
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* b : {back, next, finish, cancel}) row->addWidget(b);
    layout->addLayout(row);
}

std::string StoredMessage(const QPlainTextEdit* editor) {
    // The editor shows line breaks as LF.
    std::string text;
    for (char ch : editor->toPlainText().toStdString()) {
        if (ch == '\n') text += '\r';
        if (ch != '\r') text += ch;
    }
    return text;
}

void CompleteEditedTask(Schedule& SCH) {
    TableScheduleStore store;
    CompletionSettings settings;
    settings.userID = Options().UserID.get();
    settings.formatUserDate = [](int32_t d) { return FormatUserDate(d); };
    settings.holidays = LoadHolidays().Test();
    CompleteScheduleRecord(SCH, store, settings);
}

void WizardSchedulePages::Attach(WindowManager* owner, std::function<void()> storeAll,
                                 std::function<void()> showAll) {
    owner_ = owner;
    alarmGroup.Attach(owner);
    storeAll_ = std::move(storeAll);
    showAll_ = std::move(showAll);
    datePicture_ = data::ApplyDatePicture("@d17", Trim(Options().GlobalDateFormat.get()));
}

void WizardSchedulePages::StoreAll() const {
    if (storeAll_) storeAll_();
}
void WizardSchedulePages::ShowAll() const {
    if (showAll_) showAll_();
}

void WizardSchedulePages::FillCategories() {
    // The wizard's use of Categories opens the file only at the manager's
    // first operation: the raw reads below are none.
    if (Categories_File().UseFile() != 0) return;
    data::Table& cat = Categories_File().File();
    if (cat.Set(CategoriesDef().key("CAT:KeyCategory")) != 0) return;
    while (cat.Next() == 0) {
        const QString name = QString::fromStdString(Trim(cat.Rec<Categories>().Category.str()));
        if (category->findText(name) < 0) category->addItem(name);
    }
}

void WizardSchedulePages::AddRequiredFields(RequiredFields& required) {
    required.SetMessage(every, true, "Every", "Repeat Task Every...", "Repeat Task Every...", "SCH:Every");
    required.SetMessage(date, true, "Next Date to Perform Task", "Next Date to Perform Task",
                        "Next Date to Perform Task", "SCH:Date");
    required.SetMessage(time, true, "Next Time to Perform Task", "Next Time to Perform Task",
                        "Next Time to Perform Task", "SCH:Time");
    required.SetMessage(wavFile, true, "Alarm File", "WAV file to play as an alarm", "WAV file to play as an alarm",
                        "SCH:AlarmFile");
}

QString WizardSchedulePages::DateText(int32_t d) const {
    return d ? QString::fromStdString(Format(Value(d), datePicture_)) : QString();
}
QString WizardSchedulePages::TimeText(int32_t t) {
    return t ? QString::fromStdString(Format(Value(t), "@t3")) : QString();
}
int32_t WizardSchedulePages::ReadDate(QLineEdit* e, int32_t keep) const {
    if (e->text().trimmed().isEmpty()) return 0;
    auto v = TryDeformat(e->text().toStdString(), datePicture_);
    return v ? static_cast<int32_t>(v->toInt()) : keep;
}
int32_t WizardSchedulePages::ReadTime(QLineEdit* e, int32_t keep) {
    if (e->text().trimmed().isEmpty()) return 0;
    auto v = TryDeformat(e->text().toStdString(), "@t3");
    return v ? static_cast<int32_t>(v->toInt()) : keep;
}

void WizardSchedulePages::Show() {
    Schedule& s = SCH();
    const QString cat = QString::fromStdString(Trim(s.Category.str()));
    if (category->findText(cat) < 0) category->addItem(cat);
    category->setCurrentText(cat);
    description->setText(QString::fromStdString(s.Description.str()));
    if (options_.scheduleChoice) {
        for (int i = 0; i < 6; ++i) type[i]->setChecked(Trim(s.ScheduleType.str()) == kFormScheduleTypes[i]);
        for (int i = 0; i < 7; ++i) day[i]->setChecked(*DayField(i) != 0);
        for (int i = 0; i < 5; ++i) ordinal[i]->setChecked(*OrdinalField(i) != 0);
        monthEnd->setChecked(s.LastDayofMonth != 0);
        repeat->setCurrentText(QString::fromStdString(Trim(s.MonthRepeat.str())));
        offset->setText(QString::number(s.Offset));
        every->setText(QString::number(s.Every));
        everyType->setCurrentText(QString::fromStdString(Trim(s.EveryType.str())));
    }
    date->setText(DateText(s.Date));
    time->setText(TimeText(s.Time));
    skipFirst->setChecked(s.SkipNextTime != 0);
    warnDate->setText(DateText(s.AdvanceWarnDate));
    warnTime->setText(TimeText(s.AdvanceWarnTime));
    alarm->setChecked(s.Alarm != 0);
    wavFile->setText(QString::fromStdString(s.AlarmFile.str()));
    warn->setChecked(s.Warn != 0);
    skipIfMissed->setChecked(s.SkipIfMissed != 0);
    userSkip->setChecked(s.UserSkip != 0);
    skipIfScript->setChecked(s.SkipIfScriptActive != 0);
    noHistory->setChecked(s.NoHistory != 0);
    disable->setChecked(s.Disabled != 0);
    ShowScheduleType();
    AlarmRule(false);
}

void WizardSchedulePages::Store() {
    Schedule& s = SCH();
    s.Category = category->currentText().toStdString();
    s.Description = description->text().toStdString();
    if (options_.scheduleChoice) {
        for (int i = 0; i < 6; ++i)
            if (type[i]->isChecked()) s.ScheduleType = kFormScheduleTypes[i];
        for (int i = 0; i < 7; ++i) *DayField(i) = day[i]->isChecked() ? 1 : 0;
        for (int i = 0; i < 5; ++i) *OrdinalField(i) = ordinal[i]->isChecked() ? 1 : 0;
        s.LastDayofMonth = monthEnd->isChecked() ? 1 : 0;
        s.MonthRepeat = repeat->currentText().toStdString();
        s.Offset = offset->text().toInt();
        s.Every = every->text().toInt();
        s.EveryType = everyType->currentText().toStdString();
    }
    s.Date = ReadDate(date, s.Date);
    s.Time = ReadTime(time, s.Time);
    s.SkipNextTime = skipFirst->isChecked() ? 1 : 0;
    s.AdvanceWarnDate = ReadDate(warnDate, s.AdvanceWarnDate);
    s.AdvanceWarnTime = ReadTime(warnTime, s.AdvanceWarnTime);
    s.Alarm = alarm->isChecked() ? 1 : 0;
    s.AlarmFile = wavFile->text().toStdString();
    s.Warn = warn->isChecked() ? 1 : 0;
    s.SkipIfMissed = skipIfMissed->isChecked() ? 1 : 0;
    s.UserSkip = userSkip->isChecked() ? 1 : 0;
    if (options_.skipIfScriptBox) s.SkipIfScriptActive = skipIfScript->isChecked() ? 1 : 0;
    s.NoHistory = noHistory->isChecked() ? 1 : 0;
    s.Disabled = disable->isChecked() ? 1 : 0;
}

void WizardSchedulePages::ShowScheduleType() {
    if (!options_.scheduleChoice) return;
    const ScheduleTypeView v = ApplyScheduleType(SCH());
    everyGroup->setTitle(QString::fromStdString(v.groupCaption));
    for (QCheckBox* c : day) {
        c->setVisible(v.weekdays);
        c->setEnabled(v.ordinalsEnabled || !v.ordinals);
    }
    for (QCheckBox* c : ordinal) {
        c->setVisible(v.ordinals);
        c->setEnabled(v.ordinalsEnabled);
    }
    monthEnd->setVisible(v.ordinals);
    for (QWidget* w : {static_cast<QWidget*>(repeat), static_cast<QWidget*>(offsetLabel),
                       static_cast<QWidget*>(offset), static_cast<QWidget*>(tips)})
        w->setVisible(v.repeat);
    for (QWidget* w : {static_cast<QWidget*>(offsetLabel), static_cast<QWidget*>(offset),
                       static_cast<QWidget*>(tips)})
        w->setEnabled(v.offsetEnabled);
    for (QWidget* w : {static_cast<QWidget*>(everyLabel), static_cast<QWidget*>(every),
                       static_cast<QWidget*>(everyType)})
        w->setVisible(v.every);
    except->setVisible(v.except);
    repeat->setCurrentText(QString::fromStdString(Trim(SCH().MonthRepeat.str())));
}

void WizardSchedulePages::AlarmRule(bool fill) { alarmGroup.Rule(fill); }

bool WizardSchedulePages::TakeSelected(QObject* c) { return alarmGroup.TakeSelected(c); }

void WizardSchedulePages::StartWarning(bool fromRecord) { warning_.Start(SCH(), !fromRecord); }

void WizardAlarm::Rule(bool fill) {
    const bool on = alarm->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(wavLabel), static_cast<QWidget*>(wavFile),
                       static_cast<QWidget*>(wavBrowse), static_cast<QWidget*>(play)})
        w->setEnabled(on);
    if (!on || !fill || !options_.keepLastWav) return;
    SCH().AlarmFile = wavFile->text().toStdString();
    KeepLastWav(options_.alarmLastWavInIni, FillAlarmFile(SCH(), LastWav(options_.alarmLastWavInIni)));
    wavFile->setText(QString::fromStdString(SCH().AlarmFile.str()));
}

// The WAV field entered or left: a blank one takes the last WAV file, a
// chosen one becomes the last.
void WizardAlarm::WavFieldRule() {
    if (!alarm->isChecked() || !options_.keepLastWav) return;
    SCH().AlarmFile = wavFile->text().toStdString();
    KeepLastWav(options_.fieldLastWavInIni, FillAlarmFile(SCH(), LastWav(options_.fieldLastWavInIni)));
    wavFile->setText(QString::fromStdString(SCH().AlarmFile.str()));
}

bool WizardAlarm::TakeSelected(QObject* c) {
    if (c != wavFile) return false;
    WavFieldRule();
    return true;
}

bool WizardAlarm::TakeAccepted(QObject* c) {
    if (c == alarm) {
        Rule(true);
    } else if (c == wavFile) {
        WavFieldRule();
    } else if (c == wavBrowse) {
        BrowseWav();
    } else if (c == play) {
        if (wavFile->text().trimmed().isEmpty()) BrowseWav();
        else if (!PlaySoundAsync(wavFile->text().toStdString())) wavBrowse->setFocus();
    } else {
        return false;
    }
    return true;
}

// Finish's pass over every control comes here too: it neither repeats the
// warning nor puts the default advance warning over one the user set after
// the date (the default follows only a changed date or time).
// The time only moves the default advance warning: the schedule check is the
// date's.
void WizardSchedulePages::DateAccepted(bool dateControl) {
    StoreAll();
    Schedule& s = SCH();
    const bool acceptingAll = owner_ && owner_->AcceptingAll();
    if (dateControl && !acceptingAll && s.Date != 0 && !DateFitsSchedule(s, s.Date))
        Message("Date given does not match schedule type.", "Warning", MessageIcon::Exclamation);
    // A task without a date has no moment to warn ahead of.
    if (s.Date != 0) warning_.Apply(s, ReadWarningDefaults(Options().ININame.get()));
    ShowAll();
}

bool WizardSchedulePages::TakeAccepted(QObject* c) {
    QWidget* window = owner_ ? owner_->Window() : nullptr;
    if (!options_.scheduleChoice) {
        // The schedule's controls are not shown: Finish's pass over them
        // must not change the buffer's schedule.
        auto* w = qobject_cast<QWidget*>(c);
        if (w && (everyGroup->isAncestorOf(w) || std::find(std::begin(type), std::end(type), w) != std::end(type)))
            return true;
    }
    for (QRadioButton* r : type)
        if (c == r) {
            StoreAll();
            ShowScheduleType();
            return true;
        }
    if ((c == monthEnd && options_.monthEndAtOnce) || c == repeat) {
        StoreAll();
        if (c == repeat) ApplyMonthRepeat(SCH());
        ShowScheduleType();
        return true;
    }
    if (c == every || c == everyType) {
        // Not while OK accepts every control: the user's No History counts then.
        if (owner_ && owner_->AcceptingAll()) return true;
        StoreAll();
        ApplyEveryRule(SCH());
        noHistory->setChecked(SCH().NoHistory != 0);
        return true;
    }
    if (c == date || c == time) {
        DateAccepted(c == date);
        return true;
    }
    if (c == warnDate || c == warnTime) {
        StoreAll();
        if (ClearWarningAfterTask(SCH())) {
            ShowAll();
            Message("Advanced Warning cannot be after scheduled task.", "", MessageIcon::Exclamation);
        }
        return true;
    }
    if (c == datePick || c == warnPick) {
        StoreAll();
        const bool next = c == datePick;
        QPointer<QWidget> w = window;
        Calendar(next ? SCH().Date : SCH().AdvanceWarnDate, next ? "" : "None", "Select Date",
                 [this, w, next](int32_t chosen) {
                     if (!w || chosen == 0) return;
                     (next ? date : warnDate)->setText(DateText(chosen));
                     if (next) DateAccepted(true);
                 });
        return true;
    }
    if (c == except) {
        StoreAll();
        QPointer<QWidget> w = window;
        UpdateSchedule_ExceptionsWindow([this, w] {
            if (w) ShowAll();
        });
        return true;
    }
    if (c == tips) {
        Message(kOffsetTips, "Offset Tips");
        return true;
    }
    if (alarmGroup.TakeAccepted(c)) return true;
    return c == category || c == description || c == skipFirst || c == monthEnd || c == offset || c == warn ||
           c == skipIfMissed || c == userSkip || c == skipIfScript || c == noHistory || c == disable;
}

void WizardAlarm::BrowseWav() {
    const std::string ini = Options().ININame.get();
    std::string start = GetIniValue(ini, "Defaults", "WAVPath", "");
    if (Trim(start).empty()) start = std::filesystem::current_path().string();
    const auto file = ChooseFile(owner_ ? owner_->Window() : nullptr, options_.wavDialogTitle, start,
                                 {"WAV Files (*.[wW][aA][vV])", "All Files (*)"});
    if (!file) return;
    wavFile->setText(QString::fromStdString(*file));
    if (options_.rememberWavFolder)
        PutIniValue(ini, "Defaults", "WAVPath", std::filesystem::path(*file).parent_path().string());
}

}  // namespace kr::tasks
