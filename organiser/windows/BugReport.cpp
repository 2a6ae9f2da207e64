// The bug report: the return address (the Sender setting, in memory only),
// the comments, the configuration lines rebuilt at the timer tick and by
// "&Reset", and the send with the optional data file and event log.
#include "organiser/windows/BugReport.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <filesystem>
#include <memory>

#include "dictionary/EventLog.h"
#include "dictionary/SchedulingTables.h"
#include "dictionary/Settings.h"
#include "organiser/BugReportText.h"
#include "organiser/MailSender.h"
#include "organiser/MailSettings.h"
#include "organiser/MailWorker.h"
#include "organiser/SendEmailMessage.h"
#include "platform/data/DataFileCopy.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/Value.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/ActivityText.h"
#include "scheduler/ScriptValues.h"
#include "tasks/windows/ListWindowParts.h"

namespace kr::organiser {

namespace {

using tasks::FootRow;
using tasks::MakeButton;

constexpr const char* kDataFileName = "KR97.TPS";

std::string Flag(const std::atomic<uint8_t>& f) { return std::to_string(f.load()); }
std::string Number(const std::atomic<int32_t>& n) { return std::to_string(n.load()); }

// The current value of each named global that the program keeps; the rest
// are globals of the original program that have no counterpart here and
// are sent empty.
std::string CurrentValue(const std::string& name) {
    static const std::map<std::string, std::function<std::string()>> values = {
        {"BurstSize", [] { return Flag(Options().BurstSize); }},
        {"DebugMode", [] { return Flag(Options().DebugMode); }},
        {"Email:Host", [] { return ClipRight(Options().Email_Host.get()); }},
        {"Email:Organization", [] { return ClipRight(Options().Email_Organization.get()); }},
        {"Email:Sender", [] { return ClipRight(Options().Email_Sender.get()); }},
        {"Email:SenderName", [] { return ClipRight(Options().Email_SenderName.get()); }},
        {"FullSchedule", [] { return Flag(Options().FullSchedule); }},
        {"GlobalActiveOnly", [] { return Flag(Options().GlobalActiveOnly); }},
        {"GlobalDateFormat", [] { return Options().GlobalDateFormat.get(); }},
        {"GlobalUseLog", [] { return Flag(Options().GlobalUseLog); }},
        {"GlobalDelay", [] { return Number(Options().GlobalDelay); }},
        {"GlobalRequest", [] { return std::to_string(GlobalRequest()); }},
        {"GlobalResponse", [] { return std::to_string(GlobalResponse()); }},
        {"HideToolbar", [] { return Flag(Options().HideToolbar); }},
        {"HistoryExpires", [] { return Number(Options().HistoryExpires); }},
        {"ININame", [] { return Options().ININame.get(); }},
        {"MailProgressText", [] { return ActivityText(); }},
        {"MaxAlarmTime", [] { return Number(Options().MaxAlarmTime); }},
        {"MaxClipboardEntries", [] { return Number(Options().MaxClipboardEntries); }},
        {"MaximizeOnRun", [] { return Flag(Options().MaximizeOnRun); }},
        {"MinimizeOnCloseRequest", [] { return Flag(Options().MinimizeOnCloseRequest); }},
        {"MonitorClipboard", [] { return Flag(Options().MonitorClipboard); }},
        {"MultiUser", [] { return Flag(Options().MultiUser); }},
        {"News:Host", [] { return Options().News_Host.get(); }},
        {"News:Organization", [] { return Options().News_Organization.get(); }},
        {"News:Password", [] { return DefaultNewsAccount().password; }},
        {"News:Sender", [] { return Options().News_Sender.get(); }},
        {"News:SenderName", [] { return Options().News_SenderName.get(); }},
        {"News:User", [] { return DefaultNewsAccount().user; }},
        {"NoTray", [] { return Flag(Options().NoTray); }},
        {"OriginalPath", [] { return std::filesystem::current_path().string(); }},
        {"RemoveUncompleted", [] { return Flag(Options().RemoveUncompleted); }},
        {"RepeatAlarmInterval", [] { return Number(Options().RepeatAlarmInterval); }},
        {"ReportIncludeFutureOccurances", [] { return Flag(Options().ReportIncludeFutureOccurances); }},
        {"SaveScripts", [] { return Flag(Options().SaveScripts); }},
        {"SnoozeInterval", [] { return Number(Options().SnoozeInterval); }},
        {"StartUpActive", [] { return Flag(Options().StartUpActive); }},
        {"StartupClipboardSaver", [] { return Flag(Options().StartupClipboardSaver); }},
        {"StartupContacts", [] { return Flag(Options().StartupContacts); }},
        {"StartUpMinimized", [] { return Flag(Options().StartUpMinimized); }},
        {"StartUpSchedule", [] { return Flag(Options().StartUpSchedule); }},
        {"StartUpTodo", [] { return Flag(Options().StartUpTodo); }},
        {"TranslateFilenames", [] { return Flag(Options().TranslateFilenames); }},
        {"UseExternalMessage", [] { return Flag(Options().UseExternalMessage); }},
        {"UseModalMessage", [] { return Flag(Options().UseModalMessage); }},
        {"UserID", [] { return Options().UserID.get(); }},
        {"UserName", [] { return Options().UserName.get(); }},
        {"UseWinMessage", [] { return Flag(Options().UseWinMessage); }},
    };
    auto v = values.find(name);
    return v == values.end() ? std::string() : v->second();
}

struct BugReportLayout {
    QWidget* window = nullptr;
    QLineEdit* sender = nullptr;
    QPlainTextEdit* comments = nullptr;
    QListWidget* info = nullptr;
    QCheckBox *database = nullptr, *log = nullptr;
    QLabel* clock = nullptr;
    QPushButton *send = nullptr, *reset = nullptr, *close = nullptr;

    void Build() {
        window = new QWidget;
        window->setWindowTitle("Bug Reporting");
        window->resize(620, 560);
        auto* v = new QVBoxLayout(window);
        sender = new QLineEdit(window);
        sender->setObjectName("sender");
        sender->setMaxLength(255);
        auto* senderPrompt = new QLabel("Before proceeding, make sure that your return email address is correct:", window);
        senderPrompt->setBuddy(sender);
        v->addWidget(senderPrompt);
        v->addWidget(sender);
        comments = new QPlainTextEdit(window);
        comments->setObjectName("comments");
        auto* commentsPrompt = new QLabel("Enter your bug report or comments here:", window);
        commentsPrompt->setBuddy(comments);
        v->addWidget(commentsPrompt);
        v->addWidget(comments, 2);
        info = new QListWidget(window);
        info->setObjectName("info");
        auto* infoPrompt = new QLabel("This information will be sent:", window);
        infoPrompt->setBuddy(info);
        v->addWidget(infoPrompt);
        v->addWidget(info, 2);
        database = new QCheckBox("Include Full Database", window);
        database->setObjectName("database");
        log = new QCheckBox("Include Log File", window);
        log->setObjectName("log");
        clock = new QLabel(window);
        clock->setObjectName("clock");
        auto* boxes = new QHBoxLayout;
        boxes->addWidget(database);
        boxes->addWidget(log);
        boxes->addStretch();
        boxes->addWidget(clock);
        v->addLayout(boxes);
        send = MakeButton(window, "&Send", "send");
        send->setDefault(true);
        reset = MakeButton(window, "&Reset", "reset");
        close = MakeButton(window, "Cl&ose", "close", "EXIT.ICO");
        v->addLayout(FootRow({send, reset, close}));
    }
};

class BugReportWindow : public WindowManager {
public:
    BugReportWindow() : WindowManager(kBugReportProcedure) { SetSavePosition(true, true); }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetCancelControl(ui.close);
        ui.sender->setText(QString::fromStdString(ClipRight(Options().Email_Sender.get())));
        SetTimer(100);
        TakeTimer();
        return true;
    }
    void TakeOpened() override { ui.comments->setFocus(); }
    void TakeTimer() override {
        ui.clock->setText(QString::fromStdString(Format(Value(ClockTime()), "@t6")) + "  " +
                          QString::number(++counter_));
        if (ui.info->count() > 0) return;
        counter_ = 0;
        std::vector<std::pair<std::string, std::string>> script;
        for (const ScriptValue& s : ScriptValues().Entries()) script.emplace_back(s.Name, s.StringValue);
        for (const std::string& l : BugReportLines(CurrentValue, script)) ui.info->addItem(QString::fromStdString(l));
    }
    void TakeAccepted(QObject* c) override {
        if (c == ui.sender) {
            // The correction holds until the program ends; only the Options
            // window stores it.
            const std::string sender = ui.sender->text().toStdString();
            Options().Email_Sender = sender;
        } else if (c == ui.reset) {
            ui.info->clear();
        } else if (c == ui.send) {
            Send();
        }
    }
    bool TakeCloseRequest() override { return !sending_; }

private:
    void Send() {
        if (sending_) return;
        TakeAccepted(ui.sender);
        // Read now, so that an INI corrected while the window is open counts.
        const std::string ini = Options().ININame.get();
        const SupportContact support = ReadSupportContact(ini);
        if (support.address.empty()) {
            Message(NoSupportAddressText(ini), "Bug Reporting", MessageIcon::Exclamation);
            return;
        }
        const OptionGlobals& o = Options();
        const MailScriptServices services = CurrentMailScriptServices();
        auto value = [services](const std::string& name, const std::string& v) {
            if (services.setScriptVariable) services.setScriptVariable(name, v);
        };
        auto sender = std::make_shared<MailSender>();
        sender->Init();
        sender->SetServerMode(1);
        sender->SetDebugFile(kMailTraceFile);
        const std::string host = ClipRight(o.Email_Host.get());
        sender->SetMailHost(host);
        value("EmailHost", host);
        const std::string name = ClipRight(o.Email_SenderName.get());
        if (!name.empty()) sender->SetFrom(name);
        value("EmailSenderName", name);
        const std::string from = ClipRight(o.Email_Sender.get());
        if (!from.empty()) sender->SetReturnPath(from);
        value("EmailReturnPath", from);
        if (!ClipRight(o.Email_Organization.get()).empty()) sender->SetOrganization(ClipRight(o.Email_Organization.get()));
        sender->SetMailer(kMailerName);
        sender->SetSubject(kBugReportSubjectStart + name);
        sender->AddTo(support.name, support.address);
        std::vector<std::string> lines;
        for (int i = 0; i < ui.info->count(); ++i) lines.push_back(ui.info->item(i)->text().toStdString());
        sender->SetMessageText(BugReportBody(ui.comments->toPlainText().toStdString().substr(0, kBugReportBodySize),
                                             lines, ListFolder(".")),
                               6);
        if (ui.database->isChecked()) {
            std::string error;
            const std::string copy = CopyOfDataFile(&error);
            if (copy.empty()) {
                Message("The data file could not be attached:\r\n" + error, "Bug Reporting", MessageIcon::Exclamation);
                sender->Kill();
                return;
            }
            sender->AddAttachment(copy, 8);
        }
        if (ui.log->isChecked()) sender->AddAttachment(std::filesystem::path(EventLogPath()).filename().string(), 8);

        sending_ = true;
        ui.send->setEnabled(false);
        SetActivityText(kSendingEmailText);
        StartMailSend(sender, this, [this, value](int32_t result, std::shared_ptr<MailSender> m) {
            SetActivityText("");
            sending_ = false;
            ui.send->setEnabled(true);
            copyFolder_.reset();
            if (result == 0) {
                LogEvent("Mail", "Sent to Vexel Works");
                value("Mail", "Sent");
                value("MailError", "None");
                m->Kill();
                CloseNow();
                return;
            }
            const std::string error = m->ErrorText(result);
            LogEvent("Mail Error", "Error:  " + error);
            LogEvent("Mail Error", "Could not send to Vexel Works");
            value("Mail", "Error");
            value("MailError", error);
            m->Kill();
            // The comments stay for another try.
            Message("The bug report could not be sent:\r\n" + error, "Mail Error", MessageIcon::Exclamation);
        });
    }
    // A copy of the data file taken inside a read transaction, named as the
    // data file, in a folder of its own; empty when none could be taken.
    std::string CopyOfDataFile(std::string* error) {
        copyFolder_ = std::make_unique<QTemporaryDir>();
        if (!copyFolder_->isValid()) {
            *error = "No temporary folder.";
            return {};
        }
        const std::string target = QDir(copyFolder_->path()).filePath(kDataFileName).toStdString();
        switch (data::CopyDataFileConsistently(kDataFileName, target, {kOwnerPassword, ""}, error)) {
            case data::DataCopy::Copied:
                return target;
            case data::DataCopy::NotADatabase: {
                std::error_code ec;
                if (std::filesystem::copy_file(kDataFileName, target, ec)) return target;
                *error = ec.message();
                return {};
            }
            case data::DataCopy::Failed:
                break;
        }
        return {};
    }

    BugReportLayout ui;
    int counter_ = 0;
    bool sending_ = false;
    std::unique_ptr<QTemporaryDir> copyFolder_;
};

}  // namespace

void BugReport() { (new BugReportWindow)->OpenOrCall(); }

void RegisterBugReport() { RegisterProcedure(kBugReportProcedure, [] { BugReport(); }); }

}  // namespace kr::organiser
