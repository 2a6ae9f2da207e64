#include "scheduler/windows/MainLayout.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "platform/ui/Toolbar.h"

namespace kr {

MainLayout::MainLayout() = default;
MainLayout::~MainLayout() = default;

QAction* MainLayout::Add(QMenu* menu, int command, const char* text, const QKeySequence& key, const char* tip) {
    QAction* a = menu->addAction(QString::fromUtf8(text));
    SetCommand(a, command);
    if (tip) a->setStatusTip(QString::fromUtf8(tip));
    if (!key.isEmpty()) a->setShortcut(key);
    if (!commands.count(command)) commands[command] = a;
    return a;
}

QMenu* MainLayout::Submenu(QMenu* menu, const char* text, const char* tip) {
    QMenu* m = menu->addMenu(QString::fromUtf8(text));
    m->menuAction()->setStatusTip(QString::fromUtf8(tip));
    return m;
}

std::vector<QAction*> MainLayout::ActionsOf(int command) const {
    std::vector<QAction*> out;
    if (auto i = commands.find(command); i != commands.end()) out.push_back(i->second);
    if (auto i = toolbarCommands.find(command); i != toolbarCommands.end()) out.push_back(i->second);
    // A command with two menu items (Setup and Lists) gives both.
    for (QAction* a : window->findChildren<QAction*>())
        if (CommandOf(a) == command && std::find(out.begin(), out.end(), a) == out.end()) out.push_back(a);
    return out;
}

void MainLayout::Build() {
    window = new QMainWindow;
    window->setObjectName(QStringLiteral("Main"));
    window->resize(640, 420);
    QMenuBar* bar = window->menuBar();

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    QMenu* import = Submenu(file, "&Import", "Import From Comma-Delimited Files");
    Add(import, -11, "&Schedule", {}, "Import from a Comma-Delimited Text File");
    Add(import, -12, "&Contacts", {}, "Import Contacts from a Comma-Delimited File");
    Add(import, -13, "&To Do", {}, "Import To Do List from Comma-Delimited File");
    QMenu* exportMenu = Submenu(file, "&Export", "Export to Comma-Delimited Files");
    Add(exportMenu, -15, "&Schedule", {}, "Export to a Comma-Delimited Text File");
    Add(exportMenu, -16, "&Contacts", {}, "Export Contacts to Comma-Delimited Text File");
    Add(exportMenu, -17, "&To Do", {}, "Export To Do List to Comma-Delimited File");
    file->addSeparator();
    Add(file, -20, "Backup/Restore");
    Add(file, -19, "View &Log", QKeySequence(Qt::Key_F8));
    QMenu* support = file->addMenu(QStringLiteral("Support &Tools"));
    Add(support, -25, "&File Manager");
    Add(support, -22, "View Current Script");
    Add(support, -23, "&Report Bug", QKeySequence(Qt::Key_F9));
    file->addSeparator();
    printSetup = file->addAction(QStringLiteral("Print Setup ..."));
    file->addSeparator();
    Add(file, -26, "E&xit");

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    cut = edit->addAction(QStringLiteral("Cu&t"));
    cut->setShortcut(QKeySequence::Cut);
    copy = edit->addAction(QStringLiteral("&Copy"));
    copy->setShortcut(QKeySequence::Copy);
    paste = edit->addAction(QStringLiteral("&Paste"));
    paste->setShortcut(QKeySequence::Paste);

    QMenu* setup = bar->addMenu(QStringLiteral("&Setup"));
    Add(setup, -2, "&Options", QKeySequence(Qt::Key_F10));
    setup->addSeparator();
    Add(setup, -3, "&Task Categories");
    Add(setup, -4, "&Contact Categories");
    Add(setup, -5, "C&lipboard Categories");
    Add(setup, -6, "&Holidays");
    Add(setup, -7, "&Script Templates");
    setup->addSeparator();
    Add(setup, -8, "House&keeping");

    QMenu* lists = bar->addMenu(QStringLiteral("&Lists"));
    Add(lists, -32, "&Scheduled Tasks", QKeySequence(Qt::CTRL | Qt::Key_S));
    Add(lists, -24, "Explore &Schedule", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
    Add(lists, -33, "Hot &Keys", QKeySequence(Qt::CTRL | Qt::Key_K));
    Add(lists, -34, "&To Do Items", QKeySequence(Qt::CTRL | Qt::Key_T));
    Add(lists, -35, "&Contacts", QKeySequence(Qt::CTRL | Qt::Key_O));
    Add(lists, -36, "&E-mail Messages", QKeySequence(Qt::CTRL | Qt::Key_E));
    Add(lists, -37, "Clip&board Saver");
    lists->addSeparator();
    Add(lists, -38, "Task Cate&gories");
    Add(lists, -39, "Co&ntact Categories");
    Add(lists, -40, "C&lipboard Categories");

    QMenu* create = bar->addMenu(QStringLiteral("&New"));
    Add(create, -45, "New &Task (Wizard)", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B));
    Add(create, -42, "New &Message (Wizard)", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    Add(create, -43, "New &Program (Wizard)", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    Add(create, -44, "New &Script (Wizard)", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    Add(create, -46, "Enter &Birthdays");
    create->addSeparator();
    Add(create, -47, "New &Hot Key", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));

    QMenu* reports = bar->addMenu(QStringLiteral("&Reports"));
    QMenu* schedule = reports->addMenu(QStringLiteral("&Schedule"));
    Add(schedule, -50, "&Brief Schedule");
    Add(schedule, -51, "&All in Date Order", {}, "Print ordered by Date");
    Add(schedule, -52, "All in &Category Order", {}, "Print ordered by Category");
    Add(schedule, -53, "&Specific Category", {}, "Print schedule for one category only");
    Add(schedule, -54, "&Checklist Style", {}, "Brief Schedule in Daily Checklist Format");
    QMenu* todo = reports->addMenu(QStringLiteral("&To Do List"));
    Add(todo, -56, "&Priority", {}, "Print To Do List by Priority");
    Add(todo, -57, "&Category", {}, "Print To Do List by Category");
    // The contact list keeps its submenu; the task categories' list is an
    // item of the menu itself, beside the other task reports.
    QMenu* contacts = Submenu(reports, "&Contacts", "List of Contacts");
    Add(contacts, -58, "&Contacts", {}, "List of Contacts");
    Add(reports, -59, "Cate&gories", {}, "Print ordered by Category");

    QMenu* windows = bar->addMenu(QStringLiteral("&Window"));
    tile = windows->addAction(QStringLiteral("T&ile"));
    cascade = windows->addAction(QStringLiteral("&Cascade"));
    arrangeIcons = windows->addAction(QStringLiteral("&Arrange Icons"));
    windowMenu = windows;

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    helpContents = help->addAction(QStringLiteral("&Contents"));
    helpSearch = help->addAction(QStringLiteral("&Search for Help On..."));
    helpHowTo = help->addAction(QStringLiteral("&How to Use Help"));
    help->addSeparator();
    Add(help, -70, "Kairoll on the &Web");
    Add(help, -71, "&E-mail for Support");
    help->addSeparator();
    Add(help, -72, "&About");

    toolbar = window->addToolBar(QStringLiteral("Commands"));
    toolbar->setObjectName(QStringLiteral("MainToolbar"));
    toolbar->setMovable(false);
    tools = std::make_unique<Toolbar>(toolbar);
    const struct {
        int command;
        const char* tip;
        const char* icon;
    } buttons[] = {
        {-73, "Program Wizard", "prgwiz16.ico"}, {-74, "Message Wizard", "msgwiz16.ico"},
        {-75, "Script Wizard", "scrwiz16.ico"},  {0, nullptr, nullptr},
        {-76, "View Schedule", "schedule.ico"},  {-77, "To Do List", "todo.ico"},
        {-78, "Contacts", "contacts.ico"},       {-79, "Clipboard Saver", "clipbrd.ico"},
        {-80, "Email Messages", "email.ico"},    {0, nullptr, nullptr},
        {-81, "Options", "wrench16.ico"},        {-84, "Stop Active Scripts", "stopscr.ico"},
    };
    for (const auto& b : buttons) {
        if (!b.tip) {
            tools->AddSeparator();
            continue;
        }
        toolbarCommands[b.command] = tools->AddButton(b.command, b.tip, b.icon);
    }

    QStatusBar* status = window->statusBar();
    activity = new QLabel;
    activity->setFixedSize(18, 18);
    indicator = new QLabel;
    indicator->setFixedWidth(12);
    status->addWidget(activity);
    status->addWidget(indicator);
    activityText = new QLabel;
    activityText->setObjectName(QStringLiteral("ActivityText"));
    activityText->hide();
    status->addWidget(activityText);
    for (int z = 1; z <= 4; ++z) {
        zones[z] = new QLabel;
        zones[z]->setObjectName(QStringLiteral("Zone%1").arg(z));
    }
    status->addWidget(zones[1], 1);
    status->addPermanentWidget(zones[2], 2);
    status->addPermanentWidget(zones[3]);
    status->addPermanentWidget(zones[4]);
}

}  // namespace kr
