#include "platform/ui/ReportPreview.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
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
        const int last = report::PageCount(*pages_) - 1;
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
        const int count = report::PageCount(*pages_);
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

// Aims the printer at the PDF file, the queue chosen in Print Setup (a
// file's name is asked now) or the default printer (the user is warned when
// there is none and may stop). False when nothing is to be printed.
bool AimReportPrinter(QPrinter& printer, const std::string& outputFile) {
    if (!outputFile.empty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(outputFile));
    } else if (ChosenPrintSetup()) {
        if (!AimPrinter(printer, QApplication::activeWindow())) return false;
    } else if (QPrinterInfo::defaultPrinterName().isEmpty()) {
        const ReportPreviewTexts t = ReportPreviewStrings();
        if (Message(t.NoDfltPrtrText, t.NoDfltPrtrTitle, MessageIcon::Exclamation, kButtonYes | kButtonNo,
                    kButtonNo) != kButtonYes)
            return false;
    }
    return true;
}

// The paper the pages were laid out on (the one chosen when the report ran)
// and the document's name.
void SetUpPaper(QPrinter& printer, const RenderedReport& pages) {
    printer.setFullPage(true);
    printer.setPageLayout(report::PaperOf(pages));
    printer.setDocName(QString::fromStdString(pages.title));
}

// A printer that makes copies itself is given the report's copies and
// collation; false when the copies are to be painted.
bool LetPrinterMakeCopies(QPrinter& printer, const RenderedReport& pages) {
    if (!printer.supportsMultipleCopies()) return false;
    printer.setCopyCount(pages.copies);
    printer.setCollateCopies(pages.collate);
    return true;
}

// The order pages are painted in: a printer that makes copies itself gets
// each page once.
std::vector<int> PaintOrder(QPrinter& printer, const RenderedReport& pages) {
    const int count = report::PageCount(pages);
    if (LetPrinterMakeCopies(printer, pages)) return report::PrintOrder(count, 1, false);
    return report::PrintOrder(count, pages.copies, pages.collate);
}

void SayNotPrinted(const std::string& outputFile) {
    // Say so rather than let the pages vanish (no printer, a file that
    // cannot be written).
    Message(outputFile.empty() ? "The report could not be sent to the printer."
                               : "The report could not be written to " + outputFile + ".",
            "Print", MessageIcon::Exclamation, kButtonOk);
}

// Stops a print that will not be finished: the queue is told to drop the
// job, and a PDF file begun is removed rather than left half written.
void AbandonPrint(QPrinter& printer, report::PagePainter& painter, const std::string& outputFile) {
    if (painter.begun()) {
        printer.abort();
        painter.End();
    }
    if (!outputFile.empty()) {
        std::error_code ec;
        std::filesystem::remove(outputFile, ec);
    }
}

// Paints kept pages onto the printer a slice per timer event of a progress
// window, so that a long report leaves the program responsive and can be
// cancelled; a slice stops after kSliceTime even when pages remain.
class PaintRun : public BatchProcess {
public:
    static constexpr auto kSliceTime = std::chrono::milliseconds(60);

    PaintRun(std::shared_ptr<const RenderedReport> pages, std::unique_ptr<QPrinter> printer,
             std::string outputFile)
        : pages_(std::move(pages)),
          printer_(std::move(printer)),
          painter_(*printer_, PrintFileOf(*printer_)),
          outputFile_(std::move(outputFile)) {
        order_ = PaintOrder(*printer_, *pages_);
        SetTotal(static_cast<int>(order_.size()));
        SetBatchSize(50);
    }

    bool Step(int count) override {
        if (!Running()) return false;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < count && next_ < order_.size(); ++i) {
            if (CancelRequested()) {
                AbandonPrint(*printer_, painter_, outputFile_);
                SetState(ProcessState::Cancelled);
                return false;
            }
            if (!painter_.Paint(*pages_, order_[next_])) return Fail();
            ++next_;
            CountDone();
            if (std::chrono::steady_clock::now() - start >= kSliceTime) break;
        }
        if (next_ == order_.size()) {
            if (!painter_.End()) return Fail();
            SetState(ProcessState::Finished);
        }
        EndOfBatch();
        return Running();
    }
    bool failed() const { return failed_; }

private:
    bool Fail() {
        failed_ = true;
        AbandonPrint(*printer_, painter_, outputFile_);
        SetState(ProcessState::Failed);
        return false;
    }

    std::shared_ptr<const RenderedReport> pages_;
    std::unique_ptr<QPrinter> printer_;
    report::PagePainter painter_;
    std::string outputFile_;
    std::vector<int> order_;
    size_t next_ = 0;
    bool failed_ = false;
};

// Prints kept pages through a "Printing Report" progress window; done gets
// true when every page went out. `printer` is one already aimed, or null to
// aim one now.
void PaintReportPages(std::shared_ptr<const RenderedReport> pages, std::unique_ptr<QPrinter> printer,
                      const std::string& outputFile, const std::string& procedureName,
                      std::function<void(bool printed)> done) {
    if (report::PageCount(*pages) == 0) return done(false);
    if (!printer) {
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (!AimReportPrinter(*printer, outputFile)) return done(false);
    }
    SetUpPaper(*printer, *pages);
    auto run = std::make_shared<PaintRun>(std::move(pages), std::move(printer), outputFile);
    const ReportPreviewTexts texts = ReportPreviewStrings();
    ProcessWindowOptions o;
    o.procedureName = procedureName;
    o.title = texts.ProgWinTitlePrnt;
    o.percentText = texts.ProgWinPctText;
    o.listErrors = false;
    // A slice bounds its own time: the next follows without a pause.
    o.backToBack = true;
    RunProcessWindow(run, o, [run, outputFile, done](int) {
        if (run->failed()) SayNotPrinted(outputFile);
        done(run->state() == ProcessState::Finished);
    });
}

// Pages printed while the report runs: each finished page is painted at
// once and dropped, so the report never holds more than the page it lays out.
struct PageStream {
    std::unique_ptr<QPrinter> printer;
    std::unique_ptr<report::PagePainter> painter;
    RenderedReport paper;  // the report's paper, scale and title; no pages
    std::string outputFile;
    bool failed = false;
};

}  // namespace

void PreviewReport(std::shared_ptr<const RenderedReport> pages, std::function<void(bool print)> done) {
    auto* w = new ReportPreviewWindow(std::move(pages), done);
    if (!w->Call() && done) done(false);
}

bool PrintReportPages(const RenderedReport& pages, const std::string& outputFile) {
    if (report::PageCount(pages) == 0) return false;
    QPrinter printer(QPrinter::HighResolution);
    if (!AimReportPrinter(printer, outputFile)) return false;
    SetUpPaper(printer, pages);
    if (report::PaintPages(printer, pages, PaintOrder(printer, pages), PrintFileOf(printer))) return true;
    SayNotPrinted(outputFile);
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

    // Printed without the preview, one copy (or copies the printer makes
    // itself, uncollated) goes straight to the printer (or the PDF file) as
    // the pages are made. Otherwise the pages are kept, compactly, in a page store until
    // the preview or the copies are done with them.
    std::shared_ptr<PageStream> stream;
    std::unique_ptr<QPrinter> aimed;
    // A print to a file chosen in Print Setup asks the file's name once the
    // pages are made, as before; its pages wait in the store meanwhile.
    const std::optional<PrintSetupChoice> chosen = ChosenPrintSetup();
    const bool asksName = chosen && chosen->toFile && job->outputFile.empty();
    if (!preview && !asksName) {
        aimed = std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (!AimReportPrinter(*aimed, job->outputFile)) return finish(kRequestCancelled);
        const int copies = layout->copies < 1 ? 1 : layout->copies;
        if (!layout->collate && (copies == 1 || aimed->supportsMultipleCopies())) {
            stream = std::make_shared<PageStream>();
            stream->paper.title = layout->title;
            stream->paper.pageWidth = layout->pageWidth;
            stream->paper.pageHeight = layout->pageHeight;
            stream->paper.scale = scale;
            stream->paper.paper = paper;
            stream->paper.copies = copies;
            stream->outputFile = job->outputFile;
            stream->printer = std::move(aimed);
            SetUpPaper(*stream->printer, stream->paper);
            LetPrinterMakeCopies(*stream->printer, stream->paper);
            stream->painter = std::make_unique<report::PagePainter>(*stream->printer, PrintFileOf(*stream->printer));
            std::weak_ptr<report::ReportRun> weak = run;
            run->SetPageSink([stream, weak](report::Page&& page) {
                if (stream->failed) return;
                if (!stream->painter->Paint(stream->paper, page)) {
                    // The device refused the page: stop the run.
                    stream->failed = true;
                    if (auto r = weak.lock()) r->Cancel();
                }
            });
        }
    }
    std::shared_ptr<report::PageStore> store;
    if (!stream && (store = report::PageStore::Create()))
        run->SetPageSink([store](report::Page&& page) { store->Add(page); });

    auto printed = std::make_shared<bool>(false);
    auto heldPrinter = std::make_shared<std::unique_ptr<QPrinter>>(std::move(aimed));
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
    o.afterEnd = [run, job, preview, printed, texts, scale, paper, stream, store,
                  heldPrinter](std::function<void()> close) {
        using Outcome = report::ReportRun::Outcome;
        const bool ran = run->outcome() == Outcome::Completed || run->outcome() == Outcome::PartialPreview;
        if (stream) {
            if (ran && !stream->failed && stream->painter->End()) {
                *printed = true;
            } else {
                const bool failed = stream->failed || ran;
                AbandonPrint(*stream->printer, *stream->painter, stream->outputFile);
                if (failed) SayNotPrinted(stream->outputFile);
            }
            return close();
        }
        if (!ran) return close();
        RenderedReport taken = run->TakePages();
        taken.scale = scale;
        taken.paper = paper;
        if (store) {
            if (store->failed()) {
                Message("The report's pages could not be kept: the temporary folder is full.", "Print",
                        MessageIcon::Exclamation, kButtonOk);
                return close();
            }
            taken.store = store;
        }
        auto pages = std::make_shared<const RenderedReport>(std::move(taken));
        if (report::PageCount(*pages) == 0) {
            Message(texts.NothingToPrntText, texts.NothingToPrntTitle, MessageIcon::Exclamation, kButtonOk);
            return close();
        }
        if (!preview) {
            return PaintReportPages(pages, std::move(*heldPrinter), job->outputFile, job->procedureName,
                                    [printed, close](bool ok) {
                                        *printed = ok;
                                        close();
                                    });
        }
        PreviewReport(pages, [pages, job, printed, close](bool print) {
            // A previewed report is done, whether printed from there or not.
            *printed = true;
            if (!print) return close();
            PaintReportPages(pages, nullptr, job->outputFile, job->procedureName, [close](bool) { close(); });
        });
    };
    RunProcessWindow(run, o, [finish, printed](int) { finish(*printed ? kRequestCompleted : kRequestCancelled); });
}

}  // namespace kr
