// UpdateScripting: one script item of the current task, or of the current
// template. One record layout serves sixteen actions; the rules of what each
// action keeps where live in ScriptItemRules, this window shows and collects
// them.
#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "dictionary/Dictionary.h"
#include "dictionary/OrganiserTables.h"
#include "platform/data/Table.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/AsciiViewer.h"
#include "platform/data/Errors.h"
#include "platform/desktop/WindowHelpers.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/BrowseList.h"
#include "platform/ui/Requests.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/WindowMatch.h"
#include "scriptedit/ScriptItemRules.h"
#include "scriptedit/ScriptItems.h"
#include "scriptedit/ScriptSequencer.h"
#include "scriptedit/ScriptTemplates.h"
#include "scriptedit/windows/ScriptPickLists.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::scriptedit {

namespace {

using data::kLevelBenign;

// The actions in the form's rows: Basic, Condition, Program, Other / Internet.
constexpr const char* kFormActions[16] = {
    "Send Keys",     "Set Focus",     "Wait",         "Display Message", "If Window...", "If Time Elapsed...",
    "If Value...",   "...End If",     "Start Program", "Close Program",  "Start Script", "DDE",
    "Send Email",    "Set Value",     "Exit Script",  "File Actions"};
constexpr const char* kRowNames[4] = {"Basic", "Condition", "Program", "Other /\nInternet"};
constexpr int kContainsSize = 40;

QStringList Items(const char* list) { return QString::fromLatin1(list).split('|'); }
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The combo box of a window title box. Its drop list is as wide as the
// longest title and class it shows (within the screen), and it remembers why
// it last got the focus: the focus coming back from its own drop list must
// not refill the list, or the row just chosen is gone before it reaches the
// field.
class WindowTitleBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    bool FocusBackFromList() const { return focusReason_ == Qt::PopupFocusReason; }
    void showPopup() override {
        auto* tree = static_cast<QTreeView*>(view());
        int width = 2 * tree->frameWidth() + tree->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, tree);
        for (int c = 0; c < model()->columnCount(); ++c) {
            tree->resizeColumnToContents(c);
            width += tree->columnWidth(c);
        }
        const QRect screenRect = screen()->availableGeometry();
        tree->setMinimumWidth(std::min(width, screenRect.width()));
        QComboBox::showPopup();
    }

protected:
    void focusInEvent(QFocusEvent* e) override {
        focusReason_ = e->reason();
        QComboBox::focusInEvent(e);
    }

private:
    Qt::FocusReason focusReason_ = Qt::OtherFocusReason;
};

// A window title box over the live list of top-level windows (title and
// class), its "Advanced" button and the "Containing: " line under it.
struct WindowPicker {
    WindowTitleBox* combo = nullptr;
    QPushButton* advanced = nullptr;
    QLabel* containing = nullptr;
    QStandardItemModel* model = nullptr;
    void Build(QWidget* parent, QGridLayout* grid, int row, const QString& prompt) {
        auto* label = new QLabel(prompt, parent);
        combo = new WindowTitleBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->lineEdit()->setMaxLength(255);
        label->setBuddy(combo);
        model = new QStandardItemModel(0, 2, combo);
        auto* view = new QTreeView(combo);
        view->setRootIsDecorated(false);
        view->header()->hide();
        combo->setModel(model);
        combo->setView(view);
        advanced = new QPushButton("Advanced", parent);
        advanced->setAutoDefault(false);
        containing = new QLabel(parent);
        grid->addWidget(label, row, 0);
        grid->addWidget(combo, row, 1);
        grid->addWidget(advanced, row, 2);
        grid->addWidget(containing, row + 1, 1);
    }
    // Refills the list, keeping what the field holds. Not when the focus
    // comes back from the drop list: the list is as fresh as when it opened,
    // and the chosen row is still to be put into the field.
    void Refresh() {
        if (combo->FocusBackFromList()) return;
        const QString text = combo->currentText();
        ListTopWindows();
        model->removeRows(0, model->rowCount());
        for (const WindowListEntry& e : WindowList())
            model->appendRow({new QStandardItem(Q(e.Line.str())), new QStandardItem(Q(e.Class.str()))});
        combo->setCurrentIndex(-1);
        combo->setEditText(text);
    }
    void SetContaining(const std::string& text) {
        containing->setText(ClipRight(text).empty() ? QString() : Q("Containing: " + ClipRight(text)));
    }
};

struct UpdateScriptingLayout {
    QWidget* window = nullptr;
    QButtonGroup* actions = nullptr;
    QRadioButton* action[16] = {};
    QTabWidget* sheet = nullptr;
    QPlainTextEdit* help = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    // Keys
    QLineEdit* keystrokes = nullptr;
    ScriptPickLists* picks = nullptr;
    QPushButton* viewKeys = nullptr;
    // Wait
    QSpinBox* waitSeconds = nullptr;
    WindowPicker waitWindow;
    QRadioButton* either = nullptr;
    QRadioButton* both = nullptr;
    QGroupBox* joinerBox = nullptr;
    // Focus
    WindowPicker focusWindow;
    // DDE
    QLineEdit* ddeApp = nullptr;
    QLineEdit* ddeTopic = nullptr;
    QLineEdit* ddeCommand = nullptr;
    // If Window
    QComboBox* existence = nullptr;
    WindowPicker ifWindow;
    // If Time
    QComboBox* timeCondition = nullptr;
    QSpinBox* timeSeconds = nullptr;
    // If Var
    QLineEdit* ifName = nullptr;
    QPushButton* ifNamePick = nullptr;
    QComboBox* comparison = nullptr;
    QLineEdit* compareTo = nullptr;
    // Set Var
    QLineEdit* setName = nullptr;
    QLineEdit* setValue = nullptr;
    // Start Script
    QLineEdit* scriptFile = nullptr;
    QPushButton* scriptBrowse = nullptr;
    QComboBox* scriptType = nullptr;
    // Send Email
    QPushButton* selectMessage = nullptr;
    QPushButton* newMessage = nullptr;
    QLabel* sendTo = nullptr;
    QLabel* subject = nullptr;
    // File Actions
    QComboBox* fileAction = nullptr;
    QLabel* param1Label = nullptr;
    QLineEdit* param1 = nullptr;
    QPushButton* param1Browse = nullptr;
    QLabel* param2Label = nullptr;
    QLineEdit* param2 = nullptr;
    QPushButton* param2Browse = nullptr;
    QWidget* ftpRows[3] = {};
    QLineEdit* ftpHost = nullptr;
    QLineEdit* ftpUser = nullptr;
    QLineEdit* ftpPassword = nullptr;
    // Start, Close
    QLineEdit* startCommand = nullptr;
    QLineEdit* startPath = nullptr;
    QPushButton* startBrowse = nullptr;
    QPushButton* startAdvanced = nullptr;
    QLineEdit* closeCommand = nullptr;
    QPushButton* closeBrowse = nullptr;
    // Display Message
    QLineEdit* msgTitle = nullptr;
    QPlainTextEdit* msgText = nullptr;
    QCheckBox* msgDialog = nullptr;
    QLineEdit* msgButtons = nullptr;
    // Other
    QLineEdit* otherName = nullptr;

    QLineEdit* Entry(QWidget* tab, QGridLayout* g, int row, const QString& prompt, int max = 255) {
        auto* l = new QLabel(prompt, tab);
        auto* e = new QLineEdit(tab);
        e->setMaxLength(max);
        l->setBuddy(e);
        g->addWidget(l, row, 0);
        g->addWidget(e, row, 1);
        return e;
    }
    QGridLayout* Tab(const QString& name) {
        auto* tab = new QWidget(sheet);
        sheet->addTab(tab, name);
        auto* g = new QGridLayout(tab);
        g->setColumnStretch(1, 1);
        return g;
    }
    QPushButton* Button(QWidget* tab, const QString& text) {
        auto* b = new QPushButton(text, tab);
        b->setAutoDefault(false);
        return b;
    }

    void Build() {
        window = new QWidget(nullptr, Qt::Window);
        window->setWindowTitle("Update the Scripting File");
        window->resize(720, 560);
        auto* top = new QVBoxLayout(window);
        auto* choose = new QGroupBox("Select &Action", window);
        auto* cg = new QGridLayout(choose);
        actions = new QButtonGroup(window);
        for (int r = 0; r < 4; ++r) {
            cg->addWidget(new QLabel(kRowNames[r], choose), r, 0);
            for (int c = 0; c < 4; ++c) {
                const int i = r * 4 + c;
                action[i] = new QRadioButton(kFormActions[i], choose);
                actions->addButton(action[i], i);
                cg->addWidget(action[i], r, c + 1);
            }
        }
        top->addWidget(choose);
        sheet = new QTabWidget(window);
        // Sixteen tabs do not fit the form's width: their names stay whole
        // and the tab bar scrolls, rather than each name being cut short.
        sheet->setElideMode(Qt::ElideNone);
        sheet->setUsesScrollButtons(true);
        top->addWidget(sheet, 1);

        QGridLayout* g = Tab("Keys");
        QWidget* t = sheet->widget(0);
        keystrokes = Entry(t, g, 0, "&Key(s) to press:");
        picks = new ScriptPickLists(t);
        g->addWidget(picks, 1, 0, 1, 3);
        viewKeys = Button(t, "View Abbreviation List");
        g->addWidget(viewKeys, 2, 1, Qt::AlignLeft);
        g->setRowStretch(3, 1);

        g = Tab("Wait");
        t = sheet->widget(1);
        g->addWidget(new QLabel("Seconds to wait:", t), 0, 0);
        waitSeconds = new QSpinBox(t);
        waitSeconds->setRange(0, 99999999);
        g->addWidget(waitSeconds, 0, 1, Qt::AlignLeft);
        waitWindow.Build(t, g, 1, "&Wait for window:");
        joinerBox = new QGroupBox(t);
        auto* jl = new QHBoxLayout(joinerBox);
        either = new QRadioButton("Either", joinerBox);
        both = new QRadioButton("Both", joinerBox);
        jl->addWidget(either);
        jl->addWidget(both);
        g->addWidget(joinerBox, 3, 1, Qt::AlignLeft);
        g->setRowStretch(4, 1);

        g = Tab("Focus");
        t = sheet->widget(2);
        focusWindow.Build(t, g, 0, "&Focus on window:");
        g->setRowStretch(2, 1);

        g = Tab("DDE");
        t = sheet->widget(3);
        ddeApp = Entry(t, g, 0, "Application:");
        ddeTopic = Entry(t, g, 1, "Topic:");
        ddeCommand = Entry(t, g, 2, "Command:");
        g->setRowStretch(3, 1);

        g = Tab("If Window");
        t = sheet->widget(4);
        existence = new QComboBox(t);
        existence->addItems({"Exists", "Does not exist"});
        g->addWidget(new QLabel("Condition:", t), 0, 0);
        g->addWidget(existence, 0, 1, Qt::AlignLeft);
        ifWindow.Build(t, g, 1, "Window:");
        g->setRowStretch(3, 1);

        g = Tab("If Time");
        t = sheet->widget(5);
        timeCondition = new QComboBox(t);
        timeCondition->addItems({"Greater than", "Less than"});
        g->addWidget(new QLabel("Time elapsed is:", t), 0, 0);
        g->addWidget(timeCondition, 0, 1, Qt::AlignLeft);
        timeSeconds = new QSpinBox(t);
        timeSeconds->setRange(0, 999999999);
        g->addWidget(new QLabel("Seconds:", t), 1, 0);
        g->addWidget(timeSeconds, 1, 1, Qt::AlignLeft);
        g->setRowStretch(2, 1);

        g = Tab("If Var");
        t = sheet->widget(6);
        ifName = Entry(t, g, 0, "Value name:");
        ifNamePick = Button(t, "...");
        g->addWidget(ifNamePick, 0, 2);
        comparison = new QComboBox(t);
        comparison->addItems(Items(kComparisons));
        g->addWidget(new QLabel("Comparison:", t), 1, 0);
        g->addWidget(comparison, 1, 1, Qt::AlignLeft);
        compareTo = Entry(t, g, 2, "Compare to:");
        g->setRowStretch(3, 1);

        g = Tab("Set Var");
        t = sheet->widget(7);
        setName = Entry(t, g, 0, "Value name:");
        setValue = Entry(t, g, 1, "Value:");
        g->setRowStretch(2, 1);

        g = Tab("Start Script");
        t = sheet->widget(8);
        scriptFile = Entry(t, g, 0, "Script:");
        scriptBrowse = Button(t, "...");
        g->addWidget(scriptBrowse, 0, 2);
        scriptType = new QComboBox(t);
        scriptType->addItems(Items(kStartScriptTypes));
        g->addWidget(new QLabel("Type:", t), 1, 0);
        g->addWidget(scriptType, 1, 1, Qt::AlignLeft);
        g->setRowStretch(2, 1);

        g = Tab("Send Email");
        t = sheet->widget(9);
        selectMessage = Button(t, "Select &Message");
        newMessage = Button(t, "&New Message");
        g->addWidget(selectMessage, 0, 0);
        g->addWidget(newMessage, 0, 1, Qt::AlignLeft);
        g->addWidget(new QLabel("Send to:", t), 1, 0);
        sendTo = new QLabel(t);
        g->addWidget(sendTo, 1, 1);
        g->addWidget(new QLabel("Subject:", t), 2, 0);
        subject = new QLabel(t);
        g->addWidget(subject, 2, 1);
        g->setRowStretch(3, 1);

        g = Tab("File Actions");
        t = sheet->widget(10);
        fileAction = new QComboBox(t);
        fileAction->addItems(Items(kFileActionWords));
        g->addWidget(new QLabel("Action:", t), 0, 0);
        g->addWidget(fileAction, 0, 1, Qt::AlignLeft);
        param1 = Entry(t, g, 1, "&From:");
        param1Label = qobject_cast<QLabel*>(g->itemAtPosition(1, 0)->widget());
        param1Browse = Button(t, "...");
        g->addWidget(param1Browse, 1, 2);
        param2 = Entry(t, g, 2, "&To:");
        param2Label = qobject_cast<QLabel*>(g->itemAtPosition(2, 0)->widget());
        param2Browse = Button(t, "...");
        g->addWidget(param2Browse, 2, 2);
        ftpHost = Entry(t, g, 3, "FTP &Host:");
        ftpUser = Entry(t, g, 4, "&User Name:", 128);
        ftpPassword = Entry(t, g, 5, "&Password:", 128);
        ftpPassword->setEchoMode(QLineEdit::Password);
        g->setRowStretch(6, 1);

        g = Tab("End If");
        t = sheet->widget(11);
        g->addWidget(new QLabel("No information is required for this action.", t), 0, 0);
        g->setRowStretch(1, 1);

        g = Tab("Start");
        t = sheet->widget(12);
        startCommand = Entry(t, g, 0, "Command:");
        startBrowse = Button(t, "&Browse");
        g->addWidget(startBrowse, 0, 2);
        startPath = Entry(t, g, 1, "Start in:");
        startAdvanced = Button(t, "Advanced");
        g->addWidget(startAdvanced, 2, 1, Qt::AlignLeft);
        g->setRowStretch(3, 1);

        g = Tab("Display Message");
        t = sheet->widget(13);
        msgTitle = Entry(t, g, 0, "Title:");
        g->addWidget(new QLabel("Message:", t), 1, 0, Qt::AlignTop);
        msgText = new QPlainTextEdit(t);
        g->addWidget(msgText, 1, 1);
        msgDialog = new QCheckBox("Use Windows Message Dialog", t);
        g->addWidget(msgDialog, 2, 1);
        msgButtons = Entry(t, g, 3, "Buttons:");
        msgButtons->setToolTip("Buttons on message box");

        g = Tab("Close");
        t = sheet->widget(14);
        closeCommand = Entry(t, g, 0, "Program:");
        closeBrowse = Button(t, "&Browse");
        g->addWidget(closeBrowse, 0, 2);
        g->setRowStretch(1, 1);

        g = Tab("Other");
        t = sheet->widget(15);
        otherName = Entry(t, g, 0, "Action:", 20);
        otherName->setReadOnly(true);
        g->setRowStretch(1, 1);

        help = new QPlainTextEdit(window);
        help->setReadOnly(true);
        help->setMaximumHeight(90);
        top->addWidget(help);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        ok = new QPushButton("&OK", window);
        ok->setDefault(true);
        cancel = new QPushButton("Cancel", window);
        buttons->addWidget(ok);
        buttons->addWidget(cancel);
        top->addLayout(buttons);
    }
};

int TabIndex(ScriptTab t) { return static_cast<int>(t); }

// "Advanced Settings": the text a window must contain, picked from the
// texts of the found window's children.
class GetChildWindow : public WindowManager {
public:
    GetChildWindow(const char* procedure, uint32_t window, FString<255>& target)
        : WindowManager(procedure), window_(window), target_(target) {}

protected:
    QWidget* MakeWindow() override {
        w_ = new QWidget(nullptr, Qt::Window);
        w_->setWindowTitle("Advanced Settings");
        auto* l = new QVBoxLayout(w_);
        l->addWidget(new QLabel("Many application windows contain at least some text that\n"
                                "can be examined by Kairoll.  This is typically\n"
                                "the text on buttons and error messages.",
                                w_));
        l->addWidget(new QLabel("Window must contain this text:", w_));
        combo_ = new QComboBox(w_);
        combo_->setEditable(true);
        combo_->lineEdit()->setMaxLength(kContainsSize);
        combo_->setToolTip("Contents of window to locate");
        l->addWidget(combo_);
        l->addWidget(new QLabel("Do not use this in conjunction with the \"~\" reversal switch.", w_));
        close_ = new QPushButton("Cl&ose", w_);
        close_->setDefault(true);
        l->addWidget(close_, 0, Qt::AlignRight);
        return w_;
    }
    bool Init() override {
        SetOkControl(close_);
        if (window_) {
            ListChildWindows(window_);
            for (const ChildWindowEntry& e : ChildWindowList())
                if (!ClipRight(e.Line.str()).empty()) combo_->addItem(Q(e.Line.str()));
        }
        combo_->setEditText(Q(target_.str().substr(0, std::min<size_t>(target_.str().size(), kContainsSize))));
        return true;
    }
    bool TakeCompleted() override {
        target_ = S(combo_->currentText()).substr(0, kContainsSize);
        return true;
    }

private:
    uint32_t window_;
    FString<255>& target_;
    QWidget* w_ = nullptr;
    QComboBox* combo_ = nullptr;
    QPushButton* close_ = nullptr;
};

MessageChooser& InstalledMessageChooser() {
    static MessageChooser chooser;
    return chooser;
}
NewMessageForm& InstalledNewMessageForm() {
    static NewMessageForm form;
    return form;
}

// The recipient and subject of a stored message, read without touching any
// record buffer; empty when there is no such message.
std::pair<std::string, std::string> MessageRecipientAndSubject(int32_t emailID) {
    std::pair<std::string, std::string> out;
    if (emailID == 0) return out;
    data::TableOf(MessagesDef())
        .ForEachMatch(MessagesDef().key("M_:KeyEmailID"), {MessagesDef().field("M_:EmailID")}, {Value(emailID)},
                      [&](int64_t, const void* r) {
                          const auto* m = static_cast<const MessagesRecord*>(r);
                          out = {ClipRight(m->EmailTo.str()), ClipRight(m->Subject.str())};
                          return false;
                      });
    return out;
}

// The form edits one Scripting record: the task's item is the Scripting
// buffer itself; a template's item is a copy of the ScriptTemplateDetails
// buffer made when the form opens, stored back by OK. Every sub-window
// (program file dialog, Start Program options, message choice, the
// "Advanced Settings" texts) is handed that record, so the same rules hold
// for both, and a template item never passes through the Scripting buffer
// that a task's form on another window reads.
class UpdateScriptingWindow : public WindowManager {
public:
    explicit UpdateScriptingWindow(ScriptOwner owner) : WindowManager("UpdateScripting"), owner_(owner) {}

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }

    ScriptingFileManager& F() { return Scripting_File(); }
    ScriptTemplateDetailsFileManager& KRD() { return ScriptTemplateDetails_File(); }
    bool OnTemplate() const { return owner_ == ScriptOwner::Template; }
    Scripting& SCR() { return OnTemplate() ? item_ : F().rec(); }

    bool Init() override {
        // 1. View and delete show the item read-only; delete keeps OK.
        request_ = Request();
        if (request_ == kViewRecord) {
            SetViewMode(true);
            request_ = kChangeRecord;
        }
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        SetTitle(request_ == kInsertRecord ? "New Script Action"
                 : request_ == kDeleteRecord ? "Delete Script Action"
                                             : "Edit Script Action");
        if (ViewMode()) SetTitle(ViewTitle(Title()));
        // 2. A new item of the current task (or template).
        const int32_t task = OnTemplate() ? ScriptTemplates_File().rec().Wiz_ID : Schedule_File().rec().ID;
        if (OnTemplate()) {
            item_ = ScriptItemOfTemplate(KRD().rec());
            item_.ID = KRD().rec().Wiz_ID;
        }
        if (request_ == kInsertRecord) {
            if (BufferKeptForInsert()) {
                SCR().ID = task;
                SCR().Sequence = 0;
                SCR().OriginalID = 0;
            } else {
                PrimeNewScriptItem(SCR(), task);
            }
        }
        // 3. Required fields and the tab colours.
        required_.Init(ui.window, "Missing Information", "@PROMPT must be entered.");
        SetRequiredFields(&required_);
        tabs_.Init(ui.window);
        // 4., 5. Old words, and the form's own values.
        NormalizeScriptItem(SCR());
        LoadScriptFormValues(SCR(), values_);
        // 6. The action's tab, and the controls.
        SelectTab();
        if (request_ == kDeleteRecord) {
            for (QWidget* w : ControlsInOrder(ui.window))
                if (w != ui.ok && w != ui.cancel && w != ui.help && (IsDataControl(w) || qobject_cast<QPushButton*>(w)))
                    w->setEnabled(false);
        }
        // 7. An item needs its task. A task item under ID 0 would be stored
        // as an orphan: OK stays off.
        if (SCR().ID == 0) {
            Message("Unable to attach script to scheduled item.  Schedule ID is " + std::to_string(task) + ".",
                    "Internal Error", MessageIcon::Hand);
            ui.ok->setEnabled(false);
        }
        // The message list and form are there once the organiser installs them.
        ui.selectMessage->setEnabled(InstalledMessageChooser() != nullptr && request_ != kDeleteRecord && !ViewMode());
        ui.newMessage->setEnabled(InstalledNewMessageForm() != nullptr && request_ != kDeleteRecord && !ViewMode());
        ui.picks->SetOnAppend([this](const std::string& code) {
            ui.keystrokes->setText(Q(AppendToKeystrokes(S(ui.keystrokes->text()), code)));
            ui.keystrokes->setFocus();
        });
        return true;
    }

    // Shows the record's action: the radio, the tab, the help, the controls.
    void SelectTab() {
        tab_ = SelectScriptTab(SCR(), values_.otherName);
        const std::string shown = SCR().Action == "Other" ? values_.otherName : SCR().Action.str();
        for (int i = 0; i < 16; ++i) {
            const bool on = shown == kFormActions[i] ||
                            (i == 0 && shown == "Send Keystrokes") ||
                            (i == 11 && shown == "DDE (Dynamic Data Exchange)");
            if (on) ui.action[i]->setChecked(true);
        }
        ui.help->setPlainText(Q(ScriptActionHelp(shown)));
        LoadControls();
        for (int i = 0; i < ui.sheet->count(); ++i) ui.sheet->setTabEnabled(i, i == TabIndex(tab_));
        ui.sheet->setCurrentIndex(TabIndex(tab_));
        tabs_.Refresh();
        ApplyJoiner();
        ApplyFilePrompts();
    }

    void LoadControls() {
        const Scripting& r = SCR();
        ui.keystrokes->setText(Q(r.Keystrokes.str()));
        ui.waitSeconds->setValue(r.SecondsToWait);
        ui.timeSeconds->setValue(r.TimeElapsed);
        switch (tab_) {
            case ScriptTab::Wait:
                ui.waitWindow.combo->setEditText(Q(r.WaitForWindow.str()));
                ui.waitWindow.SetContaining(r.FocusOnWindow.str());
                break;
            case ScriptTab::Focus:
                ui.focusWindow.combo->setEditText(Q(r.FocusOnWindow.str()));
                ui.focusWindow.SetContaining(r.WaitForWindow.str());
                break;
            case ScriptTab::IfWindow:
                ui.existence->setCurrentText(Q(r.WindowExistance.str()));
                ui.ifWindow.combo->setEditText(Q(r.WindowTitleToCheckFor.str()));
                ui.ifWindow.SetContaining(r.FocusOnWindow.str());
                break;
            default:
                break;
        }
        ui.ddeApp->setText(Q(r.DDEApplicationName.str()));
        ui.ddeTopic->setText(Q(r.DDEApplicationTopic.str()));
        ui.ddeCommand->setText(Q(r.DDECommand.str()));
        ui.timeCondition->setCurrentIndex(IsGreaterThanCondition(r.IfTimeElapsed.str()) ? 0 : 1);
        ui.ifName->setText(Q(r.Command.str()));
        ui.comparison->setCurrentText(Q(r.WindowTitleToCheckFor.str()));
        ui.compareTo->setText(Q(r.WaitForWindow.str()));
        ui.setName->setText(Q(r.Path.str()));
        ui.setValue->setText(Q(r.Command.str()));
        ui.scriptFile->setText(Q(r.Command.str()));
        ui.scriptType->setCurrentText(Q(r.Path.str()));
        const auto [to, subject] = MessageRecipientAndSubject(r.EmailID);
        ui.sendTo->setText(Q(to));
        ui.subject->setText(Q(subject));
        ui.fileAction->setCurrentText(Q(r.DDEType.str()));
        ui.param1->setText(Q(r.Command.str()));
        ui.param2->setText(Q(r.Path.str()));
        ui.ftpHost->setText(Q(r.DDEApplicationName.str()));
        ui.ftpUser->setText(Q(values_.ftpUser));
        ui.ftpPassword->setText(Q(values_.ftpPassword));
        ui.startCommand->setText(Q(r.Command.str()));
        ui.startPath->setText(Q(r.Path.str()));
        ui.closeCommand->setText(Q(r.Command.str()));
        ui.msgTitle->setText(Q(values_.messageTitle));
        ui.msgText->setPlainText(Q(values_.messageText));
        ui.msgDialog->setChecked(values_.messageDialog);
        ui.msgButtons->setText(Q(r.FocusOnWindow.str()));
        ui.otherName->setText(Q(values_.otherName));
        ui.either->setChecked(values_.joiner == "Either");
        ui.both->setChecked(values_.joiner == "Both");
    }

    // The controls of the action's tab into the record (the other tabs keep
    // their fields as they are).
    void StoreControls() {
        Scripting& r = SCR();
        switch (tab_) {
            case ScriptTab::Keys: r.Keystrokes = S(ui.keystrokes->text()); break;
            case ScriptTab::Wait:
                r.SecondsToWait = ui.waitSeconds->value();
                r.WaitForWindow = S(ui.waitWindow.combo->currentText());
                values_.joiner = ui.both->isChecked() ? "Both" : ui.either->isChecked() ? "Either" : "";
                break;
            case ScriptTab::Focus: r.FocusOnWindow = S(ui.focusWindow.combo->currentText()); break;
            case ScriptTab::DDE:
                r.DDEApplicationName = S(ui.ddeApp->text());
                r.DDEApplicationTopic = S(ui.ddeTopic->text());
                r.DDECommand = S(ui.ddeCommand->text());
                break;
            case ScriptTab::IfWindow:
                r.WindowExistance = S(ui.existence->currentText());
                r.WindowTitleToCheckFor = S(ui.ifWindow.combo->currentText());
                break;
            case ScriptTab::IfTime:
                r.IfTimeElapsed = S(ui.timeCondition->currentText());
                r.TimeElapsed = ui.timeSeconds->value();
                break;
            case ScriptTab::IfVar:
                r.Command = S(ui.ifName->text());
                r.WindowTitleToCheckFor = S(ui.comparison->currentText());
                r.WaitForWindow = S(ui.compareTo->text());
                break;
            case ScriptTab::SetVar:
                r.Path = S(ui.setName->text());
                r.Command = S(ui.setValue->text());
                break;
            case ScriptTab::StartScript:
                r.Command = S(ui.scriptFile->text());
                r.Path = S(ui.scriptType->currentText());
                break;
            case ScriptTab::FileActions:
                r.DDEType = S(ui.fileAction->currentText());
                r.Command = S(ui.param1->text());
                r.Path = S(ui.param2->text());
                r.DDEApplicationName = S(ui.ftpHost->text());
                values_.ftpUser = S(ui.ftpUser->text());
                values_.ftpPassword = S(ui.ftpPassword->text());
                break;
            case ScriptTab::Start:
                r.Command = S(ui.startCommand->text());
                r.Path = S(ui.startPath->text());
                break;
            case ScriptTab::Close: r.Command = S(ui.closeCommand->text()); break;
            case ScriptTab::DisplayMessage:
                values_.messageTitle = S(ui.msgTitle->text());
                values_.messageText = S(ui.msgText->toPlainText());
                values_.messageDialog = ui.msgDialog->isChecked();
                r.FocusOnWindow = S(ui.msgButtons->text());
                break;
            default: break;
        }
    }

    void ApplyJoiner() {
        if (tab_ != ScriptTab::Wait) return;
        // The joiner chosen while the option was on stands: OK's pass over
        // the seconds and the window must not put the default back.
        if (ui.joinerBox->isEnabled() && (ui.both->isChecked() || ui.either->isChecked()))
            values_.joiner = ui.both->isChecked() ? "Both" : "Either";
        Scripting probe = SCR();
        probe.SecondsToWait = ui.waitSeconds->value();
        probe.WaitForWindow = S(ui.waitWindow.combo->currentText());
        const bool on = ApplyWaitJoiner(probe, values_.joiner);
        ui.joinerBox->setEnabled(on && !ViewMode() && request_ != kDeleteRecord);
        ui.either->setAutoExclusive(false);
        ui.both->setAutoExclusive(false);
        ui.either->setChecked(values_.joiner == "Either");
        ui.both->setChecked(values_.joiner == "Both");
        ui.either->setAutoExclusive(true);
        ui.both->setAutoExclusive(true);
    }

    void ApplyFilePrompts() {
        const bool shown = tab_ == ScriptTab::FileActions;
        const FileActionPrompts p = PromptsForFileAction(S(ui.fileAction->currentText()));
        ui.param1Label->setText(Q(p.first));
        ui.param2Label->setText(Q(p.second));
        ui.param1Browse->setVisible(p.firstBrowse);
        ui.param2->setVisible(p.secondShown);
        ui.param2Label->setVisible(p.secondShown);
        ui.param2Browse->setVisible(p.secondShown && p.secondBrowse);
        for (QLineEdit* e : {ui.ftpHost, ui.ftpUser, ui.ftpPassword}) {
            e->setVisible(p.ftpShown);
            if (QWidget* l = qobject_cast<QGridLayout*>(e->parentWidget()->layout())
                                 ->itemAtPosition(e == ui.ftpHost ? 3 : e == ui.ftpUser ? 4 : 5, 0)
                                 ->widget())
                l->setVisible(p.ftpShown);
        }
        (void)shown;
    }

    // The parameters a File Actions item shows must be filled.
    bool FileParametersGiven() {
        if (tab_ != ScriptTab::FileActions) return true;
        const FileActionPrompts p = PromptsForFileAction(S(ui.fileAction->currentText()));
        std::vector<std::pair<QLineEdit*, std::string>> need = {{ui.param1, p.first}};
        if (p.secondShown) need.push_back({ui.param2, p.second});
        if (p.ftpShown) need.push_back({ui.ftpHost, "FTP &Host:"});
        for (auto& [entry, prompt] : need)
            if (Trim(S(entry->text())).empty()) {
                std::string name = ReplaceAll(prompt, "&", "");
                if (!name.empty() && name.back() == ':') name.pop_back();
                Message(name + " must be entered.", "Missing Information", MessageIcon::Exclamation);
                entry->setFocus();
                return false;
            }
        return true;
    }

    void Advanced(WindowPicker& picker, const char* procedure, FString<255>& target) {
        StoreControls();
        const uint32_t found = FindWindowByTitle(S(picker.combo->currentText()), "");
        QPointer<QWidget> w = ui.window;
        (new GetChildWindow(procedure, found, target))->Call([this, w, &picker, &target](int) {
            if (w) picker.SetContaining(target.str());
        });
    }

    void TakeSelected(QObject* c) override {
        if (c == ui.waitWindow.combo || c == ui.keystrokes) ui.waitWindow.Refresh();
        if (c == ui.focusWindow.combo || c == ui.keystrokes) ui.focusWindow.Refresh();
        if (c == ui.ifWindow.combo || c == ui.keystrokes) ui.ifWindow.Refresh();
    }

    void TakeAccepted(QObject* c) override {
        for (int i = 0; i < 16; ++i)
            if (c == ui.action[i] && ui.action[i]->isChecked() && !okAccepted_) {
                StoreControls();
                SCR().Action = kFormActions[i];
                values_.otherName.clear();
                if (SCR().Action == "Wait") values_.joiner.clear();
                SelectTab();
                if (SCR().Action == "Start Program") NormalizeStartFlags(SCR());
                return;
            }
        if (c == ui.waitSeconds || c == ui.waitWindow.combo) {
            ApplyJoiner();
        } else if (c == ui.fileAction) {
            ApplyFilePrompts();
        } else if (c == ui.viewKeys) {
            ViewAscii_ScriptKeys();
        } else if (c == ui.ifNamePick) {
            const std::string n = PopupValueName(ui.window);
            if (!n.empty()) ui.ifName->setText(Q(n));
        } else if (c == ui.waitWindow.advanced) {
            Advanced(ui.waitWindow, "UpdateScriptingGetChild", SCR().FocusOnWindow);
        } else if (c == ui.ifWindow.advanced) {
            Advanced(ui.ifWindow, "UpdateScriptingGetChild", SCR().FocusOnWindow);
        } else if (c == ui.focusWindow.advanced) {
            Advanced(ui.focusWindow, "UpdateScriptingGetChildFocus", SCR().WaitForWindow);
        } else if (c == ui.startBrowse || c == ui.closeBrowse) {
            StoreControls();
            tasks::SelectProgram(ui.window, SCR().Command, SCR().Path);
            LoadControls();
        } else if (c == ui.startAdvanced) {
            StoreControls();
            NormalizeStartFlags(SCR());
            UpdateScripting_StartProgram_Advanced(SCR());
        } else if (c == ui.selectMessage && InstalledMessageChooser()) {
            StoreControls();
            QPointer<QWidget> w = ui.window;
            InstalledMessageChooser()(ui.window, [this, w](std::optional<ChosenMessage> m) {
                if (!w || !m) return;
                ApplyChosenMessage(SCR(), m->emailID, m->subject, m->to);
                LoadControls();
            });
        } else if (c == ui.newMessage && InstalledNewMessageForm()) {
            StoreControls();
            QPointer<QWidget> w = ui.window;
            InstalledNewMessageForm()([this, w] {
                if (w) LoadControls();
            });
        } else if (c == ui.scriptBrowse) {
            if (auto f = tasks::ChooseFile(ui.window, "Choose a File", {}, {"KR Script Files (*.krs)"}))
                ui.scriptFile->setText(Q(*f));
        } else if (c == ui.param1Browse || c == ui.param2Browse) {
            if (auto f = tasks::ChooseFile(ui.window, "Choose a File", {}, {"All Files (*.*)"}))
                (c == ui.param1Browse ? ui.param1 : ui.param2)->setText(Q(*f));
        }
    }

    bool TakeCompleted() override {
        if (request_ == kDeleteRecord) return (OnTemplate() ? KRD().Delete() : F().Delete()) == kLevelBenign;
        if (!WindowManager::TakeCompleted()) return false;  // required fields
        if (!FileParametersGiven()) return false;
        StoreControls();
        if (!StoreScriptFormValues(values_, SCR())) {
            Message("\"Other\" script item not recorded correctly.  Re-enter.", "Error", MessageIcon::Exclamation);
            SCR().Action = "Other";
            return false;
        }
        if (SCR().Action == "Start Program") NormalizeStartFlags(SCR());
        StampScriptItem(SCR(), Options().UserID.get(), Today(), ClockTime());
        okAccepted_ = true;
        const int msg = request_ == kInsertRecord ? data::kMsgAddFailed : data::kMsgPutFailed;
        int e = 0;
        if (OnTemplate()) {
            ScriptTemplateDetails d = TemplateItemOfScript(SCR());
            d.Wiz_ID = SCR().ID;
            if (request_ == kInsertRecord) {
                e = InsertTemplateItemNumbered(d);
            } else {
                KRD().rec() = d;
                e = KRD().File().Put();
            }
            if (e != 0) KRD().Throw(msg);
        } else {
            if (request_ == kInsertRecord) e = InsertScriptItemNumbered(SCR());
            else e = F().File().Put();
            if (e != 0) F().Throw(msg);
        }
        if (e != 0) okAccepted_ = false;
        return e == 0;
    }

    void Kill() override {
        tabs_.Kill();
        required_.Kill();
    }

    UpdateScriptingLayout ui;
    RequiredFields required_;
    TabHighlight tabs_;
    ScriptFormValues values_;
    ScriptTab tab_ = ScriptTab::Keys;
    ScriptOwner owner_;
    Scripting item_;  // a template's item while it is edited
    int request_ = 0;
    bool okAccepted_ = false;
};

// "Advanced...": the Start Program options of the item the form edits.
class StartProgramAdvancedWindow : public WindowManager {
public:
    explicit StartProgramAdvancedWindow(Scripting& item)
        : WindowManager("UpdateScripting:StartProgram:Advanced"), item_(item) {}

protected:
    QWidget* MakeWindow() override {
        w_ = new QWidget(nullptr, Qt::Window);
        w_->setWindowTitle("Advanced...");
        auto* l = new QVBoxLayout(w_);
        auto* cont = new QGroupBox("Script continues", w_);
        auto* cl = new QGridLayout(cont);
        wait_ = new QCheckBox("Only after program is finished (\"Wait for program end\").", cont);
        cl->addWidget(wait_, 0, 0, 1, 3);
        cl->addWidget(new QLabel("Stop waiting after", cont), 1, 0);
        seconds_ = new QSpinBox(cont);
        seconds_->setRange(0, 999999);
        cl->addWidget(seconds_, 1, 1);
        cl->addWidget(new QLabel("seconds, even if program is running.", cont), 1, 2);
        l->addWidget(cont);
        mode_ = new QComboBox(w_);
        mode_->addItems(Items(kWindowModes));
        verb_ = new QComboBox(w_);
        verb_->addItems(Items(kStartVerbs));
        priority_ = new QComboBox(w_);
        priority_->addItems({"Low", "Normal", "High"});
        auto* g = new QGridLayout;
        g->addWidget(new QLabel("Window mode", w_), 0, 0);
        g->addWidget(mode_, 0, 1);
        g->addWidget(new QLabel("Start type", w_), 1, 0);
        g->addWidget(verb_, 1, 1);
        g->addWidget(new QLabel("Process Priority", w_), 2, 0);
        g->addWidget(priority_, 2, 1);
        l->addLayout(g);
        translate_ = new QCheckBox("Translate command", w_);
        l->addWidget(translate_);
        ok_ = new QPushButton("&OK", w_);
        ok_->setDefault(true);
        l->addWidget(ok_, 0, Qt::AlignRight);
        return w_;
    }
    bool Init() override {
        SetOkControl(ok_);
        const StartProgramOptions o = ReadStartOptions(item_);
        wait_->setChecked(o.waitForEnd);
        seconds_->setValue(o.stopWaitingAfter);
        mode_->setCurrentIndex(WindowModeIndex(o.windowMode));
        verb_->setCurrentText(Q(o.verb));
        priority_->setCurrentIndex(o.priority - 1);
        translate_->setChecked(o.translate);
        ApplyWait();
        return true;
    }
    void ApplyWait() {
        seconds_->setEnabled(wait_->isChecked());
        verb_->setEnabled(!wait_->isChecked());
    }
    void TakeAccepted(QObject* c) override {
        if (c == wait_) ApplyWait();
    }
    bool TakeCompleted() override {
        StartProgramOptions o;
        o.waitForEnd = wait_->isChecked();
        o.stopWaitingAfter = seconds_->value();
        o.windowMode = WindowModeAt(mode_->currentIndex());
        o.verb = S(verb_->currentText());
        o.priority = priority_->currentIndex() + 1;
        o.translate = translate_->isChecked();
        WriteStartOptions(o, item_);
        return true;
    }

private:
    Scripting& item_;
    QWidget* w_ = nullptr;
    QCheckBox* wait_ = nullptr;
    QSpinBox* seconds_ = nullptr;
    QComboBox* mode_ = nullptr;
    QComboBox* verb_ = nullptr;
    QComboBox* priority_ = nullptr;
    QCheckBox* translate_ = nullptr;
    QPushButton* ok_ = nullptr;
};

// "List of Key Abbreviations": KEYCODES.TXT in the framework's text viewer.
class ViewScriptKeysWindow : public WindowManager {
public:
    ViewScriptKeysWindow() : WindowManager("ViewAscii:ScriptKeys") {}

protected:
    QWidget* MakeWindow() override {
        w_ = new QWidget(nullptr, Qt::Window);
        w_->setWindowTitle("List of Key Abbreviations");
        w_->resize(560, 480);
        auto* l = new QVBoxLayout(w_);
        list_ = new QListView(w_);
        list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list_->setFont(QFont("Courier New"));
        l->addWidget(list_);
        auto* row = new QHBoxLayout;
        print_ = new QPushButton("&Print...", w_);
        search_ = new QPushButton("&Search...", w_);
        close_ = new QPushButton("&Close", w_);
        row->addWidget(print_);
        row->addWidget(search_);
        row->addStretch();
        row->addWidget(close_);
        l->addLayout(row);
        return w_;
    }
    bool Init() override {
        SetCancelControl(close_);
        const std::string path = S(QCoreApplication::applicationDirPath()) + "/" + kKeyCodesFile;
        const bool ready = viewer_.Init(list_, path);
        print_->setEnabled(ready);
        search_->setEnabled(ready);
        return ready;
    }
    void TakeAccepted(QObject* c) override {
        if (c == print_) viewer_.Print();
        else if (c == search_) viewer_.Find();
    }
    void Kill() override { viewer_.Kill(); }

private:
    QWidget* w_ = nullptr;
    QListView* list_ = nullptr;
    QPushButton *print_ = nullptr, *search_ = nullptr, *close_ = nullptr;
    AsciiViewer viewer_;
};

}  // namespace

void UpdateScripting(std::function<void(int)> done, ScriptOwner owner) {
    (new UpdateScriptingWindow(owner))->Call(std::move(done));
}

void UpdateScripting_StartProgram_Advanced(Scripting& item, std::function<void(int)> done) {
    (new StartProgramAdvancedWindow(item))->Call(std::move(done));
}

void SetMessageChooser(MessageChooser chooser) { InstalledMessageChooser() = std::move(chooser); }
void SetNewMessageForm(NewMessageForm form) { InstalledNewMessageForm() = std::move(form); }

void ViewAscii_ScriptKeys() { (new ViewScriptKeysWindow)->Call(); }

}  // namespace kr::scriptedit
