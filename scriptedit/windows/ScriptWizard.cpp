// Wizard:Script: "New Script Task Wizard", a "Run Program" task whose work is
// its script, in four pages (Command, When, Category, Advanced). The task ID
// is reserved as the wizard opens and the items are filed under it at once;
// Cancel deletes them and the placeholder. Called from the hot-key form with
// request 1 (new) or 2 (the key's task in the Schedule buffer) it runs in
// hot-key mode: a "Hot Key" task without date or recurrence, edited on the
// Command and Category pages; Cancel there puts the items back as they were.
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QCheckBox>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <filesystem>
#include <memory>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/fPasswordValidation.h"
#include "platform/data/Errors.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/BrowseView.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/OpenEditors.h"
#include "scheduler/ScheduleDefaults.h"
#include "scheduler/TableScheduleStore.h"
#include "scheduler/windows/Main.h"
#include "scriptedit/ScriptCopy.h"
#include "scriptedit/ScriptItems.h"
#include "scriptedit/ScriptSequencer.h"
#include "scriptedit/ScriptTemplates.h"
#include "scriptedit/windows/ScriptExchangeWindows.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/TaskEditorRules.h"
#include "tasks/TaskReservation.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::scriptedit {

namespace {

using data::kLevelBenign;
using tasks::MakeButton;

constexpr int kDetailsSize = 60;

struct ScriptWizardLayout {
    QWidget* window = nullptr;
    QStackedWidget* pages = nullptr;
    QTableView *templates = nullptr, *items = nullptr;
    QPushButton *addTemplate = nullptr, *add = nullptr, *copy = nullptr, *edit = nullptr, *del = nullptr;
    QPushButton *import = nullptr, *exportScript = nullptr, *clear = nullptr, *editText = nullptr;
    QPushButton *up = nullptr, *top = nullptr, *down = nullptr, *bottom = nullptr;
    QComboBox *scheduleType = nullptr, *everyType = nullptr, *category = nullptr;
    QLineEdit *date = nullptr, *time = nullptr, *description = nullptr, *wavFile = nullptr;
    QSpinBox* every = nullptr;
    QCheckBox *disabled = nullptr, *alarm = nullptr, *monthEnd = nullptr;
    QCheckBox* day[7] = {};
    QPushButton *wavBrowse = nullptr;
    QLabel* picture = nullptr;
    QPushButton *back = nullptr, *next = nullptr, *finish = nullptr, *cancel = nullptr;

    void Build() {
        window = new QWidget;
        window->setWindowTitle("Add Script Wizard");
        window->setWindowIcon(IconByName("taskdoc1.ico"));
        window->resize(780, 480);
        auto* v = new QVBoxLayout(window);
        auto* body = new QHBoxLayout;
        picture = new QLabel(window);
        picture->setPixmap(IconByName("~TIMEPC_L.GIF").pixmap(48, 48));
        body->addWidget(picture, 0, Qt::AlignTop);
        pages = new QStackedWidget(window);
        pages->setObjectName("pages");
        body->addWidget(pages, 1);
        v->addLayout(body);

        // Page 1: the script.
        auto* p1 = new QWidget;
        auto* l1 = new QVBoxLayout(p1);
        l1->addWidget(new QLabel("Create a script...", p1));
        auto* intro = new QLabel("A script consists of one or several actions, which can be added one at a time or "
                                 "en masse through templates.",
                                 p1);
        intro->setWordWrap(true);
        l1->addWidget(intro);
        auto* row = new QHBoxLayout;
        templates = new QTableView(p1);
        templates->setObjectName("templates");
        items = new QTableView(p1);
        items->setObjectName("items");
        row->addWidget(templates, 1);
        row->addWidget(items, 2);
        auto* moves = new QVBoxLayout;
        top = MakeButton(p1, "Top", "top");
        top->setToolTip("Move record to the top");
        up = MakeButton(p1, "Up", "up");
        up->setToolTip("Move record up one");
        down = MakeButton(p1, "Down", "down");
        down->setToolTip("Move record down one");
        bottom = MakeButton(p1, "Bottom", "bottom");
        bottom->setToolTip("Move record to the bottom");
        for (QPushButton* b : {top, up, down, bottom}) moves->addWidget(b);
        moves->addStretch();
        row->addLayout(moves);
        l1->addLayout(row);
        auto* b1 = new QHBoxLayout;
        addTemplate = MakeButton(p1, "&Add template to script", "addTemplate");
        addTemplate->setToolTip("Copy from highlighted script template onto the end of the current script");
        add = MakeButton(p1, "Add", "add");
        add->setToolTip("Add script item");
        copy = MakeButton(p1, "Cop&y", "copy");
        copy->setToolTip("Copy script item");
        edit = MakeButton(p1, "&Edit", "edit");
        edit->setToolTip("Edit script item");
        del = MakeButton(p1, "&Delete", "del");
        del->setToolTip("Delete script item");
        for (QPushButton* b : {addTemplate, add, copy, edit, del}) b1->addWidget(b);
        b1->addStretch();
        l1->addLayout(b1);
        auto* b2 = new QHBoxLayout;
        import = MakeButton(p1, "Import", "import");
        exportScript = MakeButton(p1, "E&xport", "export");
        clear = MakeButton(p1, "Delete All", "clear");
        clear->setToolTip("Delete all script items");
        editText = MakeButton(p1, "Edit as &Text", "editText");
        for (QPushButton* b : {import, exportScript, clear, editText}) b2->addWidget(b);
        b2->addStretch();
        l1->addLayout(b2);
        pages->addWidget(p1);

        // Page 2: when the task runs.
        auto* p2 = new QWidget;
        auto* g2 = new QGridLayout(p2);
        g2->addWidget(new QLabel("When...", p2), 0, 0, 1, 3);
        scheduleType = new QComboBox(p2);
        scheduleType->setObjectName("scheduleType");
        for (const char* t : kScheduleTypes) scheduleType->addItem(t);
        g2->addWidget(new QLabel("Schedule Type:", p2), 1, 0);
        g2->addWidget(scheduleType, 1, 1);
        date = new QLineEdit(p2);
        date->setObjectName("date");
        date->setToolTip("Next Date to Perform Task");
        time = new QLineEdit(p2);
        time->setObjectName("time");
        time->setToolTip("Next Time to Perform Task");
        g2->addWidget(new QLabel("Next Date:", p2), 2, 0);
        g2->addWidget(date, 2, 1);
        g2->addWidget(new QLabel("Next Time:", p2), 3, 0);
        g2->addWidget(time, 3, 1);
        every = new QSpinBox(p2);
        every->setObjectName("every");
        every->setRange(0, 99999);
        every->setToolTip("Repeat Task Every...");
        everyType = new QComboBox(p2);
        everyType->setObjectName("everyType");
        for (const char* t : {"minute(s)", "hour(s)", "day(s)", "week(s)", "month(s)", "year(s)"})
            everyType->addItem(t);
        g2->addWidget(new QLabel("Every:", p2), 4, 0);
        g2->addWidget(every, 4, 1);
        g2->addWidget(everyType, 4, 2);
        auto* days = new QHBoxLayout;
        const char* names[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
        for (int i = 0; i < 7; ++i) {
            day[i] = new QCheckBox(QString(names[i]).left(3), p2);
            day[i]->setObjectName(names[i]);
            day[i]->setToolTip(names[i]);
            days->addWidget(day[i]);
        }
        monthEnd = new QCheckBox("Month End", p2);
        monthEnd->setObjectName("monthEnd");
        days->addWidget(monthEnd);
        days->addStretch();
        g2->addLayout(days, 5, 0, 1, 3);
        g2->setRowStretch(6, 1);
        pages->addWidget(p2);

        // Page 3: description and category.
        auto* p3 = new QWidget;
        auto* g3 = new QGridLayout(p3);
        g3->addWidget(new QLabel("Category...", p3), 0, 0, 1, 2);
        description = new QLineEdit(p3);
        description->setObjectName("description");
        description->setMaxLength(40);
        description->setToolTip("Description or Title of Task");
        g3->addWidget(new QLabel("&Description:", p3), 1, 0);
        g3->addWidget(description, 1, 1);
        category = new QComboBox(p3);
        category->setObjectName("category");
        category->setEditable(true);
        g3->addWidget(new QLabel("Category:", p3), 2, 0);
        g3->addWidget(category, 2, 1);
        disabled = new QCheckBox("Disable", p3);
        disabled->setObjectName("disabled");
        g3->addWidget(disabled, 3, 1);
        g3->setRowStretch(4, 1);
        pages->addWidget(p3);

        // Page 4: the alarm.
        auto* p4 = new QWidget;
        auto* g4 = new QGridLayout(p4);
        g4->addWidget(new QLabel("Advanced...", p4), 0, 0, 1, 3);
        alarm = new QCheckBox("Alarm", p4);
        alarm->setObjectName("alarm");
        g4->addWidget(alarm, 1, 0);
        wavFile = new QLineEdit(p4);
        wavFile->setObjectName("wavFile");
        wavFile->setToolTip("WAV file to play as an alarm");
        wavBrowse = MakeButton(p4, "&Browse", "wavBrowse");
        g4->addWidget(new QLabel("WAV File:", p4), 2, 0);
        g4->addWidget(wavFile, 2, 1);
        g4->addWidget(wavBrowse, 2, 2);
        g4->setRowStretch(3, 1);
        pages->addWidget(p4);

        back = MakeButton(window, "&Back", "back");
        next = MakeButton(window, "&Next", "next");
        finish = MakeButton(window, "&Finish", "finish", "OK.ICO");
        cancel = MakeButton(window, "Cancel", "cancel", "CANCEL.ICO");
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        for (QPushButton* b : {back, next, finish, cancel}) buttons->addWidget(b);
        v->addLayout(buttons);
    }
};

// The task's items as they are now (hot-key mode keeps them to restore).
std::vector<Scripting> ReadScriptItems(int32_t taskID) {
    std::vector<Scripting> out;
    TableOf(ScriptingDef()).ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")},
                                         {Value(taskID)}, [&](int64_t, const void* rec) {
                                             out.push_back(*static_cast<const Scripting*>(rec));
                                             return true;
                                         });
    return out;
}

class ScriptWizardWindow : public WindowManager {
public:
    explicit ScriptWizardWindow(int request) : WindowManager("Wizard:Script"), entry_(request) {
        SetSavePosition(true, false);
    }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    Schedule& SCH() { return Schedule_File().rec(); }
    Scripting& SCR() { return Scripting_File().rec(); }

    bool Init() override {
        hotKey_ = entry_ == 1 || entry_ == 2;
        change_ = entry_ == 2;
        SetRequest(change_ ? kChangeRecord : kInsertRecord);
        if (!fPasswordValidation()) return false;
        EditorOpened();
        counted_ = true;
        GlobalRequest() = 0;
        GlobalResponse() = 0;
        if (Schedule_File().Open() != kLevelBenign) return false;
        scheduleOpen_ = true;
        if (Scripting_File().Open() != kLevelBenign) return false;
        scriptingOpen_ = true;
        if (ScriptTemplates_File().Open() == kLevelBenign) templatesOpen_ = true;
        if (Categories_File().Open() == kLevelBenign) categoriesOpen_ = true;
        SetOkControl(ui.finish);
        SetCancelControl(ui.cancel);
        datePicture_ = data::ApplyDatePicture("@d17", Trim(Options().GlobalDateFormat.get()));
        Prime();

        required_.Init(ui.window, "Missing Information", "@PROMPT must be entered.");
        required_.SetMessage(ui.every, true, "Every", "Repeat Task Every...", "Repeat Task Every...", "SCH:Every");
        required_.SetMessage(ui.date, true, "Next Date", "Next Date to Perform Task", "Next Date to Perform Task",
                             "SCH:Date");
        required_.SetMessage(ui.time, true, "Next Time", "Next Time to Perform Task", "Next Time to Perform Task",
                             "SCH:Time");
        required_.SetMessage(ui.wavFile, true, "Alarm File", "WAV file to play as an alarm",
                             "WAV file to play as an alarm", "SCH:AlarmFile");

        if (!change_) {
            reserved_ = tasks::ReserveTaskID(0);
            if (reserved_ == 0) Message("Auto-increment error.  Could not set unique schedule ID.", "Internal Error");
        } else {
            entryItems_ = ReadScriptItems(SCH().ID);
        }
        task_ = SCH().ID;
        HoldTask(task_);
        held_ = task_;

        BuildTemplateList();
        if (!BuildItemList()) return false;
        if (hotKey_) {
            ClearRecurrence();
            SetTitle("Hot Key Script Wizard");
        } else {
            SetTitle(change_ ? "Edit Script Task Wizard" : "New Script Task Wizard");
        }
        Show();
        ShowPage(0);
        return true;
    }

    // The new record (or, in hot-key mode, the key's task) before the pages
    // show it.
    void Prime() {
        Schedule& s = SCH();
        if (hotKey_) {
            if (!change_) s = Schedule();
            s.TaskType = "Run Program";
            s.Command = "N/A";
            s.Category = "Hot Key";
            if (!change_) s.Description = "Hot Key " + ClipRight(SysHotKeys_File().rec().HotKey.str());
            return;
        }
        s = Schedule();
        s.Date = Today();
        s.Time = ClockTime();
        s.ScheduleType = "Day of Week";
        s.EveryLast = 1;
        s.Sunday = s.Monday = s.Tuesday = s.Wednesday = s.Thursday = s.Friday = s.Saturday = 1;
        s.Warn = 1;
        s.TaskType = "Run Program";
        s.Command = "N/A";
        s.Every = 1;
        s.EveryType = "hour(s)";
        s.Category = "General";
        s.Completed = 0;
        if (categoriesOpen_) tasks::EnsureCategory("General");
    }

    // A hot-key task runs on its key only: no type of its own, no date, time,
    // recurrence or exceptions.
    void ClearRecurrence() {
        Schedule& s = SCH();
        s.TaskType = "Hot Key";
        s.Sunday = s.Monday = s.Tuesday = s.Wednesday = s.Thursday = s.Friday = s.Saturday = 0;
        s.Every1st = s.Every2nd = s.Every3rd = s.Every4th = s.EveryLast = s.LastDayofMonth = 0;
        s.ScheduleType = "";
        s.MonthRepeat = "";
        s.Offset = 0;
        s.Every = 0;
        s.EveryType = "";
        s.Date = s.Time = 0;
        s.ShiftType = "";
        s.ExceptWeekends = s.ExceptWeekdays = s.ExceptHolidays = s.ExceptTime = 0;
        s.ExceptTimeBegin = s.ExceptTimeEnd = 0;
        s.ExceptOther = "";
    }

    void BuildTemplateList() {
        if (!templatesOpen_) return;
        templates_ = std::make_unique<BrowseView>(ScriptTemplates_File().File(), ui.templates, this);
        templates_->AddColumn({"Script Templates", "KRT:Description", "@s60", 240});
        templates_->AddSortOrder(ScriptTemplatesDef().key("KRT:K_Description"));
        templates_->SetSortOrder(1);
        templates_->Init();
        connect(ui.templates, &QTableView::doubleClicked, this, [this] { AddTemplate(); });
    }

    bool BuildItemList() {
        items_ = std::make_unique<BrowseView>(Scripting_File().File(), ui.items, this);
        items_->AddColumn({"Action", "SCR:Action", "@s27", 100});
        items_->AddColumn({"Details", "LOC:Details", "@s60", 300, 'L', [this](const data::ListRow& r) {
                               Scripting item;
                               items_->query().ToRecord(r, &item);
                               std::string d = DescribeScriptItem(item);
                               if (d.size() > kDetailsSize) d.resize(kDetailsSize);
                               return Value(d);
                           }});
        items_->AddSortOrder(ScriptingDef().key("SCR:KeyID"));
        items_->AddRange("SCR:ID", [this] { return Value(task_); });
        items_->SetSortOrder(1);
        items_->SetInsertControl(ui.add);
        items_->SetCopyControl(ui.copy);
        items_->SetChangeControl(ui.edit);
        items_->SetDeleteControl(ui.del);
        items_->SetOnNewSelection([this] { highlighted_ = SCR().Sequence; });
        items_->SetUpdateProcedure([this](int request, std::function<void(int)> done) {
            if (request == kInsertRecord) sequencer_.insertAfter = items_->HasRows() ? highlighted_ : 0;
            if (request == kDeleteRecord) sequencer_.renumberStart = SCR().Sequence;
            UpdateScripting([this, request, done](int response) {
                if (response == kRequestCompleted && request == kInsertRecord)
                    sequencer_.MoveAfter(task_, SCR().Sequence);
                if (response == kRequestCompleted && request == kDeleteRecord) sequencer_.Renumber(task_);
                sequencer_.insertAfter = sequencer_.renumberStart = 0;
                done(response);
                if (ui.window) Refresh();
            });
        });
        items_->Popup().AddItemMimic("AddTemplate", "&Add template to script", ui.addTemplate);
        items_->Popup().AddItemMimic("EditAsText", "Edit as &Text", ui.editText);
        items_->Popup().AddItemMimic("Import", "Import", ui.import);
        items_->Popup().AddItemMimic("Export", "E&xport", ui.exportScript);
        if (items_->Init() != 0) return false;
        UpdateItemButtons();
        return true;
    }

    void UpdateItemButtons() {
        const bool rows = task_ != 0 && items_->HasRows();
        for (QPushButton* b : {ui.copy, ui.edit, ui.del, ui.up, ui.top, ui.down, ui.bottom, ui.clear})
            b->setEnabled(rows);
        ui.addTemplate->setEnabled(templates_ && templates_->HasRows() && task_ != 0);
    }

    void Refresh() {
        items_->ResetFromFile();
        UpdateItemButtons();
    }

    void AddTemplate() {
        if (!templates_ || task_ == 0 || !templates_->UpdateViewRecord()) return;
        CopyScriptTemplateToScript(ScriptTemplates_File().rec().Wiz_ID, task_);
        Refresh();
    }

    void Move(ScriptSequencer::Direction d) {
        if (!items_->UpdateViewRecord()) return;
        const int64_t row = items_->SelectedRowId();
        const int32_t seq = SCR().Sequence;
        switch (d) {
            case ScriptSequencer::kUp: sequencer_.MoveUp(task_, seq); break;
            case ScriptSequencer::kDown: sequencer_.MoveDown(task_, seq); break;
            case ScriptSequencer::kToTop: sequencer_.MoveToTop(task_, seq); break;
            default: sequencer_.MoveToBottom(task_, seq); break;
        }
        items_->ResetFromFile();
        items_->SelectRowId(row);
        ui.items->setFocus();
    }

    // The buffer into the pages.
    void Show() {
        const Schedule& s = SCH();
        ui.scheduleType->setCurrentText(QString::fromStdString(Trim(s.ScheduleType.str())));
        ui.date->setText(s.Date ? QString::fromStdString(Trim(Format(Value(s.Date), datePicture_))) : QString());
        ui.time->setText(s.Time ? QString::fromStdString(Trim(Format(Value(s.Time), "@t1"))) : QString());
        ui.every->setValue(s.Every);
        const uint8_t* days[] = {&s.Sunday, &s.Monday, &s.Tuesday, &s.Wednesday, &s.Thursday, &s.Friday, &s.Saturday};
        for (int i = 0; i < 7; ++i) ui.day[i]->setChecked(*days[i] != 0);
        ui.monthEnd->setChecked(s.LastDayofMonth != 0);
        MonthEndRule();
        ui.everyType->setCurrentText(QString::fromStdString(Trim(s.EveryType.str())));
        ui.description->setText(QString::fromStdString(ClipRight(s.Description.str())));
        ui.category->clear();
        if (categoriesOpen_)
            Categories_File().File().ForEachMatch(CategoriesDef().key("CAT:KeyCategory"), {}, {},
                                                  [&](int64_t, const void* rec) {
                                                      ui.category->addItem(QString::fromStdString(
                                                          ClipRight(static_cast<const Categories*>(rec)->Category.str())));
                                                      return true;
                                                  });
        ui.category->setCurrentText(QString::fromStdString(ClipRight(s.Category.str())));
        ui.disabled->setChecked(s.Disabled != 0);
        ui.alarm->setChecked(s.Alarm != 0);
        ui.wavFile->setText(QString::fromStdString(s.AlarmFile.str()));
        AlarmRule();
    }

    // The pages into the buffer.
    void Store() {
        Schedule& s = SCH();
        if (!hotKey_) {
            s.ScheduleType = ui.scheduleType->currentText().toStdString();
            s.Date = 0;
            if (auto v = TryDeformat(ui.date->text().toStdString(), datePicture_)) s.Date = static_cast<int32_t>(v->toInt());
            s.Time = 0;
            if (auto v = TryDeformat(ui.time->text().toStdString(), "@t1")) s.Time = static_cast<int32_t>(v->toInt());
            s.Every = ui.every->value();
            uint8_t* days[] = {&s.Sunday, &s.Monday, &s.Tuesday, &s.Wednesday, &s.Thursday, &s.Friday, &s.Saturday};
            for (int i = 0; i < 7; ++i) *days[i] = ui.day[i]->isChecked() ? 1 : 0;
            s.LastDayofMonth = ui.monthEnd->isChecked() ? 1 : 0;
            s.EveryType = ui.everyType->currentText().toStdString();
        }
        s.Description = ui.description->text().toStdString();
        s.Category = ui.category->currentText().toStdString();
        s.Disabled = ui.disabled->isChecked() ? 1 : 0;
        s.Alarm = ui.alarm->isChecked() ? 1 : 0;
        s.AlarmFile = ui.wavFile->text().toStdString();
    }

    // Month End ticked stands for the day boxes: they are greyed at once.
    void MonthEndRule() {
        for (QCheckBox* b : ui.day) b->setEnabled(!ui.monthEnd->isChecked());
        ui.monthEnd->setEnabled(true);
    }

    void AlarmRule() {
        const bool on = ui.alarm->isChecked();
        ui.wavFile->setEnabled(on);
        ui.wavBrowse->setEnabled(on);
        if (on && ui.wavFile->text().trimmed().isEmpty()) {
            const std::string last = GetIniValue(Options().ININame.get(), "Settings", "LastWAVFile", "");
            ui.wavFile->setText(QString::fromStdString(last));
        }
    }

    // Pages 0 Command, 1 When, 2 Category, 3 Advanced. Hot-key mode leads
    // from the Command page to the Category page and finishes there.
    void ShowPage(int page) {
        ui.pages->setCurrentIndex(page);
        const bool last = hotKey_ ? page == 2 : page == 3;
        ui.back->setEnabled(page > 0);
        ui.next->setEnabled(!last);
        ui.finish->setEnabled(last || (hotKey_ && page == 0) || change_);
        ui.finish->setDefault(last);
        ui.next->setDefault(!last);
        ui.picture->setVisible(page >= 2);
        if (page == 0) UpdateItemButtons();
    }

    void TakeAccepted(QObject* c) override {
        const int page = ui.pages->currentIndex();
        if (items_ && items_->HandleAccepted(c)) {
            UpdateItemButtons();
            return;
        }
        if (templates_ && templates_->HandleAccepted(c)) return;
        if (c == ui.next) {
            ShowPage(hotKey_ && page == 0 ? 2 : page + 1);
        } else if (c == ui.back) {
            ShowPage(hotKey_ && page == 2 ? 0 : page - 1);
        } else if (c == ui.addTemplate) {
            AddTemplate();
        } else if (c == ui.up) Move(ScriptSequencer::kUp);
        else if (c == ui.down) Move(ScriptSequencer::kDown);
        else if (c == ui.top) Move(ScriptSequencer::kToTop);
        else if (c == ui.bottom) Move(ScriptSequencer::kToBottom);
        else if (c == ui.clear) {
            QPointer<QWidget> w = ui.window;
            ClearAllScriptItems([this, w](bool) {
                if (w) Refresh();
            });
        } else if (c == ui.import || c == ui.exportScript) {
            QPointer<QWidget> w = ui.window;
            auto after = [this, w](int) {
                if (w) Refresh();
            };
            if (c == ui.import) ImportScriptWindow(task_, after);
            else ExportScriptWindow(task_, after);
        } else if (c == ui.editText) {
            QPointer<QWidget> w = ui.window;
            GlobalRequest() = kChangeRecord;
            ScriptEditAsText([this, w](int) {
                if (w) Refresh();
            });
        } else if (c == ui.monthEnd) {
            MonthEndRule();
        } else if (c == ui.alarm) {
            AlarmRule();
        } else if (c == ui.wavBrowse) {
            const std::string ini = Options().ININame.get();
            std::string start = GetIniValue(ini, "Defaults", "WAVPath", "");
            if (Trim(start).empty()) start = std::filesystem::current_path().string();
            const auto file = tasks::ChooseFile(ui.window, "Choose a WAV File", start,
                                                {"WAV Files (*.[wW][aA][vV])", "All Files (*)"});
            if (!file) return;
            ui.wavFile->setText(QString::fromStdString(*file));
            PutIniValue(ini, "Defaults", "WAVPath", std::filesystem::path(*file).parent_path().string());
        }
    }

    void TakeNewSelection(QObject*) override { UpdateItemButtons(); }

    bool TakeCompleted() override {
        Store();
        if (!hotKey_ && required_.Check(false)) return false;
        if (SCH().Alarm) {
            const std::string file = SCH().AlarmFile.str();
            if (!Trim(file).empty()) PutIniValue(Options().ININame.get(), "Settings", "LastWAVFile", file);
        }
        if (!hotKey_) {
            TableScheduleStore store;
            CompletionSettings settings;
            settings.userID = Options().UserID.get();
            settings.formatUserDate = [](int32_t d) { return FormatUserDate(d); };
            settings.holidays = LoadHolidays().Test();
            CompleteScheduleRecord(SCH(), store, settings);
        } else {
            ClearRecurrence();
        }
        SCH().TaskType = hotKey_ ? "Hot Key" : "Run Program";
        SCH().Command = "N/A";
        int r;
        if (change_) {
            const Schedule edited = SCH();
            r = Schedule_File().Fetch("SCH:KeyID");
            SCH() = edited;
            if (r == kLevelBenign) r = Schedule_File().Update();
        } else {
            r = Schedule_File().Insert();
        }
        if (r != kLevelBenign) return false;
        saved_ = true;
        return true;
    }

    void Kill() override {
        if (!saved_) {
            if (change_) {
                // The key's task keeps the script it had when the wizard opened.
                DeleteScript(task_);
                for (const Scripting& item : entryItems_) {
                    SCR() = item;
                    Scripting_File().Insert();
                }
            } else if (reserved_) {
                tasks::ReleaseReservedTask(reserved_);
            }
        }
        if (held_) ReleaseTask(held_);
        required_.Kill();
        if (saved_ && !hotKey_) BrowseScheduleThreads().PostToAll(1090);
        templates_.reset();
        items_.reset();
        if (categoriesOpen_) Categories_File().Close();
        if (templatesOpen_) ScriptTemplates_File().Close();
        if (scriptingOpen_) Scripting_File().Close();
        if (scheduleOpen_) Schedule_File().Close();
        if (counted_) EditorClosed();
    }

private:
    ScriptWizardLayout ui;
    RequiredFields required_;
    std::unique_ptr<BrowseView> templates_, items_;
    ScriptSequencer sequencer_;
    std::vector<Scripting> entryItems_;
    std::string datePicture_;
    int entry_ = 0;
    int32_t reserved_ = 0, held_ = 0, task_ = 0, highlighted_ = 0;
    bool hotKey_ = false, change_ = false;
    bool counted_ = false, scheduleOpen_ = false, scriptingOpen_ = false, templatesOpen_ = false,
         categoriesOpen_ = false, saved_ = false;
};

}  // namespace

void Wizard_Script(std::function<void(int response)> done) {
    const int request = GlobalRequest();
    auto* w = new ScriptWizardWindow(request == 1 || request == 2 ? request : 0);
    if (done) w->Call(std::move(done));
    else w->Open();
}

}  // namespace kr::scriptedit
