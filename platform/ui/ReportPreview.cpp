#include "platform/ui/ReportPreview.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/runtime/ReportPreviewStrings.h"
#include "platform/runtime/Services.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/PrintSetup.h"
#include "platform/ui/ProcessWindow.h"
#include "platform/ui/Requests.h"
#include "platform/ui/WindowManager.h"
#include "platform/ui/report/ReportRun.h"

namespace kr {

using report::RenderedReport;

namespace {

struct ReportPreviewLayout {
    QWidget* window = nullptr;
    QPushButton* print = nullptr;
    QPushButton* first = nullptr;
    QPushButton* previous = nullptr;
    QPushButton* next = nullptr;
    QPushButton* last = nullptr;
    QLabel* page = nullptr;
    QComboBox* zoom = nullptr;
    QPushButton* close = nullptr;
    QScrollArea* scroll = nullptr;
    QLabel* image = nullptr;

    void Build() {
        window = new QWidget;
        auto* v = new QVBoxLayout(window);
        auto* h = new QHBoxLayout;
        print = new QPushButton("&Print", window);
        print->setObjectName("print");
        print->setToolTip("Print the report");
        first = new QPushButton("|<", window);
        first->setObjectName("first");
        first->setToolTip("First page");
        previous = new QPushButton("<", window);
        previous->setObjectName("previous");
        previous->setToolTip("Previous page");
        next = new QPushButton(">", window);
        next->setObjectName("next");
        next->setToolTip("Next page");
        last = new QPushButton(">|", window);
        last->setObjectName("last");
        last->setToolTip("Last page");
        page = new QLabel(window);
        page->setObjectName("page");
        zoom = new QComboBox(window);
        zoom->setObjectName("zoom");
        zoom->setToolTip("Zoom");
        for (int z : {50, 75, 100, 125, 150, 200}) zoom->addItem(QString("%1%").arg(z), z);
        close = new QPushButton("Cl&ose", window);
        close->setObjectName("close");
        for (QWidget* w : std::initializer_list<QWidget*>{print, first, previous, next, last}) h->addWidget(w);
        h->addWidget(page);
        h->addStretch();
        h->addWidget(zoom);
        h->addWidget(close);
        v->addLayout(h);
        scroll = new QScrollArea(window);
        scroll->setObjectName("pages");
        scroll->setAlignment(Qt::AlignHCenter);
        scroll->setBackgroundRole(QPalette::Dark);
        image = new QLabel;
        image->setObjectName("image");
        scroll->setWidget(image);
        v->addWidget(scroll, 1);
    }
};

class ReportPreviewWindow : public WindowManager {
public:
    ReportPreviewWindow(std::shared_ptr<const RenderedReport> pages, std::function<void(bool)> done)
        : WindowManager("ReportPreview"), pages_(std::move(pages)), done_(std::move(done)) {}

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetTitle("Print Preview" + (pages_->title.empty() ? std::string() : " - " + pages_->title));
        SetCancelControl(ui.close);
        ui.zoom->setCurrentIndex(ui.zoom->findData(100));
        // A page at 100% fits in width; as much of its height as the screen allows.
        QScreen* screen = QGuiApplication::primaryScreen();
        const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
        const QSize paper = report::PaperSize(report::PaperOf(*pages_));
        const int w = std::min(avail.width() - 40, paper.width() * 96 / 1000 + 80);
        const int h = std::min(avail.height() - 60, paper.height() * 96 / 1000 + 100);
        ui.window->resize(std::max(w, 400), std::max(h, 300));
        Show(0);
        ui.print->setFocus();
        return true;
    }
    void TakeAccepted(QObject* control) override {
        const int last = static_cast<int>(pages_->pages.size()) - 1;
        if (control == ui.print) {
            print_ = true;
            SetResponse(kRequestCompleted);
            CloseNow();
        } else if (control == ui.first) {
            Show(0);
        } else if (control == ui.previous) {
            Show(page_ - 1);
        } else if (control == ui.next) {
            Show(page_ + 1);
        } else if (control == ui.last) {
            Show(last);
        } else if (control == ui.zoom) {
            Show(page_);
        }
    }
    void TakeNewSelection(QObject* control) override {
        if (control == ui.zoom) Show(page_);
    }
    bool TakeWindowEvent(QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_PageDown) Show(page_ + 1);
        else if (k->key() == Qt::Key_PageUp) Show(page_ - 1);
        else return false;
        return true;
    }
    void Kill() override {
        auto done = std::move(done_);
        const bool print = print_;
        if (done) QTimer::singleShot(0, QCoreApplication::instance(), [done, print, thread = Thread()] {
            ProcedureThreadScope scope(thread);
            done(print);
        });
    }

private:
    void Show(int index) {
        const int count = static_cast<int>(pages_->pages.size());
        if (count == 0) return;
        const int shown = page_;
        page_ = std::clamp(index, 0, count - 1);
        const double zoom = ui.zoom->currentData().toInt() / 100.0;
        ui.image->setPixmap(QPixmap::fromImage(report::PageImage(*pages_, page_, zoom)));
        ui.image->adjustSize();
        // Another page starts at its top.
        if (page_ != shown) ui.scroll->verticalScrollBar()->setValue(0);
        ui.page->setText(QString("Page %1 of %2").arg(page_ + 1).arg(count));
        ui.first->setEnabled(page_ > 0);
        ui.previous->setEnabled(page_ > 0);
        ui.next->setEnabled(page_ < count - 1);
        ui.last->setEnabled(page_ < count - 1);
    }

    ReportPreviewLayout ui;
    std::shared_ptr<const RenderedReport> pages_;
    std::function<void(bool)> done_;
    int page_ = 0;
    bool print_ = false;
};

}  // namespace

void PreviewReport(std::shared_ptr<const RenderedReport> pages, std::function<void(bool print)> done) {
    auto* w = new ReportPreviewWindow(std::move(pages), done);
    if (!w->Call() && done) done(false);
}

bool PrintReportPages(const RenderedReport& pages, const std::string& outputFile) {
    if (pages.pages.empty()) return false;
    QPrinter printer(QPrinter::HighResolution);
    if (!outputFile.empty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(outputFile));
    } else if (ChosenPrintSetup()) {
        // The printer of Print Setup; a file's name is asked now.
        if (!AimPrinter(printer, QApplication::activeWindow())) return false;
    } else if (QPrinterInfo::defaultPrinterName().isEmpty()) {
        const ReportPreviewTexts t = ReportPreviewStrings();
        if (Message(t.NoDfltPrtrText, t.NoDfltPrtrTitle, MessageIcon::Exclamation, kButtonYes | kButtonNo,
                    kButtonNo) != kButtonYes)
            return false;
    }
    printer.setFullPage(true);
    // The paper the pages were laid out on (the one chosen when the report ran).
    printer.setPageLayout(report::PaperOf(pages));
    printer.setDocName(QString::fromStdString(pages.title));
    const int count = static_cast<int>(pages.pages.size());
    std::vector<int> order;
    if (printer.supportsMultipleCopies()) {
        // The printer makes the copies itself.
        printer.setCopyCount(pages.copies);
        printer.setCollateCopies(pages.collate);
        order = report::PrintOrder(count, 1, false);
    } else {
        order = report::PrintOrder(count, pages.copies, pages.collate);
    }
    if (report::PaintPages(printer, pages, order)) return true;
    // Say so rather than let the pages vanish (no printer, a file that
    // cannot be written).
    Message(outputFile.empty() ? "The report could not be sent to the printer."
                               : "The report could not be written to " + outputFile + ".",
            "Print", MessageIcon::Exclamation, kButtonOk);
    return false;
}

void RunReport(std::shared_ptr<ReportJob> job, std::function<void(int response)> done) {
    auto finish = [done](int response) {
        if (done) done(response);
    };
    if (!job || !job->layout) return finish(kRequestCancelled);
    LoadReportPreviewStrings(job->iniFile, job->progressUserText, job->askPreviewTitle, job->askPreviewText);
    const ReportPreviewTexts texts = ReportPreviewStrings();
    const report::Destination where = job->preview ? (*job->preview ? report::Destination::Preview
                                                                    : report::Destination::Print)
                                                   : report::AskPreview(texts);
    if (where == report::Destination::Cancelled) return finish(kRequestCancelled);
    const bool preview = where == report::Destination::Preview;

    // On a paper chosen in Print Setup the bands are laid out and paginated
    // on that paper, so the preview shows what will be printed.
    std::shared_ptr<const report::ReportLayout> layout = job->layout;
    const std::optional<QPageLayout> paper = ChosenPageLayout();
    double scale = 1.0;
    if (paper) {
        const QSize size = report::PaperSize(*paper);
        auto fitted = report::FitToPaper(*layout, size.width(), size.height());
        scale = fitted.scale;
        layout = std::make_shared<const report::ReportLayout>(std::move(fitted.layout));
    }
    auto run = std::make_shared<report::ReportRun>(layout, job->total, job->read, preview, texts, job->batchSize);
    run->SetConfirmCancel(job->confirmCancel);
    auto printed = std::make_shared<bool>(false);
    ProcessWindowOptions o;
    o.procedureName = job->procedureName;
    o.title = !job->progressTitle.empty() ? job->progressTitle
              : preview                  ? texts.ProgWinTitlePrvw
                                         : texts.ProgWinTitlePrnt;
    o.percentText = texts.ProgWinPctText;
    o.userText = job->userLine ? texts.ProgWinUsrText : std::string();
    // Records the reader had to skip are listed while the run goes on; the
    // preview or the printing follows as usual.
    o.listErrors = true;
    o.holdOnErrors = false;
    // A report started on a thread of its own has no window yet: the
    // progress window is the procedure's window until the run is over.
    o.ownWindow = TopWindowOf(CurrentProcedureThread()) == nullptr;
    o.afterEnd = [run, job, preview, printed, texts, scale, paper](std::function<void()> close) {
        using Outcome = report::ReportRun::Outcome;
        if (run->outcome() != Outcome::Completed && run->outcome() != Outcome::PartialPreview) return close();
        RenderedReport taken = run->TakePages();
        taken.scale = scale;
        taken.paper = paper;
        auto pages = std::make_shared<const RenderedReport>(std::move(taken));
        if (pages->pages.empty()) {
            Message(texts.NothingToPrntText, texts.NothingToPrntTitle, MessageIcon::Exclamation, kButtonOk);
            return close();
        }
        if (!preview) {
            *printed = PrintReportPages(*pages, job->outputFile);
            return close();
        }
        PreviewReport(pages, [pages, job, printed, close](bool print) {
            if (print) PrintReportPages(*pages, job->outputFile);
            // A previewed report is done, whether printed from there or not.
            *printed = true;
            close();
        });
    };
    RunProcessWindow(run, o, [finish, printed](int) { finish(*printed ? kRequestCompleted : kRequestCancelled); });
}

}  // namespace kr
