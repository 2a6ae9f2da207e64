#include "dictionary/windows/Setup.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "dictionary/GlobalErrors.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/fPasswordValidation.h"
#include "organiser/MailSender.h"
#include "organiser/MailSettings.h"
#include "organiser/MailWorker.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/WindowPosition.h"

namespace kr {

namespace {

constexpr const char* kInactiveWarning =
    "The task scheduler has been \"inactivated\" using the /I command line parameter.";
constexpr const char* kGeneralInfo =
    "Tasks will be skipped if the system date is greater than the task date by the number of days set here "
    "(default is 1).  Kairoll will optionally issue a warning (determined by the \"Warn if not run on specified "
    "date\" checkbox in Update Schedule, Advanced Settings).";
constexpr const char* kScriptingInfo =
    "This applies to starting programs from within scripting.  When \"Display Message\", \"File Action\", and "
    "\"Send Email\" script actions are processed, the file names and paths are \"translated\" using the values set "
    "internally or by the \"Set Value\" script action.\n\n"
    "An example would be to copy a file to another file named using today's date: \"File Action: Copy File "
    "c:\\this.txt d:\\[DATE].txt\". \n\n"
    "Leave this option unchecked if you need to send a literal \"[\" to the programs you are starting. ";
constexpr const char* kDateFormatInfo =
    "Date format changes will not affect currently open windows.  You can close and re-open windows, or exit and "
    "restart Kairoll to view information using the new date format.";

QCheckBox* Check(QWidget* parent, const char* text, const char* name) {
    auto* c = new QCheckBox(QString::fromUtf8(text), parent);
    c->setObjectName(QString::fromUtf8(name));
    return c;
}

QSpinBox* Spin(QWidget* parent, int lo, int hi, const char* name) {
    auto* s = new QSpinBox(parent);
    s->setRange(lo, hi);
    s->setObjectName(QString::fromUtf8(name));
    return s;
}

QLineEdit* Entry(QWidget* parent, int maxLength, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setMaxLength(maxLength);
    e->setObjectName(QString::fromUtf8(name));
    return e;
}

// A prompt with its example after it in parentheses.
QLabel* Prompt(QWidget* parent, const char* prompt, const char* example) {
    return new QLabel(QString::fromUtf8(prompt) + QStringLiteral(" (") + QString::fromUtf8(example) + ")", parent);
}

// The control shows the flag and writes it back on every change.
void BindFlag(QCheckBox* box, OptionFlag& flag) {
    box->setChecked(flag.load() != 0);
    QObject::connect(box, &QCheckBox::toggled, box, [&flag](bool on) { flag = on ? 1 : 0; });
}

void BindLong(QSpinBox* spin, OptionLong& value) {
    spin->setValue(value.load());
    QObject::connect(spin, &QSpinBox::valueChanged, spin, [&value](int v) { value = v; });
}

template <std::size_t N>
void BindText(QLineEdit* entry, OptionText<N>& text) {
    entry->setText(QString::fromStdString(ClipRight(text.get())));
    QObject::connect(entry, &QLineEdit::textChanged, entry,
                     [&text](const QString& v) { text = v.toStdString(); });
}

}  // namespace

void SetupLayout::Build() {
    // A dialog, so that it opens over the frame that calls it.
    window = new QWidget(nullptr, Qt::Dialog);
    window->setWindowTitle(QStringLiteral("Options"));
    auto* outer = new QVBoxLayout(window);
    sheet = new QTabWidget(window);
    sheet->setObjectName(QStringLiteral("sheet"));
    sheet->setUsesScrollButtons(false);  // all eight tabs in view
    outer->addWidget(sheet);

    // Start Up
    auto* startUp = new QWidget;
    auto* su = new QVBoxLayout(startUp);
    auto* viewGroup = new QGroupBox(QStringLiteral("\"View Schedule\" Defaults"), startUp);
    auto* vg = new QVBoxLayout(viewGroup);
    showSchedule = Check(viewGroup, "Show Schedule at start up", "showSchedule");
    fullSchedule = Check(viewGroup, "Show full schedule initially (\"All By Date\" tab)", "fullSchedule");
    activeOnly = Check(viewGroup, "Only show active tasks initially", "activeOnly");
    vg->addWidget(showSchedule);
    vg->addWidget(fullSchedule);
    vg->addWidget(activeOnly);
    su->addWidget(viewGroup);
    showToDo = Check(startUp, "Show To Do List at start up", "showToDo");
    showContacts = Check(startUp, "Show Contacts at start up", "showContacts");
    showClipboard = Check(startUp, "Show Clipboard Manager at start up", "showClipboard");
    startMinimized = Check(startUp, "Minimize at start up", "startMinimized");
    for (QWidget* w : {static_cast<QWidget*>(showToDo), static_cast<QWidget*>(showContacts),
                       static_cast<QWidget*>(showClipboard), static_cast<QWidget*>(startMinimized)})
        su->addWidget(w);
    su->addStretch();
    sheet->addTab(startUp, QStringLiteral("Start Up"));

    // General
    auto* general = new QWidget;
    auto* ge = new QVBoxLayout(general);
    auto* dateRow = new QHBoxLayout;
    auto* dateLabel = new QLabel(QStringLiteral("Display date in format:"), general);
    dateFormat = new QComboBox(general);
    dateFormat->setObjectName(QStringLiteral("dateFormat"));
    dateLabel->setBuddy(dateFormat);
    dateRow->addWidget(dateLabel);
    dateRow->addWidget(dateFormat);
    dateRow->addStretch();
    ge->addLayout(dateRow);
    noTray = Check(general, "Do not place in tray when minimized", "noTray");
    maximizeOnRun = Check(general, "Restore for \"Run Program\" tasks", "maximizeOnRun");
    maximizeOnRun->setToolTip(QStringLiteral("If iconized, restore before running a \"run program\" task"));
    minimizeOnClose = Check(general, "Minimize to system tray instead of exiting", "minimizeOnClose");
    minimizeOnClose->setToolTip(QStringLiteral("Minimize to system tray on \"Close Window\""));
    ge->addWidget(noTray);
    ge->addWidget(maximizeOnRun);
    ge->addWidget(minimizeOnClose);
    auto* skipRow = new QHBoxLayout;
    auto* skipLabel = new QLabel(QStringLiteral("Skip tasks if overdue by"), general);
    skipDays = Spin(general, 0, 999, "skipDays");
    skipDays->setSpecialValueText(QStringLiteral(" "));  // blank when 0
    skipLabel->setBuddy(skipDays);
    generalInfo = new QPushButton(QStringLiteral("Info"), general);
    generalInfo->setObjectName(QStringLiteral("generalInfo"));
    skipRow->addWidget(skipLabel);
    skipRow->addWidget(skipDays);
    skipRow->addWidget(new QLabel(QStringLiteral("day(s)"), general));
    skipRow->addWidget(generalInfo);
    skipRow->addStretch();
    ge->addLayout(skipRow);
    ge->addStretch();
    sheet->addTab(general, QStringLiteral("General"));

    // Messages
    auto* messages = new QWidget;
    auto* me = new QVBoxLayout(messages);
    useKRMsg = Check(messages, "Use external message program (\"start in new process\")", "useKRMsg");
    useModal = Check(messages, "Use \"Stay on top\" attribute for message windows", "useModal");
    me->addWidget(useKRMsg);
    me->addWidget(useModal);
    auto* mf = new QFormLayout;
    repeatAlarm = Spin(messages, 0, 9999, "repeatAlarm");
    maxAlarmTime = Spin(messages, 0, 9999, "maxAlarmTime");
    snooze = Spin(messages, 0, 9999, "snooze");
    auto withNote = [messages](QSpinBox* s, const char* note) {
        auto* row = new QHBoxLayout;
        row->addWidget(s);
        row->addWidget(new QLabel(QString::fromUtf8(note), messages));
        row->addStretch();
        return row;
    };
    mf->addRow(QStringLiteral("Repeat alarms every # seconds:"), withNote(repeatAlarm, "(0=do not repeat)"));
    mf->addRow(QStringLiteral("Maximum alarm time (minutes):"), withNote(maxAlarmTime, "(0=infinite)"));
    mf->addRow(QStringLiteral("Snooze interval (minutes):"), withNote(snooze, "(0=default)"));
    me->addLayout(mf);
    me->addStretch();
    sheet->addTab(messages, QStringLiteral("Messages"));

    // History
    auto* history = new QWidget;
    auto* hi = new QVBoxLayout(history);
    auto* expRow = new QHBoxLayout;
    auto* expLabel = new QLabel(QStringLiteral("Removed completed tasks after"), history);
    historyExpires = Spin(history, -99999, 999999, "historyExpires");
    expLabel->setBuddy(historyExpires);
    expRow->addWidget(expLabel);
    expRow->addWidget(historyExpires);
    expRow->addWidget(new QLabel(QStringLiteral("days"), history));
    expRow->addStretch();
    hi->addLayout(expRow);
    hi->addWidget(new QLabel(QStringLiteral("0 = never remove completed tasks."), history));
    hi->addWidget(new QLabel(QStringLiteral("-1 = remove completed tasks immediately"), history));
    removeUncompleted = Check(history, "Also remove uncompleted tasks", "removeUncompleted");
    logEvents = Check(history, "Log events to ASCII text file", "logEvents");
    logExitCodes = Check(history, "Log exit codes", "logExitCodes");
    hi->addWidget(removeUncompleted);
    hi->addWidget(logEvents);
    hi->addWidget(logExitCodes);
    hi->addStretch();
    sheet->addTab(history, QStringLiteral("History"));

    // Scripting
    auto* scripting = new QWidget;
    auto* sc = new QVBoxLayout(scripting);
    auto* sf = new QFormLayout;
    sf->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    sendInterval = Spin(scripting, 0, 999, "sendInterval");
    burstSize = Spin(scripting, 0, 999, "burstSize");
    sf->addRow(QStringLiteral("Send Interval (1/100ths of a second):"), sendInterval);
    sf->addRow(QStringLiteral("Maximum number of characters per send group:"), burstSize);
    sc->addLayout(sf);
    saveScripts = Check(scripting, "Save script information on completed tasks", "saveScripts");
    sc->addWidget(saveScripts);
    auto* trRow = new QHBoxLayout;
    translateFilenames = Check(scripting, "Translate \"values\" when starting a program", "translateFilenames");
    scriptingInfo = new QPushButton(QStringLiteral("Info"), scripting);
    scriptingInfo->setObjectName(QStringLiteral("scriptingInfo"));
    trRow->addWidget(translateFilenames);
    trRow->addWidget(scriptingInfo);
    trRow->addStretch();
    sc->addLayout(trRow);
    exclHidden = Check(scripting, "Exclude hidden windows in comparisons and lists", "exclHidden");
    newProc16 = Check(scripting, "Start each 16-bit application in a new process (NT Only)", "newProc16");
    sc->addWidget(exclHidden);
    sc->addWidget(newProc16);
    sc->addStretch();
    sheet->addTab(scripting, QStringLiteral("Scripting"));

    // Clipboard
    auto* clipboard = new QWidget;
    auto* cl = new QVBoxLayout(clipboard);
    monitorClipboard = Check(clipboard, "Monitor clipboard", "monitorClipboard");
    cl->addWidget(monitorClipboard);
    auto* entRow = new QHBoxLayout;
    auto* entLabel = new QLabel(QStringLiteral("Maximum number of entries to retain:"), clipboard);
    maxClipboardEntries = Spin(clipboard, 0, 999999, "maxClipboardEntries");
    entLabel->setBuddy(maxClipboardEntries);
    entRow->addWidget(entLabel);
    entRow->addWidget(maxClipboardEntries);
    entRow->addStretch();
    cl->addLayout(entRow);
    useExternalClipboard = Check(clipboard, "Use external Clipboard Manager", "useExternalClipboard");
    clipboardOnTop = Check(clipboard, "Stay on top (external Clipboard manager only)", "clipboardOnTop");
    cl->addWidget(useExternalClipboard);
    cl->addWidget(clipboardOnTop);
    cl->addStretch();
    sheet->addTab(clipboard, QStringLiteral("Clipboard"));

    // Email
    auto* email = new QWidget;
    auto* em = new QVBoxLayout(email);
    auto* ef = new QFormLayout;
    senderName = Entry(email, 254, "senderName");
    sender = Entry(email, 254, "sender");
    host = Entry(email, 254, "host");
    newsSender = Entry(email, 254, "newsSender");
    newsHost = Entry(email, 254, "newsHost");
    ef->addRow(Prompt(email, "Sender Name", "e.g. Jane Smith"), senderName);
    ef->addRow(Prompt(email, "Email Reply-to Address", "e.g. jane@example.com"), sender);
    ef->addRow(Prompt(email, "SMTP Mail Host", "e.g. mail.example.com"), host);
    ef->addRow(Prompt(email, "News Reply-to Address", "e.g. jane@example.com"), newsSender);
    ef->addRow(Prompt(email, "News Host", "e.g. news.example.com"), newsHost);
    em->addLayout(ef);
    auto* testRow = new QHBoxLayout;
    testSettings = new QPushButton(QStringLiteral("&Test Settings"), email);
    testSettings->setObjectName(QStringLiteral("testSettings"));
    testRow->addStretch();
    testRow->addWidget(testSettings);
    em->addLayout(testRow);
    em->addStretch();
    sheet->addTab(email, QStringLiteral("Email"));

    // Security
    auto* security = new QWidget;
    auto* se = new QVBoxLayout(security);
    se->addWidget(new QLabel(QStringLiteral("If the system is locked, you will need to enter a password"), security));
    se->addWidget(new QLabel(QStringLiteral("before you will be allowed to add, change, or delete tasks."), security));
    systemLocked = Check(security, "System Locked", "systemLocked");
    se->addWidget(systemLocked);
    auto* pf = new QFormLayout;
    password = Entry(security, 32, "password");
    confirm = Entry(security, 32, "confirm");
    password->setEchoMode(QLineEdit::Password);
    confirm->setEchoMode(QLineEdit::Password);
    pf->addRow(QStringLiteral("Password to lock/unlock system:"), password);
    pf->addRow(QStringLiteral("Confirm password:"), confirm);
    se->addLayout(pf);
    se->addStretch();
    sheet->addTab(security, QStringLiteral("Security"));

    auto* bottom = new QHBoxLayout;
    schedulerActive = Check(window, "Scheduler active", "schedulerActive");
    ok = new QPushButton(QStringLiteral("&OK"), window);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    cancel = new QPushButton(QStringLiteral("Cancel"), window);
    cancel->setObjectName(QStringLiteral("cancel"));
    bottom->addWidget(schedulerActive);
    bottom->addStretch();
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    outer->addLayout(bottom);
}

SetupWindow::SetupWindow() : WindowManager(kSetupProcedure) {}

QWidget* SetupWindow::MakeWindow() {
    ui_.Build();
    // Called from the tray menu too, where it does not restore the frame.
    ui_.window->setProperty(kShowsWithoutFrame, true);
    return ui_.window;
}

bool SetupWindow::Init() {
    SetOkControl(ui_.ok);
    SetCancelControl(ui_.cancel);
    const std::string pwd = ClipRight(Options().SysPwd.get());
    ui_.password->setText(QString::fromStdString(pwd));
    ui_.confirm->setText(QString::fromStdString(pwd));
    DefaultEmailSettings();
    Bind();
    tabs_.Init(ui_.window);
    tabs_.Refresh();
    return true;
}

void SetupWindow::Bind() {
    OptionGlobals& o = Options();
    // "Show Schedule at start up" edits the global, which is stored inverted.
    BindFlag(ui_.showSchedule, o.StartUpSchedule);
    BindFlag(ui_.fullSchedule, o.FullSchedule);
    BindFlag(ui_.activeOnly, o.GlobalActiveOnly);
    BindFlag(ui_.showToDo, o.StartUpTodo);
    BindFlag(ui_.showContacts, o.StartupContacts);
    BindFlag(ui_.showClipboard, o.StartupClipboardSaver);
    BindFlag(ui_.startMinimized, o.StartUpMinimized);
    BindFlag(ui_.noTray, o.NoTray);
    BindFlag(ui_.maximizeOnRun, o.MaximizeOnRun);
    BindFlag(ui_.minimizeOnClose, o.MinimizeOnCloseRequest);
    BindLong(ui_.skipDays, o.SkipIfDaysPassed);
    BindFlag(ui_.useKRMsg, o.UseExternalMessage);
    BindFlag(ui_.useModal, o.UseModalMessage);
    BindLong(ui_.repeatAlarm, o.RepeatAlarmInterval);
    BindLong(ui_.maxAlarmTime, o.MaxAlarmTime);
    BindLong(ui_.snooze, o.SnoozeInterval);
    BindLong(ui_.historyExpires, o.HistoryExpires);
    BindFlag(ui_.removeUncompleted, o.RemoveUncompleted);
    BindFlag(ui_.logEvents, o.GlobalUseLog);
    BindFlag(ui_.logExitCodes, o.LogExitCodes);
    // The send timing is a copy: it takes effect through OK only.
    ui_.sendInterval->setValue(o.GlobalDelay.load());
    ui_.burstSize->setValue(o.BurstSize.load());
    BindFlag(ui_.saveScripts, o.SaveScripts);
    BindFlag(ui_.translateFilenames, o.TranslateFilenames);
    BindFlag(ui_.exclHidden, o.ExclHidden);
    BindFlag(ui_.newProc16, o.NewProc16);
    BindFlag(ui_.monitorClipboard, o.MonitorClipboard);
    BindLong(ui_.maxClipboardEntries, o.MaxClipboardEntries);
    BindFlag(ui_.useExternalClipboard, o.CM_UseEx);
    BindFlag(ui_.clipboardOnTop, o.CM_OnTop);
    BindText(ui_.senderName, o.Email_SenderName);
    BindText(ui_.sender, o.Email_Sender);
    BindText(ui_.host, o.Email_Host);
    BindText(ui_.newsSender, o.News_Sender);
    BindText(ui_.newsHost, o.News_Host);
    BindFlag(ui_.systemLocked, o.SysLock);
    BindFlag(ui_.schedulerActive, o.StartUpActive);
    QObject::connect(ui_.schedulerActive, &QCheckBox::toggled, ui_.window, [this](bool) { activeChanged_ = true; });

    const bool locked = o.SysLock != 0;
    ui_.password->setEnabled(locked);
    ui_.confirm->setEnabled(locked);
    ui_.maxClipboardEntries->setEnabled(o.MonitorClipboard != 0);
    QObject::connect(ui_.systemLocked, &QCheckBox::toggled, ui_.window, [this](bool on) {
        ui_.password->setEnabled(on);
        ui_.confirm->setEnabled(on);
    });
    QObject::connect(ui_.monitorClipboard, &QCheckBox::toggled, ui_.window,
                     [this](bool on) { ui_.maxClipboardEntries->setEnabled(on); });
}

void SetupWindow::TakeOpened() {
    ui_.dateFormat->clear();
    for (const DateFormatEntry& e : kDateFormatList) ui_.dateFormat->addItem(QString::fromUtf8(e.name));
    const std::string current = DateFormatName(Options().GlobalDateFormat.get());
    // A code the list does not offer is shown by its own example.
    if (!current.empty() && DateFormatCode(current) != "" &&
        ui_.dateFormat->findText(QString::fromStdString(current)) < 0)
        ui_.dateFormat->addItem(QString::fromStdString(current));
    ui_.dateFormat->setCurrentIndex(ui_.dateFormat->findText(QString::fromStdString(current)));
    dateEntryOnOpening_ = current;
}

void SetupWindow::TakeAccepted(QObject* control) {
    if (control == ui_.generalInfo) {
        Message(kGeneralInfo, "Note");
    } else if (control == ui_.scriptingInfo) {
        Message(kScriptingInfo, "Info");
    } else if (control == ui_.testSettings) {
        SendTestMail();
    }
}

void SetupWindow::TakeNewSelection(QObject* control) {
    if (control == ui_.sheet) tabs_.Refresh();
}

OptionsEdits SetupWindow::Edits() const {
    OptionsEdits e;
    e.password = ui_.password->text().toStdString();
    e.confirm = ui_.confirm->text().toStdString();
    e.scriptingDelay = ui_.sendInterval->value();
    e.burstSize = ui_.burstSize->value();
    e.dateEntry = ui_.dateFormat->currentIndex() < 0 ? std::string() : ui_.dateFormat->currentText().toStdString();
    e.dateEntryOnOpening = dateEntryOnOpening_;
    e.schedulerActiveChanged = activeChanged_;
    return e;
}

void SetupWindow::SendTestMail() {
    OptionGlobals& o = Options();
    const std::string sender = Trim(o.Email_Sender.get());
    const std::string host = Trim(o.Email_Host.get());
    if (sender.empty() || host.empty()) {
        Message("You must enter your reply to address and mail host.", "Error");
        return;
    }
    if (sending_) return;
    const std::string name = Trim(o.Email_SenderName.get());
    const std::string org = Trim(o.Email_Organization.get());
    auto mail = std::make_shared<MailSender>();
    mail->Init();
    mail->SetServerMode(1);
    mail->SetDebugFile("inmail.log");
    mail->SetMailHost(host);
    mail->SetFrom(name.empty() ? sender : "\"" + name + "\" <" + sender + ">");
    mail->SetReturnPath(sender);
    if (!org.empty()) mail->SetOrganization(org);
    mail->SetMailer(std::string(kMailerName));
    mail->SetSubject(kTestMailSubject);
    mail->AddTo(name, sender);
    mail->SetMessageText("This is a test e-mail from " + name + "\r\nsent by " + std::string(kMailerName) +
                             " to check its mail settings.\r\n",
                         kMailMessageTypeText);
    // The send runs on a worker, so the scheduler's timer goes on meanwhile.
    sending_ = true;
    ui_.testSettings->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QPointer<QWidget> window = ui_.window;
    StartMailSend(mail, ui_.window, [this, window](int32_t result, std::shared_ptr<MailSender> sent) {
        // A window closed meanwhile has put the cursor back itself.
        if (!window || !sending_) return;
        QApplication::restoreOverrideCursor();
        sending_ = false;
        ui_.testSettings->setEnabled(true);
        if (result == kMailSent)
            Message("Test message sent without errors.", "Success");
        else
            Message("Test message not sent.\r\n\r\nError:  " + sent->ErrorText(result), "Warning");
    });
}

bool SetupWindow::TakeCompleted() {
    const OptionsEdits e = Edits();
    if (!LockPasswordsAgree(Options().SysLock != 0, e)) {
        Message("The system lock passwords do not match.", "Error");
        ui_.sheet->setCurrentWidget(ui_.password->parentWidget());
        ui_.password->setFocus();
        return false;
    }
    const OptionsSaveResult r = SaveOptions(e);
    if (r.dateFormatChanged) Message(kDateFormatInfo, "Information");
    return true;
}

void SetupWindow::TakeCancelled() {
    // Undoes what the bound controls changed.
    LoadSettings();
    WindowManager::TakeCancelled();
}

void SetupWindow::Kill() {
    tabs_.Kill();
    if (sending_) QApplication::restoreOverrideCursor();
    sending_ = false;
}

SetupWindow* Setup() {
    if (!fPasswordValidation()) return nullptr;
    GlobalErrors().SetProcedureName(kSetupProcedure);
    if (CommandLineHas("/I") && !CommandLineHas("/CONFIG")) Message(kInactiveWarning, "Warning");
    auto* w = new SetupWindow;
    QPointer<SetupWindow> guard = w;
    if (!w->Call()) return nullptr;
    return guard.data();
}

}  // namespace kr
