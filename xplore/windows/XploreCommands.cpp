// The header popup of a list that carries Xplore: building it into the
// list's popup, preparing it for the column under the mouse, and carrying out
// the events its items post.
#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <memory>

#include "platform/data/ListQuery.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/RecordProcess.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/BrowseList.h"
#include "platform/ui/FontDialog.h"
#include "platform/ui/PopupMenu.h"
#include "platform/ui/ProcessWindow.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/TaskRunner.h"
#include "xplore/Export.h"
#include "xplore/windows/GraphWindow.h"
#include "xplore/windows/XploreList.h"

namespace kr::xplore {

namespace {

void AddToPopup(PopupMenu& p, const std::vector<MenuItem>& items, QWidget* target, const std::string& parent = {}) {
    for (const MenuItem& m : items) {
        if (m.separator) {
            if (parent.empty()) p.AddSeparator(m.name);
            else p.AddSeparatorIn(parent, m.name);
        } else if (!m.children.empty()) {
            p.AddSubMenuHeader(m.name, m.text, parent);
            AddToPopup(p, m.children, target, m.name);
        } else {
            const std::string text = (m.checkable ? "+" : "") + m.text;
            if (parent.empty()) p.AddItemEvent(m.name, text, m.event, target);
            else p.AddItemEventIn(parent, m.name, text, m.event, target);
        }
    }
}

void CopyStates(PopupMenu& p, const std::vector<MenuItem>& items) {
    for (const MenuItem& m : items) {
        if (m.separator) continue;
        if (!m.children.empty()) {
            CopyStates(p, m.children);
            continue;
        }
        p.SetText(m.name, m.text);
        p.SetItemEnable(m.name, m.enabled);
        if (m.checkable) p.SetItemCheck(m.name, m.checked);
    }
}

// An export as the progress window runs it: a slice of writing per timer
// event; Cancel ends it with the rows written so far counted in the file.
class ExportProcess : public BatchProcess {
public:
    ExportProcess(std::unique_ptr<ListExport> e, int64_t expected) : export_(std::move(e)) {
        SetTotal(static_cast<int>(std::min<int64_t>(expected, INT32_MAX)));
    }
    bool Step(int) override {
        if (CancelRequested()) {
            export_->Stop();
            SetState(ProcessState::Cancelled);
            return false;
        }
        const int64_t before = export_->Rows();
        const ListExport::State s = export_->Step(50);
        CountDone(static_cast<int>(export_->Rows() - before));
        EndOfBatch();
        if (s == ListExport::State::Writing) return true;
        SetState(s == ListExport::State::Done ? ProcessState::Finished : ProcessState::Failed);
        return false;
    }

private:
    std::unique_ptr<ListExport> export_;
};

}  // namespace

void XploreList::BuildPopup() {
    if (!menu_.empty()) return;
    PopupMenu& p = list_.Popup();
    menu_ = BuildHeaderMenu(core_.options, core_, !p.ItemNames().empty() || !p.Items().empty());
    AddToPopup(p, menu_, view_);
}

int XploreList::ColumnAtX(int x) const { return ListColumnOfSection(list_.ColumnAt(x)); }

void XploreList::PreparePopup(int listColumn) {
    if (menu_.empty()) return;
    ReadBack();
    core_.current.hscroll = view_->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
    core_.current.vscroll = view_->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
    if (listColumn) core_.currentColumn = listColumn;
    std::string value;
    if (const Column* c = core_.DisplayColumn(core_.currentColumn)) {
        const int logical = BrowseColumnOf(*c);
        const int64_t sel = list_.Selected();
        if (logical >= 0 && sel >= 0)
            if (const data::ListRow* r = list_.RowAt(sel)) value = list_.CellText(*r, logical);
    }
    PrepareHeaderMenu(menu_, core_, core_.currentColumn, value);
    CopyStates(list_.Popup(), menu_);
}

void XploreList::ApplyFilters() {
    const std::string expression = core_.FilterExpression();
    const int current = list_.CurrentSortOrder();
    for (int n = 1; n <= list_.SortOrderCount(); ++n) {
        list_.SetSortOrder(n);
        list_.SetFilter(expression, "Xplore");
    }
    if (current) list_.SetSortOrder(current);
    else list_.SetFilter(expression, "Xplore");
    QApplication::setOverrideCursor(Qt::BusyCursor);
    list_.ResetFromFile();
    QApplication::restoreOverrideCursor();
}

bool XploreList::TakePopupCommand(int event) {
    const int col = core_.currentColumn;
    auto command = [&](const char* c) {
        if (core_.TakeColumnCommand(c, col)) Show();
    };
    switch (event) {
    case kEventMoveLeft:
    case kEventMoveRight:
        if (core_.MoveAllowed()) MoveColumn(event == kEventMoveRight);
        return true;
    case kEventResetDefault: ResetToDefault(); return true;
    case kEventHeaderLeft: command("HJL"); return true;
    case kEventHeaderRight: command("HJR"); return true;
    case kEventHeaderCenter: command("HJC"); return true;
    case kEventHeaderDecimal: command("HJD"); return true;
    case kEventDataLeft: command("FJL"); return true;
    case kEventDataRight: command("FJR"); return true;
    case kEventDataCenter: command("FJC"); return true;
    case kEventDataDecimal: command("FJD"); return true;
    case kEventListProperties: ListProperties(); return true;
    case kEventWidth: EditAttribute("WID"); return true;
    case kEventHeaderOffset: EditAttribute("HOS"); return true;
    case kEventDataOffset: EditAttribute("DOS"); return true;
    case kEventHeaderText: EditHeaderText(); return true;
    case kEventFixed: command("FXD"); return true;
    case kEventUnderline: command("ULI"); return true;
    case kEventBorder: command("BDR"); return true;
    case kEventResize: command("RSZ"); return true;
    case kEventListX: EditAttribute("XPS"); return true;
    case kEventListY: EditAttribute("YPS"); return true;
    case kEventListWidth: EditAttribute("BWI"); return true;
    case kEventListHeight: EditAttribute("BHI"); return true;
    case kEventFont: ChooseFont(); return true;
    case kEventLineHeight: EditAttribute("LHI"); return true;
    case kEventHScroll:
    case kEventVScroll:
        core_.TakeColumnCommand(event == kEventHScroll ? "HSC" : "VSC", col);
        ApplyCurrentLook();
        return true;
    case kEventColors: ColumnColors(); return true;
    case kEventHideColumn: HideColumn(); return true;
    case kEventBestFit: BestFitAllColumns(); return true;
    case kEventSort: SortOnColumn(col); return true;
    case kEventPrintPage: PrintList(*this, "Page"); return true;
    case kEventPrintAll: PrintList(*this, "View"); return true;
    case kEventGraph: Graph(*this, col); return true;
    case kEventExportCsv: ExportCsv(); return true;
    case kEventExportHtml: ExportHtml(); return true;
    case kEventFilterEqual:
    case kEventFilterLess:
    case kEventFilterGreater:
    case kEventFilterNotEqual: {
        const Column* c = core_.DisplayColumn(col);
        const int64_t sel = list_.Selected();
        const data::TableDef& def = list_.table().def();
        const int field = c ? def.fieldIndex(c->field) : -1;
        // A memo column (the clipboard's contents) filters on the memo's
        // whole text, which the row does not carry.
        const data::MemoDef* memo = c && field < 0 ? def.memo(c->field) : nullptr;
        if (field < 0 && !memo) return true;
        const bool text = memo || def.fields[static_cast<std::size_t>(field)].isText();
        Value v = text ? Value(std::string()) : Value(0);
        if (sel >= 0)
            if (const data::ListRow* r = list_.RowAt(sel)) {
                if (memo) {
                    std::string m;
                    list_.table().ReadMemo(r->row, memo->name, static_cast<std::size_t>(memo->size), m);
                    v = Value(m);
                } else {
                    v = r->field(field);
                }
            }
        if (core_.FilterOn(event, col, v, text)) ApplyFilters();
        return true;
    }
    case kEventCancelFilter:
        core_.FilterOn(event, col, Value(), true);
        ApplyFilters();
        return true;
    case kEventInclusive: core_.TakeColumnCommand("EQL", col); return true;
    default: return false;
    }
}

void XploreList::MoveColumn(bool right) {
    ReadBack();
    const int col = core_.currentColumn;
    if (!(right ? core_.MoveColumnRight(col) : core_.MoveColumnLeft(col))) {
        QApplication::beep();
        return;
    }
    core_.currentColumn = right ? col + 1 : col - 1;
    Show();
}

void XploreList::HideColumn() {
    ReadBack();
    if (core_.HideColumn(core_.currentColumn)) Show();
}

void XploreList::ApplyCurrentLook() { ApplyLook(core_.current); }

void XploreList::ChooseFont() {
    QFont f = view_->font();
    QColor colour = core_.current.fontColor == -1 ? view_->palette().color(QPalette::Text)
                                                  : ColorFromValue(core_.current.fontColor);
    if (!ChooseFontAndColour(view_->window(), f, colour, QStringLiteral("Font"))) return;
    ListGeometry& g = core_.current;
    g.fontName = f.family().toStdString();
    g.fontSize = f.pointSize();
    g.fontColor = static_cast<int32_t>(colour.red() | (colour.green() << 8) | (colour.blue() << 16));
    g.fontStyle = f.weight() >= QFont::Bold ? 700 : 400;
    if (f.italic()) g.fontStyle += 4096;
    if (f.underline()) g.fontStyle += 8192;
    ApplyCurrentLook();
    Show();
}

void XploreList::ToggleListProperty() {
    view_->setShowGrid(!view_->showGrid());
    list_.LookChanged();
}

void XploreList::PopupAtColumn() {
    int listColumn = 0;
    if (view_->currentIndex().isValid()) listColumn = ListColumnOfSection(view_->currentIndex().column());
    const Column* c = core_.DisplayColumn(listColumn);
    if (!c) return;
    const int logical = BrowseColumnOf(*c);
    const int x = list_.ColumnX(logical) + view_->columnWidth(logical) / 2;
    const QPoint at = view_->viewport()->mapToGlobal(QPoint(x, view_->viewport()->height()));
    PreparePopup(listColumn);
    list_.Popup().Ask(at, view_);
}

void XploreList::PressKey() {
    if (QClipboard* cb = QGuiApplication::clipboard()) cb->setPixmap(view_->window()->grab());
}

void XploreList::ExportCsv(std::function<void(bool)> done) { Export(false, std::move(done)); }
void XploreList::ExportHtml(std::function<void(bool)> done) { Export(true, std::move(done)); }

void XploreList::Export(bool html, std::function<void(bool)> done) {
    ReadBack();
    ListExport::Options o;
    o.kind = html ? ListExport::Kind::Html : ListExport::Kind::Csv;
    o.file = QDir::current().filePath(QString::fromStdString(html ? core_.htmlFileName : core_.csvFileName))
                 .toStdString();
    o.separator = core_.exportSeparator;
    o.headers = core_.exportHeaders;
    o.title = view_->window()->windowTitle().toStdString();
    std::vector<std::function<std::string(const data::ListRow&)>> cells;
    for (const Column& c : core_.DisplayColumns()) {
        o.headerTexts.push_back(c.header);
        const int logical = BrowseColumnOf(c);
        BrowseList* b = &list_;
        cells.push_back([b, logical](const data::ListRow& r) {
            return logical >= 0 ? b->CellText(r, logical) : std::string();
        });
    }
    // The list's own query: the order and filter the list shows.
    data::ListQuery& q = list_.query();
    int64_t expected = q.table().Records();
    if (expected < 1) expected = list_.Records();
    auto e = std::make_unique<ListExport>(q, std::move(cells), o);
    std::string error;
    if (!e->Open(&error)) {
        Message("Cannot CREATE " + o.file + "|" + error, "Xplore", MessageIcon::Exclamation);
        if (done) done(false);
        return;
    }
    auto process = std::make_shared<ExportProcess>(std::move(e), expected);
    ProcessWindowOptions w;
    w.procedureName = "XploreExport";
    w.title = "Progress...";
    const std::string file = o.file;
    QPointer<QTableView> view = view_;
    RunProcessWindow(process, w, [this, view, process, file, done](int) {
        const bool ok = process->state() == ProcessState::Finished;
        if (ok && view) OpenExportFile(file);
        if (done) done(ok);
    });
}

void XploreList::OpenExportFile(const std::string& file) {
    if (!core_.exportOpen) return;
    auto failed = [file](uint32_t code) {
        Message("Shell launching error:" + std::to_string(code) +
                    "|you may need to specify a file type in Win95|Go to Explorer; View; Options; File Types|and the "
                    "specify a type for " +
                    file,
                "Xplore", MessageIcon::None, kButtonOk);
    };
    // The file goes to the desktop's opener as an argument of its own; its
    // exit status is watched without blocking the window, for the first
    // seconds only (see kOpenerWatchMs).
    const std::string opener = FindProgram("xdg-open");
    if (opener.empty()) return failed(kShellNoAssociation);
    StartOptions options;
    const StartResult started = StartProgramArgs({opener, file}, options);
    if (!started.ok()) return failed(kShellNoAssociation);
    const int pid = started.pid;
    auto* watch = new QTimer(view_);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    watch->setInterval(50);
    QObject::connect(watch, &QTimer::timeout, watch, [watch, clock, pid, failed] {
        const int status = PollExitCode(pid);
        if (status == kStillActive && clock->elapsed() < kOpenerWatchMs) return;
        watch->stop();
        watch->deleteLater();
        if (status == kStillActive) return;
        if (const uint32_t code = OpenerFailureCode(status)) failed(code);
    });
    watch->start();
}

}  // namespace kr::xplore
