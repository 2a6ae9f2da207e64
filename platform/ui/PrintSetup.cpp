#include "platform/ui/PrintSetup.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <mutex>

#include "platform/ui/QtServices.h"

namespace kr {

namespace {

struct Held {
    std::mutex m;
    std::optional<PrintSetupChoice> choice;
    std::string lastFile;
};

Held& held() {
    static Held h;
    return h;
}

// The sizes offered for a PDF file: the common papers.
QList<QPageSize> FilePaperSizes() {
    QList<QPageSize> out;
    for (QPageSize::PageSizeId id : {QPageSize::Letter, QPageSize::Legal, QPageSize::Executive, QPageSize::Tabloid,
                                     QPageSize::A3, QPageSize::A4, QPageSize::A5, QPageSize::B5})
        out.push_back(QPageSize(id));
    return out;
}

class PrintSetupWindow : public QDialog {
public:
    explicit PrintSetupWindow(QWidget* parent) : QDialog(parent) {
        setObjectName("PrintSetup");
        setWindowTitle(kPrintSetupTitle);
        // Answered, not minimised or maximised: the close box only, and a
        // fixed size that follows its contents (a longer paper name).
        setWindowFlags(AnswerDialogFlags());
        auto* v = new QVBoxLayout(this);
        v->setSizeConstraint(QLayout::SetFixedSize);
        auto* form = new QFormLayout;
        printer_ = new QComboBox(this);
        printer_->setObjectName("printer");
        paper_ = new QComboBox(this);
        paper_->setObjectName("paper");
        form->addRow("&Printer:", printer_);
        form->addRow("Paper &size:", paper_);
        v->addLayout(form);
        auto* orientation = new QGroupBox("Orientation", this);
        auto* h = new QHBoxLayout(orientation);
        portrait_ = new QRadioButton("P&ortrait", orientation);
        portrait_->setObjectName("portrait");
        landscape_ = new QRadioButton("&Landscape", orientation);
        landscape_->setObjectName("landscape");
        h->addWidget(portrait_);
        h->addWidget(landscape_);
        v->addWidget(orientation);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
        buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
        v->addWidget(buttons);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

        const std::optional<PrintSetupChoice> now = ChosenPrintSetup();
        // Every queue the system lists, then the file.
        for (const QString& name : QPrinterInfo::availablePrinterNames()) printer_->addItem(name, name);
        printer_->addItem(kPrintToFileText, QString());
        int at = -1;
        if (now && !now->toFile) at = printer_->findData(QString::fromStdString(now->printer));
        if (now && now->toFile) at = printer_->count() - 1;
        if (at < 0) at = printer_->findData(QPrinterInfo::defaultPrinterName());
        printer_->setCurrentIndex(at < 0 ? 0 : at);
        (now && now->orientation == QPageLayout::Landscape ? landscape_ : portrait_)->setChecked(true);
        FillPapers(now ? std::optional<QPageSize>(now->paper) : std::nullopt);
        connect(printer_, &QComboBox::currentIndexChanged, this, [this] {
            FillPapers(CurrentPaper());
        });
    }

    PrintSetupChoice Choice() const {
        PrintSetupChoice c;
        const QString queue = printer_->currentData().toString();
        c.toFile = queue.isEmpty();
        c.printer = queue.toStdString();
        if (std::optional<QPageSize> p = CurrentPaper()) c.paper = *p;
        c.orientation = landscape_->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait;
        return c;
    }

private:
    std::optional<QPageSize> CurrentPaper() const {
        const int i = paper_->currentIndex();
        if (i < 0 || i >= papers_.size()) return std::nullopt;
        return papers_[i];
    }
    // The papers of the printer picked; the one shown before stays when the
    // printer has it, else the printer's own default.
    void FillPapers(std::optional<QPageSize> keep) {
        const QString queue = printer_->currentData().toString();
        const QPrinterInfo info = queue.isEmpty() ? QPrinterInfo() : QPrinterInfo::printerInfo(queue);
        papers_ = queue.isEmpty() ? FilePaperSizes() : info.supportedPageSizes();
        if (papers_.isEmpty()) papers_ = FilePaperSizes();
        paper_->clear();
        for (const QPageSize& p : papers_) paper_->addItem(p.name(), static_cast<int>(p.id()));
        int at = -1;
        auto find = [this](const QPageSize& p) {
            for (int i = 0; i < papers_.size(); ++i)
                if (papers_[i].isEquivalentTo(p)) return i;
            return -1;
        };
        if (keep) at = find(*keep);
        if (at < 0 && !queue.isEmpty()) at = find(info.defaultPageSize());
        if (at < 0) at = find(QPageSize(QPageSize::Letter));
        paper_->setCurrentIndex(at < 0 ? 0 : at);
    }

    QComboBox* printer_ = nullptr;
    QComboBox* paper_ = nullptr;
    QRadioButton* portrait_ = nullptr;
    QRadioButton* landscape_ = nullptr;
    QList<QPageSize> papers_;
};

}  // namespace

std::optional<PrintSetupChoice> ChosenPrintSetup() {
    std::lock_guard<std::mutex> l(held().m);
    return held().choice;
}

void SetPrintSetup(std::optional<PrintSetupChoice> choice) {
    std::lock_guard<std::mutex> l(held().m);
    held().choice = std::move(choice);
}

std::optional<QPageLayout> ChosenPageLayout() {
    const std::optional<PrintSetupChoice> c = ChosenPrintSetup();
    if (!c) return std::nullopt;
    return QPageLayout(c->paper, c->orientation, QMarginsF(0, 0, 0, 0));
}

std::string LastPrintFile() {
    std::lock_guard<std::mutex> l(held().m);
    return held().lastFile;
}

void SetLastPrintFile(const std::string& file) {
    std::lock_guard<std::mutex> l(held().m);
    held().lastFile = file;
}

void PresetPrinter(QPrinter& printer) {
    const std::optional<PrintSetupChoice> c = ChosenPrintSetup();
    if (!c) return;
    if (c->toFile) {
        std::string file = LastPrintFile();
        if (file.empty()) file = QDir::current().filePath("Report.pdf").toStdString();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(file));
    } else {
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setPrinterName(QString::fromStdString(c->printer));
    }
    printer.setPageLayout(QPageLayout(c->paper, c->orientation, printer.pageLayout().margins(), QPageLayout::Point,
                                      printer.pageLayout().minimumMargins()));
}

void KeepChosenPaper(QPrinter& printer) {
    const std::optional<PrintSetupChoice> c = ChosenPrintSetup();
    if (!c || c->toFile || printer.outputFormat() != QPrinter::NativeFormat ||
        printer.printerName().toStdString() != c->printer)
        return;
    const QPageSize now = printer.pageLayout().pageSize();
    if (now.isEquivalentTo(c->paper)) return;
    if (!now.isEquivalentTo(QPrinterInfo::printerInfo(printer.printerName()).defaultPageSize())) return;
    QPageLayout l = printer.pageLayout();
    l.setPageSize(c->paper);
    printer.setPageLayout(l);
}

bool PrintSetupDialog(QWidget* parent) {
    PrintSetupWindow w(parent);
    if (w.exec() != QDialog::Accepted) return false;
    SetPrintSetup(w.Choice());
    return true;
}

bool AimPrinter(QPrinter& printer, QWidget* parent) {
    const std::optional<PrintSetupChoice> c = ChosenPrintSetup();
    if (!c) return true;
    if (c->toFile) {
        std::string start = LastPrintFile();
        if (start.empty()) start = QDir::current().filePath("Report.pdf").toStdString();
        // Qt's own dialog asks before an existing file is replaced.
        QFileDialog d(parent, "Print to File", QString::fromStdString(start), "PDF Files (*.pdf);;All Files (*)");
        d.setObjectName("printFile");
        d.setAcceptMode(QFileDialog::AcceptSave);
        d.setFileMode(QFileDialog::AnyFile);
        d.setDefaultSuffix("pdf");
        d.selectFile(QString::fromStdString(start));
        if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return false;
        const QString file = d.selectedFiles().front();
        SetLastPrintFile(file.toStdString());
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
    } else {
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setPrinterName(QString::fromStdString(c->printer));
    }
    printer.setFullPage(true);
    printer.setPageLayout(QPageLayout(c->paper, c->orientation, QMarginsF(0, 0, 0, 0)));
    return true;
}

std::string PrintFileOf(const QPrinter& printer) {
    if (printer.outputFormat() != QPrinter::PdfFormat) return {};
    return printer.outputFileName().toStdString();
}

}  // namespace kr
