// A list window over Schedule declared the framework's way, and a small
// task form it opens with the request codes.
#pragma once

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

#include "dictionary/SchedulingTables.h"
#include "platform/data/FileManager.h"
#include "platform/data/Table.h"
#include "platform/ui/BrowseView.h"
#include "platform/ui/Requests.h"
#include "platform/ui/WindowManager.h"

namespace kr::test {

struct TaskFormLayout {
    QWidget* window = nullptr;
    QLineEdit* description = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    void Build() {
        window = new QWidget;
        auto* l = new QVBoxLayout(window);
        description = new QLineEdit(window);
        ok = new QPushButton("&OK", window);
        cancel = new QPushButton("Cancel", window);
        l->addWidget(description);
        l->addWidget(ok);
        l->addWidget(cancel);
    }
};

// The form: shows the buffer's description, writes what its request asks.
class TaskForm : public WindowManager {
public:
    TaskForm() : WindowManager("UpdateTask") {
        SetRestorePosition(false);
        SetSavePosition(false);
    }
    TaskFormLayout ui;
    static inline TaskForm* last = nullptr;
    static inline int lastRequest = 0;
    static inline bool lastKept = false;

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        last = this;
        lastRequest = Request();
        lastKept = BufferKeptForInsert();
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        if (Request() == kViewRecord) SetViewMode(true);
        ui.description->setText(QString::fromStdString(T().Rec<Schedule>().Description.str()));
        return true;
    }
    bool TakeCompleted() override {
        Schedule& s = T().Rec<Schedule>();
        s.Description = ui.description->text().toStdString();
        int e = 0;
        if (Request() == kInsertRecord) {
            s.ID = 1000 + static_cast<int>(T().Records());
            e = T().Add();
        } else if (Request() == kChangeRecord) {
            e = T().Put();
        } else if (Request() == kDeleteRecord) {
            e = T().Delete();
        }
        return e == 0;
    }
    static data::Table& T() { return data::TableOf(ScheduleDef()); }
};

struct TaskListLayout {
    QWidget* window = nullptr;
    QTableView* list = nullptr;
    QLineEdit* locator = nullptr;
    QPushButton *insert = nullptr, *change = nullptr, *del = nullptr, *select = nullptr, *view = nullptr,
                *copy = nullptr, *close = nullptr;
    void Build() {
        window = new QWidget;
        window->resize(640, 400);
        auto* l = new QVBoxLayout(window);
        locator = new QLineEdit(window);
        list = new QTableView(window);
        l->addWidget(locator);
        l->addWidget(list);
        auto* row = new QHBoxLayout;
        insert = new QPushButton("&Insert", window);
        change = new QPushButton("&Change", window);
        del = new QPushButton("&Delete", window);
        select = new QPushButton("&Select", window);
        view = new QPushButton("&View", window);
        copy = new QPushButton("Cop&y", window);
        close = new QPushButton("Cl&ose", window);
        for (QPushButton* b : {insert, change, del, select, view, copy, close}) row->addWidget(b);
        l->addLayout(row);
    }
};

class TaskList : public WindowManager {
public:
    explicit TaskList(bool withView = true) : WindowManager("BrowseTasks"), withView_(withView) {
        SetRestorePosition(false);
        SetSavePosition(false);
    }
    TaskListLayout ui;
    std::unique_ptr<BrowseView> list;
    static inline TaskList* last = nullptr;

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        last = this;
        SetCancelControl(ui.close);
        list = std::make_unique<BrowseView>(data::TableOf(ScheduleDef()), ui.list, this);
        list->AddColumn({"Date", "SCH:Date", "@d6", 47});
        list->AddColumn({"Category", "SCH:Category", "@s20", 57});
        list->AddColumn({"Description", "SCH:Description", "@s40", 135});
        list->AddColumn({"ID", "SCH:ID", "@n6", 30, 'R'});
        list->AddSortOrder(ScheduleDef().key("SCH:KeyID"));
        list->AddLocator("SCH:ID");
        list->AddSortOrder(ScheduleDef().key("SCH:KeyCategory"));
        list->AddRange("SCH:Category", [this] { return Value(category); });
        list->AddLocator("SCH:Description");
        list->SetSortOrder(1);
        list->SetInsertControl(ui.insert);
        list->SetChangeControl(ui.change);
        list->SetDeleteControl(ui.del);
        list->SetSelectControl(ui.select);
        if (withView_) list->SetViewControl(ui.view);
        else ui.view->hide();
        list->SetCopyControl(ui.copy);
        list->SetLocatorControl(ui.locator);
        if (relations) list->SetDeleteThroughRelations(relations);
        else list->SetUpdateProcedure([](int, std::function<void(int)> done) { (new TaskForm)->Call(std::move(done)); });
        return list->Init() == 0;
    }
    bool TakeEvent(int event) override { return list->TakeEvent(event); }
    void TakeAccepted(QObject* control) override { list->HandleAccepted(control); }

public:
    std::string category = "Home";
    static inline data::RelationManager* relations = nullptr;  // delete without a form

private:
    bool withView_;
};

}  // namespace kr::test
