#include "scheduler/windows/ViewQueue_Script.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "dictionary/GlobalErrors.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/Value.h"
#include "platform/ui/ProcedureThread.h"
#include "scheduler/RunnerSettings.h"
#include "scheduler/windows/About.h"
#include "scheduler/windows/Main.h"
#include "scriptedit/ScriptItems.h"

namespace kr {

namespace {

std::string Pic(int32_t v, const char* picture) { return Format(Value(static_cast<int64_t>(v)), picture); }

// The item's own texts, as stored, one after the other.
std::string RawItem(const Scripting& r) {
    std::string raw;
    for (const std::string& part : {r.Keystrokes.str(), r.WaitForWindow.str(), r.FocusOnWindow.str(),
                                    r.WindowTitleToCheckFor.str(), r.Command.str(), r.Path.str()}) {
        const std::string t = ClipRight(part);
        if (t.empty()) continue;
        if (!raw.empty()) raw += ' ';
        raw += t;
    }
    return raw;
}

}  // namespace

bool SameQueueEntry(const ScriptQueueEntry& a, const ScriptQueueEntry& b) {
    // The action and the wait fields change while an item runs (a waiting
    // Start Program becomes "Wait for Program End"); these do not.
    return a.Record.ID == b.Record.ID && a.Record.Sequence == b.Record.Sequence && a.Date == b.Date &&
           a.Time == b.Time;
}

bool DeleteQueueEntry(const ScriptQueueEntry& entry) {
    bool deleted = false;
    ScriptQueue().With([&](std::deque<ScriptQueueEntry>& q) {
        for (auto it = q.begin(); it != q.end(); ++it)
            if (SameQueueEntry(*it, entry)) {
                q.erase(it);
                deleted = true;
                return;
            }
    });
    return deleted;
}

std::string QueueEntryDetails(const ScriptQueueEntry& e) {
    std::string text = Pic(e.Date, "@D17") + "\r\n" + Pic(e.Time, "@T6") + "\r\n" + ClipRight(e.Record.Action.str()) +
                       "\r\n" + ClipRight(DescribeScriptItem(e.Record)) + "\r\n" + RawItem(e.Record);
    if (text.size() > static_cast<std::size_t>(kQueueDetailsLength)) text.resize(kQueueDetailsLength);
    return text;
}

void ViewQueue_ScriptLayout::Build() {
    window = new QWidget(nullptr, Qt::Window);
    window->setWindowTitle(QStringLiteral("Current Script"));
    window->resize(520, 420);
    auto* outer = new QVBoxLayout(window);
    list = new QTableWidget(0, 3, window);
    list->setObjectName(QStringLiteral("list"));
    list->setToolTip(QStringLiteral("Browse current script"));
    list->setHorizontalHeaderLabels({QStringLiteral("ID"), QStringLiteral("Seq"), QStringLiteral("Action")});
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    outer->addWidget(list);
    details = new QPlainTextEdit(window);
    details->setObjectName(QStringLiteral("details"));
    details->setReadOnly(true);
    details->setMaximumHeight(110);
    outer->addWidget(details);
    auto* timeRow = new QHBoxLayout;
    timeRow->addWidget(new QLabel(QStringLiteral("Current Time:"), window));
    currentTime = new QLabel(window);
    currentTime->setObjectName(QStringLiteral("currentTime"));
    timeRow->addWidget(currentTime);
    timeRow->addStretch();
    outer->addLayout(timeRow);
    auto* buttons = new QHBoxLayout;
    detailsButton = new QPushButton(QStringLiteral("&Details"), window);
    remove = new QPushButton(QStringLiteral("Delete"), window);
    remove->setObjectName(QStringLiteral("delete"));
    debug = new QPushButton(QStringLiteral("De&bug"), window);
    debug->setObjectName(QStringLiteral("debug"));
    close = new QPushButton(QStringLiteral("Cl&ose"), window);
    close->setDefault(true);
    buttons->addWidget(detailsButton);
    buttons->addWidget(remove);
    buttons->addWidget(debug);
    buttons->addStretch();
    buttons->addWidget(close);
    outer->addLayout(buttons);
}

ViewQueue_ScriptWindow::ViewQueue_ScriptWindow() : WindowManager(kViewQueueProcedure) {}

QWidget* ViewQueue_ScriptWindow::MakeWindow() {
    ui_.Build();
    return ui_.window;
}

bool ViewQueue_ScriptWindow::Init() {
    SetCancelControl(ui_.close);
    QObject::connect(ui_.list->selectionModel(), &QItemSelectionModel::currentRowChanged, ui_.window,
                     [this] { ShowDetails(); });
    Redisplay();
    SetTimer(100);
    return true;
}

std::optional<ScriptQueueEntry> ViewQueue_ScriptWindow::Chosen() const {
    const int row = ui_.list->currentRow();
    if (row < 0 || row >= static_cast<int>(shown_.size())) return std::nullopt;
    return shown_[static_cast<std::size_t>(row)];
}

void ViewQueue_ScriptWindow::Redisplay() {
    const std::optional<ScriptQueueEntry> chosen = Chosen();
    std::vector<ScriptQueueEntry> now = ScriptQueue().Snapshot();
    const bool same = now.size() == shown_.size() &&
                      std::equal(now.begin(), now.end(), shown_.begin(), [](const auto& a, const auto& b) {
                          return SameQueueEntry(a, b) && a.Record.Action.str() == b.Record.Action.str();
                      });
    shown_ = std::move(now);
    if (!same) {
        QSignalBlocker block(ui_.list->selectionModel());
        ui_.list->setRowCount(static_cast<int>(shown_.size()));
        for (int row = 0; row < static_cast<int>(shown_.size()); ++row) {
            const Scripting& r = shown_[static_cast<std::size_t>(row)].Record;
            ui_.list->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(Pic(r.ID, "@n_4"))));
            ui_.list->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(Pic(r.Sequence, "@n_5"))));
            ui_.list->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(ClipRight(r.Action.str()))));
        }
        // The chosen entry stays chosen wherever it has moved; when it has
        // gone, the row it stood in (or the last) is chosen.
        int row = -1;
        if (chosen) {
            for (std::size_t i = 0; i < shown_.size(); ++i)
                if (SameQueueEntry(shown_[i], *chosen)) row = static_cast<int>(i);
        }
        if (row < 0 && !shown_.empty()) row = 0;
        if (row >= 0) ui_.list->setCurrentCell(row, 0);
    }
    ShowDetails();
}

void ViewQueue_ScriptWindow::ShowDetails() {
    const std::optional<ScriptQueueEntry> e = Chosen();
    const QString text = e ? QString::fromStdString(QueueEntryDetails(*e)) : QString();
    if (ui_.details->toPlainText() != text) ui_.details->setPlainText(text);
}

void ViewQueue_ScriptWindow::TakeAccepted(QObject* control) {
    if (control == ui_.detailsButton || control == ui_.list) {
        ShowDetails();
    } else if (control == ui_.remove) {
        if (const std::optional<ScriptQueueEntry> e = Chosen()) DeleteQueueEntry(*e);
        Redisplay();
        ui_.list->setFocus();
    } else if (control == ui_.debug) {
        runner::SetDebug("1");
        if (IsProcedureRegistered(kBugReportProcedure)) Start(kBugReportProcedure);
    }
}

void ViewQueue_ScriptWindow::TakeTimer() {
    ui_.currentTime->setText(QString::fromStdString(Pic(ClockTime(), "@T6")));
    Redisplay();
}

ViewQueue_ScriptWindow* ViewQueue_Script() {
    GlobalErrors().SetProcedureName(kViewQueueProcedure);
    auto* w = new ViewQueue_ScriptWindow;
    QPointer<ViewQueue_ScriptWindow> guard = w;
    if (!w->Open()) return nullptr;
    return guard.data();
}

void RegisterSchedulerWindows() {
    RegisterProcedure(kViewQueueProcedure, [] { ViewQueue_Script(); });
    RegisterCalledProcedure(kAboutProcedure, [] { About(); });
}

}  // namespace kr
