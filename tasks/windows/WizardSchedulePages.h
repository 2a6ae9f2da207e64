// The pages every task wizard shares: When (the schedule type and its
// recurrence, the next date and time, the advance warning), Category (the
// category and description) and Advanced (the alarm and the run options).
// The pages bind to the Schedule buffer: Show puts the buffer into the
// controls, Store takes them back. A wizard builds them, places them in its
// own page order, hands each accepted control to TakeAccepted and keeps its
// own pages and page flow. WizardPageOptions says where wizards differ.
#pragma once

#include <QPointer>
#include <functional>
#include <string>

#include "tasks/TaskEditorRules.h"
#include "tasks/TaskWizardPages.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QBoxLayout;
class QObject;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace kr {
class RequiredFields;
class WindowManager;
}

namespace kr::tasks {

struct WizardPageOptions {
    const char* whenHeading = "When to do it...";
    const char* advancedHeading = "Alarm and advanced options...";
    // Where the last WAV file is kept: the program INI's [Settings]
    // "LastWAVFile", else the settings store's "LastWAVFile". The Alarm box
    // and the WAV field may keep it apart.
    bool alarmLastWavInIni = true;
    bool fieldLastWavInIni = true;
    bool rememberWavFolder = true;  // [Defaults] "WAVPath" of the WAV Browse
    bool monthEndAtOnce = false;    // Month End greys the other boxes as it is ticked
    const char* wavDialogTitle = "Select WAV File for Alarm";
    // A blank WAV file takes the last one and a chosen one is kept as the
    // last (off: the alarm only enables its controls).
    bool keepLastWav = true;
    // The When page's schedule type and recurrence; without them the page
    // asks the date, time and advance warning alone and leaves the
    // schedule's fields of the buffer as they are.
    bool scheduleChoice = true;
    const char* skipFirstText = "&Skip First Time";
    const char* userSkipText = "&Before performing task, give option to skip";
    // The Advanced page's boxes below the alarm, and among them "Skip if a
    // script is running" (left out: its field stays as it is).
    bool runOptions = true;
    bool skipIfScriptBox = true;
};
// The options of the general, program and message wizards.
WizardPageOptions PageOptionsOf(TaskWizard w);

// The alarm of a wizard page: the Alarm box, the WAV file with its Browse
// and Play, and their rules over the buffer's SCH:Alarm and SCH:AlarmFile.
class WizardAlarm {
public:
    QCheckBox* alarm = nullptr;
    QLabel* wavLabel = nullptr;
    QLineEdit* wavFile = nullptr;
    QPushButton *wavBrowse = nullptr, *play = nullptr;

    // Makes the controls in the grid from row on; returns the next free row.
    int Build(const WizardPageOptions& options, QWidget* page, QGridLayout* grid, int row);
    // The window that asks the file dialog.
    void Attach(WindowManager* owner) { owner_ = owner; }
    // The Alarm box: enables the WAV controls; with fill, a blank file takes
    // the last WAV file and a chosen one is kept as the last.
    void Rule(bool fill);
    bool TakeAccepted(QObject* control);
    bool TakeSelected(QObject* control);

private:
    void WavFieldRule();
    void BrowseWav();

    WizardPageOptions options_;
    WindowManager* owner_ = nullptr;
};

// What every wizard window has below its pages: Back, Next, Finish and
// Cancel, right-aligned in a row added to the layout.
void AddWizardButtons(QWidget* window, QBoxLayout* layout, QPushButton*& back, QPushButton*& next,
                      QPushButton*& finish, QPushButton*& cancel);
struct WizardButtons {
    QPushButton *back = nullptr, *next = nullptr, *finish = nullptr, *cancel = nullptr;
    void Build(QWidget* window, QBoxLayout* layout) { AddWizardButtons(window, layout, back, next, finish, cancel); }
};

// A message edited in a text box, with the CR LF line breaks it is stored with.
std::string StoredMessage(const QPlainTextEdit* editor);
// Completes and re-dates a task about to be stored (the settings' user, the
// user's date format and the holidays).
void CompleteEditedTask(Schedule& SCH);

class WizardSchedulePages {
public:
    // The pages; a wizard adds them to its stack in its own order (or leaves
    // one with its window, hidden, when it does not use it).
    QWidget *whenPage = nullptr, *categoryPage = nullptr, *advancedPage = nullptr;

    // Category page.
    QComboBox* category = nullptr;
    QLineEdit* description = nullptr;
    // When page.
    QGroupBox* typeGroup = nullptr;  // "Schedule &Type"
    QRadioButton* type[6] = {};
    QGroupBox* everyGroup = nullptr;
    QCheckBox* day[7] = {};
    QCheckBox* ordinal[5] = {};
    QCheckBox* monthEnd = nullptr;
    QComboBox *repeat = nullptr, *everyType = nullptr;
    QLabel *everyLabel = nullptr, *offsetLabel = nullptr, *dateLabel = nullptr, *timeLabel = nullptr;
    QLineEdit *every = nullptr, *offset = nullptr, *date = nullptr, *time = nullptr, *warnDate = nullptr,
              *warnTime = nullptr;
    QCheckBox* skipFirst = nullptr;
    QPushButton *except = nullptr, *tips = nullptr, *datePick = nullptr, *warnPick = nullptr;
    // Advanced page.
    WizardAlarm alarmGroup;  // its controls also as alarm, wavLabel, wavFile, wavBrowse, play
    QCheckBox* alarm = nullptr;
    QLabel* wavLabel = nullptr;
    QLineEdit* wavFile = nullptr;
    QPushButton *wavBrowse = nullptr, *play = nullptr;
    QCheckBox *warn = nullptr, *skipIfMissed = nullptr, *userSkip = nullptr, *skipIfScript = nullptr,
              *noHistory = nullptr, *disable = nullptr;

    // Makes the three pages. With categoryHost the category and description
    // go into that grid at categoryRow and the next row instead of the
    // Category page (the message wizard asks them with the message).
    void Build(const WizardPageOptions& options, QWidget* categoryHost = nullptr,
               QGridLayout* categoryGrid = nullptr, int categoryRow = 1);

    // After the window is open: the window that asks the dialogs, and the
    // owner's whole Store and Show, which the field reactions run around a
    // change of the buffer (so the owner's own controls follow too).
    void Attach(WindowManager* owner, std::function<void()> storeAll, std::function<void()> showAll);
    // The categories in key order into the drop list (Categories open).
    void FillCategories();
    // Marks Every, the next date and time and the alarm file required, with
    // their prompts and messages.
    void AddRequiredFields(RequiredFields& required);

    // The buffer into the pages' controls and back.
    void Show();
    void Store();
    // The When page for the buffer's schedule type.
    void ShowScheduleType();
    // The Alarm box: enables the WAV controls; with fill, a blank file takes
    // the last WAV file and a chosen one is kept as the last.
    void AlarmRule(bool fill);
    // A control of the pages accepted; false when it is none of theirs.
    bool TakeAccepted(QObject* control);
    // A control of the pages got the focus (the WAV field fills at once).
    bool TakeSelected(QObject* control);
    // The default advance warning follows a changed next date or time; a
    // wizard that edits an existing record starts from the buffer's moment
    // (call after the buffer is loaded), a new one from none.
    void StartWarning(bool fromRecord);

    // Dates in the user's picture, times as hh:mm.
    QString DateText(int32_t d) const;
    static QString TimeText(int32_t t);

private:
    // The next date (or, with dateControl false, the time) accepted.
    void DateAccepted(bool dateControl);
    void StoreAll() const;
    void ShowAll() const;
    int32_t ReadDate(QLineEdit* e, int32_t keep) const;
    static int32_t ReadTime(QLineEdit* e, int32_t keep);

    WizardPageOptions options_;
    WindowManager* owner_ = nullptr;
    std::function<void()> storeAll_, showAll_;
    WarningTracker warning_;
    std::string datePicture_ = "@d17";
};

}  // namespace kr::tasks
