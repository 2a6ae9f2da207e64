#include "backup/windows/BackupWindows.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "platform/ui/Icons.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "platform/ui/PopupMenu.h"
#include "platform/ui/PrintSetup.h"
#include "platform/ui/WindowPosition.h"

namespace kr::backup {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
constexpr const char* kFrameTitle = "VXW Backup Module";
}  // namespace

// --- the launcher's window ---

BackupRestoreWindow::BackupRestoreWindow(LauncherRun& run, QWidget* parent) : QDialog(parent), run_(run) {
    setWindowTitle("Backup / Restore");
    setWindowIcon(IconByName("backup.ico"));
    setObjectName("Main");
    auto* v = new QVBoxLayout(this);
    v->addWidget(new QLabel("This option allows you to create or restore from", this));
    v->addWidget(new QLabel("a standard ZIP archive.", this));
    v->addWidget(new QLabel("Select an operation:", this));
    backup_ = new QRadioButton("&Backup to an archive", this);
    restore_ = new QRadioButton("&Restore from an archive", this);
    backup_->setObjectName("backup");
    restore_->setObjectName("restore");
    v->addWidget(backup_);
    v->addWidget(restore_);
    if (run_.operation == "Backup to an archive" || run_.operation == "Backup") backup_->setChecked(true);
    if (run_.operation == "Restore from an archive" || run_.operation == "Restore") restore_->setChecked(true);
    auto* label = new QLabel("Select a &name for the archive:", this);
    v->addWidget(label);
    auto* row = new QHBoxLayout;
    archive_ = new QLineEdit(Q(run_.archiveName), this);
    archive_->setObjectName("archive");
    archive_->setMaxLength(255);
    label->setBuddy(archive_);
    auto* browse = new QPushButton("...", this);
    browse->setAutoDefault(false);
    row->addWidget(archive_);
    row->addWidget(browse);
    v->addLayout(row);
    auto* buttons = new QHBoxLayout;
    auto* advanced = new QPushButton("&Advanced", this);
    auto* ok = new QPushButton("&OK", this);
    auto* cancel = new QPushButton("Cancel", this);
    advanced->setAutoDefault(false);
    cancel->setAutoDefault(false);
    ok->setDefault(true);
    buttons->addWidget(advanced);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    v->addLayout(buttons);
    connect(browse, &QPushButton::clicked, this, &BackupRestoreWindow::Browse);
    connect(advanced, &QPushButton::clicked, this, &BackupRestoreWindow::Advanced);
    connect(ok, &QPushButton::clicked, this, &BackupRestoreWindow::Ok);
    connect(cancel, &QPushButton::clicked, this, [this] {
        TakeOver();
        reject();
    });
    RestoreWindowPosition("Main", this);
}

void BackupRestoreWindow::TakeOver() {
    run_.archiveName = S(archive_->text());
    if (backup_->isChecked()) run_.operation = "Backup to an archive";
    if (restore_->isChecked()) run_.operation = "Restore from an archive";
}

void BackupRestoreWindow::Browse() {
    TakeOver();
    bool restore = run_.operation == "Restore from an archive" || run_.operation == "Restore";
    auto names = AskFileNames(this, restore ? "open" : "save",
                              restore ? "Select Archive (Restore from...)" : "Select Archive (Backup to...)",
                              "Archives|*.ZIP", run_.archiveName);
    if (!names.empty()) {
        run_.archiveName = names.front();
        archive_->setText(Q(run_.archiveName));
    }
}

void BackupRestoreWindow::Advanced() {
    TakeOver();
    StartResult r = StartProgram(AdvancedCommandLine(run_));
    if (!r.ok()) {
        Message("Unable to run VXWBACKA.EXE.", "Error", MessageIcon::Hand);
        return;
    }
    accept();
}

void BackupRestoreWindow::Ok() {
    TakeOver();
    if (run_.operation == "Backup to an archive" || run_.operation == "Backup") {
        result_ = DoBackup(run_, false);
    } else if (run_.operation == "Restore from an archive" || run_.operation == "Restore") {
        result_ = DoRestore(run_, false);
    } else {
        backup_->setFocus();
        return;
    }
    accept();
}

void BackupRestoreWindow::done(int r) {
    SaveWindowPosition("Main", this);
    QDialog::done(r);
}

// --- the assistant ---

BackupAssistantFrame::BackupAssistantFrame(LSZCLASS& z, std::string firstParameter, QWidget* parent)
    : QMainWindow(parent), z_(z), firstParameter_(std::move(firstParameter)) {
    setWindowTitle(kFrameTitle);
    setObjectName("Main");
    resize(760, 480);
    // The assistant keeps no position; left to the window manager it could
    // land partly below the screen's edge.
    PlaceOverWindow(this, nullptr);
    // Nor do its other windows (the progress windows, the printer set-up):
    // while the frame lives no position is saved or restored, so nothing is
    // written into the folder the assistant was started in.
    positionFile_ = PositionFile();
    SetPositionFile("");
    InstallArchiveUi(&ui_);
    SetArchiveWindowParent(this);
    ui_.currentRow = [this] { return list_ ? list_->currentRow() : -1; };
    ui_.listChanged = [this] { RefreshList(); };

    auto make = [this](const QString& text, const QString& name, auto slot) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(make("&New Archive...", "newArchive", [this] { NewArchiveCommand(true); }));
    file->addAction(make("&Open Archive...", "openArchive", [this] { OpenArchiveCommand(true); }));
    file->addAction(make("&Close Archive", "closeArchive", [this] { CloseArchiveCommand(); }));
    QAction* info = make("&Information...", "information", [this] { ShowZipInformation(z_); });
    file->addAction(info);
    file->addSeparator();
    file->addAction(make("P&rint Setup...", "printSetup", [this] { PrintSetupDialog(this); }));
    file->addAction(make("E&xit", "exit", [this] { close(); }));
    QMenu* edit = menuBar()->addMenu("&Edit");
    auto editKey = [](int key) {
        return [key] {
            if (QWidget* w = QApplication::focusWidget()) {
                QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier);
                QApplication::sendEvent(w, &press);
            }
        };
    };
    edit->addAction(make("Cu&t", "cut", editKey(Qt::Key_X)));
    edit->addAction(make("&Copy", "copy", editKey(Qt::Key_C)));
    edit->addAction(make("&Paste", "paste", editKey(Qt::Key_V)));
    QMenu* actions = menuBar()->addMenu("&Actions");
    QAction* add = make("Add...", "add", [this] { Add(); });
    QAction* del = make("Delete...", "delete", [this] { Delete(); });
    QAction* extract = make("Extract...", "extract", [this] { Extract(); });
    QAction* test = make("Test...", "test", [this] { Test(); });
    actions->addActions({add, del, extract, test});
    QMenu* select = menuBar()->addMenu("&Select");
    QAction* selectAll = make("&All", "selectAll", [this] { z_.MarkAll(); });
    QAction* clearAll = make("&Clear All", "clearAll", [this] { z_.ClearMarks(true); });
    select->addActions({selectAll, clearAll});
    QMenu* options = menuBar()->addMenu("&Options");
    options->addAction(make("&Zip Preferences...", "preferences", [this] { ZipPreferences(z_); }));
    QMenu* help = menuBar()->addMenu("&Help");
    for (const char* t : {"&Contents", "&Search for Help On...", "&How to Use Help"}) help->addAction(t)->setEnabled(false);
    help->addAction(make("&About...", "about", [this] { About(); }));

    QToolBar* bar = addToolBar("Tools");
    auto tool = [&](const QString& tip, const QString& name, QAction* same, auto slot) {
        QAction* a = same ? same : make(tip, name, slot);
        if (!same) bar->addAction(a);
        a->setToolTip(tip);
        return a;
    };
    tool("New Archive", "toolNewArchive", nullptr, [this] { NewArchiveCommand(false); });
    tool("Open Archive", "toolOpenArchive", nullptr, [this] { OpenArchiveCommand(false); });
    QAction* zipItems = tool("Zip Items", "zipItems", nullptr, [this] { Add(); });
    QAction* unzipItems = tool("Unzip Items", "unzipItems", nullptr, [this] { Extract(); });
    QAction* testItems = tool("Test Data Integrity", "testItems", nullptr, [this] { Test(); });
    QAction* infoItem = tool("Archive Information", "archiveInformation", nullptr, [this] { ShowZipInformation(z_); });
    QAction* deleteItems = tool("Delete Items", "deleteItems", nullptr, [this] { Delete(); });
    QAction* comment = tool("Archive Comment", "archiveComment", nullptr, [this] { EditArchiveComment(z_); });
    tool("About LSZip", "aboutTool", nullptr, [this] { About(); });
    archiveControls_ = {actions->menuAction(), add, del, extract, test, select->menuAction(), selectAll, clearAll, info, zipItems, unzipItems, testItems, infoItem, deleteItems, comment};
    EnableArchiveControls(false);
    statusBar();
    // The libraries report to the frame, the program's first window.
    z_.HookUp(static_cast<uint32_t>(winId()));
}

BackupAssistantFrame::~BackupAssistantFrame() {
    InstallArchiveUi(nullptr);
    SetArchiveWindowParent(nullptr);
    SetPositionFile(positionFile_);
}

QAction* BackupAssistantFrame::action(const QString& objectName) const { return findChild<QAction*>(objectName); }

void BackupAssistantFrame::Recommend() {
    if (firstParameter_.empty()) return;
    std::string last = GetIniValue(".\\VXWBACK.INI", "VXWBackup", "LastWarning");
    std::string files = firstParameter_;
    while (!files.empty() && files.back() == ' ') files.pop_back();
    if (files == last) return;
    Message("We recommend that you back up the following file(s):|" + files +
                "||TIP:  Create a new archive (File->New Archive) and then add the above file(s) (Actions->Add).",
            "VXW Backup Assistant", MessageIcon::Information);
    PutIniValue(".\\VXWBACK.INI", "VXWBackup", "LastWarning", firstParameter_);
}

void BackupAssistantFrame::EnableArchiveControls(bool on) {
    for (QAction* a : archiveControls_) a->setEnabled(on);
}

void BackupAssistantFrame::OpenList() {
    CloseList();
    z_.LoadArchive();
    list_ = new QTableWidget(this);
    list_->setObjectName("DisplayArchive");
    list_->setColumnCount(11);
    list_->setHorizontalHeaderLabels(
        {"Seq", "Filename", "Date", "Time", "Size", "Ratio", "Packed", "Method", "CRC-32", "Attrb", "Comment"});
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, &BackupAssistantFrame::ListPopup);
    connect(list_, &QTableWidget::itemSelectionChanged, this, &BackupAssistantFrame::SyncMarks);
    // Accepting the list (double click, Enter) opens the unzip dialog.
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this] { action("unzipItems")->trigger(); });
    auto* enter = new QAction(list_);
    enter->setShortcut(Qt::Key_Return);
    enter->setShortcutContext(Qt::WidgetShortcut);
    connect(enter, &QAction::triggered, this, [this] { action("unzipItems")->trigger(); });
    list_->addAction(enter);
    setCentralWidget(list_);
    RefreshList();
    std::string upper = z_.ZIPARCHIVENAME;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string title = kFrameTitle;
    title += " - ";
    title += upper;
    setWindowTitle(Q(title));
}

void BackupAssistantFrame::CloseList() {
    if (!list_) return;
    list_->deleteLater();
    takeCentralWidget();
    list_ = nullptr;
}

void BackupAssistantFrame::RefreshList() {
    if (!list_ || !z_.LSZQ) return;
    syncing_ = true;
    const auto& q = *z_.LSZQ;
    list_->setRowCount(static_cast<int>(q.size()));
    for (int r = 0; r < static_cast<int>(q.size()); ++r) {
        const LSZQRow& row = q[static_cast<size_t>(r)];
        QStringList cells = {QString::number(row.INDEX).rightJustified(4),
                             Q(row.FILENAME),
                             Q(Format(row.FILEDATE, "@d17")),
                             Q(Format(row.FILETIME, "@t8")),
                             Q(Format(static_cast<int64_t>(row.OSIZE), "@n13.")),
                             QString::number(row.CRATIO) + "%",
                             Q(Format(static_cast<int64_t>(row.CSIZE), "@n13.")),
                             Q(row.CMETHOD),
                             Q(row.CRC32),
                             Q(row.ATTRIBUTE),
                             Q(row.FILECOMMENT)};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c].trimmed());
            if (c == 0 || c == 4 || c == 5 || c == 6) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            list_->setItem(r, c, item);
        }
    }
    list_->clearSelection();
    for (int r = 0; r < static_cast<int>(q.size()); ++r)
        if (q[static_cast<size_t>(r)].MARKED)
            list_->selectionModel()->select(list_->model()->index(r, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list_->resizeColumnsToContents();
    syncing_ = false;
}

// The list's selection is the members' marks: a click marks one row, Shift
// with a click or the arrow, page and end keys marks the range from the
// anchor, Ctrl with a click marks and unmarks rows one by one.
void BackupAssistantFrame::SyncMarks() {
    if (syncing_ || !list_ || !z_.LSZQ) return;
    auto& q = *z_.LSZQ;
    int marked = 0;
    for (int r = 0; r < static_cast<int>(q.size()); ++r) {
        bool on = list_->selectionModel()->isRowSelected(r, QModelIndex());
        q[static_cast<size_t>(r)].MARKED = on ? 1 : 0;
        marked += on;
    }
    z_.MULTISELECT = marked > 1 ? 1 : 0;
    z_.OLDSELECTPOINTER = list_->currentRow() + 1;
}

void BackupAssistantFrame::NewArchiveCommand(bool fromMenu) {
    z_.ZIPARCHIVENAME = NewArchive(z_);
    if (!z_.ZIPARCHIVENAME.empty()) {
        OpenList();
        if (fromMenu) EnableArchiveControls(true);
    }
    if (fromMenu) z_.PATHINFORMATIONSWITCH = 1;
}

void BackupAssistantFrame::OpenArchiveCommand(bool fromMenu) {
    z_.ZIPARCHIVENAME = OpenArchive(z_);
    if (!z_.ZIPARCHIVENAME.empty()) {
        if (fromMenu) EnableArchiveControls(true);
        OpenList();
    }
    if (fromMenu) z_.PATHINFORMATIONSWITCH = 1;
}

void BackupAssistantFrame::CloseArchiveCommand() {
    if (!list_) return;
    CloseList();
    setWindowTitle(kFrameTitle);
    z_.CloseArchive();
    EnableArchiveControls(false);
}

void BackupAssistantFrame::Add() {
    if (AskAddFiles(z_)) z_.ZipFiles();
    RefreshList();
}
void BackupAssistantFrame::Delete() {
    if (AskDeleteFiles(z_)) z_.DeleteFiles();
    RefreshList();
}
void BackupAssistantFrame::Extract() {
    if (AskUnzipFiles(z_)) z_.UnzipFiles();
    RefreshList();
}
void BackupAssistantFrame::Test() {
    if (AskTestFiles(z_)) z_.TestFiles();
    RefreshList();
}

void BackupAssistantFrame::ListPopup(const QPoint& at) {
    int choice = Popup("&Add...|&Delete...|&Extract...|&Test...|-|Sta&tistics...|-|&Sort{by &Index|by &Name|by "
                       "&Original Size|by Compression &Ratio|by &Compressed Size|by File &Date}|-|Select &All|&Deselect All",
                       list_ ? list_->viewport()->mapToGlobal(at) : at, this);
    switch (choice) {
        case 1: Add(); break;
        case 2: Delete(); break;
        case 3: Extract(); break;
        case 4: Test(); break;
        case 5: ShowZipInformation(z_); break;
        case 6: case 7: case 8: case 9: case 10: case 11:
            z_.SortList(choice - 5, false);
            RefreshList();
            break;
        case 12: z_.MarkAll(); break;
        case 13: z_.ClearMarks(true); break;
        default: break;
    }
}

void BackupAssistantFrame::About() {
    QDialog d(this);
    d.setWindowTitle("About");
    auto* v = new QVBoxLayout(&d);
    auto* picture = new QLabel(&d);
    picture->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(48, 48));
    v->addWidget(picture);
    v->addWidget(new QLabel(kFrameTitle, &d));
    v->addWidget(new QLabel("32-bit Environment", &d));
    auto* row = new QHBoxLayout;
    auto* sysInfo = new QPushButton("System &Info...", &d);
    auto* close = new QPushButton("Cl&ose", &d);
    close->setDefault(true);
    row->addWidget(sysInfo);
    row->addWidget(close);
    v->addLayout(row);
    connect(close, &QPushButton::clicked, &d, &QDialog::accept);
    connect(sysInfo, &QPushButton::clicked, &d, [this, &d] {
        QDialog s(&d);
        s.setWindowTitle("System Info");
        auto* sv = new QVBoxLayout(&s);
        sv->addWidget(new QLabel("This dialog provides important information about the components", &s));
        sv->addWidget(new QLabel("used in this application.", &s));
        sv->addWidget(new QLabel(QString("LSZip Compression Library Release %1").arg(z_.DLL_ZIP_VERSION), &s));
        sv->addWidget(new QLabel(QString("LSZip Decompression Library Release %1").arg(z_.DLL_UNZIP_VERSION), &s));
        sv->addWidget(new QLabel(QString("Class Release %1").arg(z_.INTERNALCLASSRELEASE), &s));
        sv->addWidget(new QLabel(QString("Runtime Library %1").arg(QString(qVersion()).left(4)), &s));
        auto* ok = new QPushButton("&OK", &s);
        ok->setDefault(true);
        sv->addWidget(ok);
        connect(ok, &QPushButton::clicked, &s, &QDialog::accept);
        s.exec();
    });
    d.exec();
}

}  // namespace kr::backup
