#include "dictionary/windows/AsciiViewer.h"

#include <unistd.h>

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <cstring>

#include "dictionary/StandardWarning.h"
#include "platform/data/Errors.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Services.h"
#include "platform/ui/PrintSetup.h"
#include "platform/ui/report/ReportPages.h"

namespace kr {

namespace {

constexpr int kPagesPerTurn = 4;

QFont ViewerFont() {
    QFont f(QStringLiteral("Courier New"));
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    return f;
}

// Does the byte range hold the needle? Case-folding is for ASCII letters;
// other characters compare exactly.
bool RangeContains(const char* p, qint64 n, const QByteArray& needle, bool matchCase) {
    const qint64 m = needle.size();
    if (m == 0) return true;
    if (m > n) return false;
    if (matchCase) {
        return std::search(p, p + n, needle.constData(), needle.constData() + m) != p + n;
    }
    auto eq = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    return std::search(p, p + n, needle.constData(), needle.constData() + m, eq) != p + n;
}

QString ClipTrailing(const QString& s) {
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1).isSpace()) --n;
    return s.left(n);
}

}  // namespace

// --- the model -----------------------------------------------------------------

AsciiFileModel::~AsciiFileModel() { Unload(); }

int AsciiFileModel::Load(const std::string& path) {
    beginResetModel();
    if (bytes_) file_.unmap(const_cast<uchar*>(reinterpret_cast<const uchar*>(bytes_)));
    bytes_ = nullptr;
    size_ = 0;
    starts_.clear();
    file_.close();
    file_.setFileName(QString::fromStdString(path));
    int result = kNoError;
    if (!file_.exists()) {
        result = kFileNotFound;
    } else if (!file_.open(QIODevice::ReadOnly)) {
        result = kAccessDenied;
    } else {
        size_ = file_.size();
        if (size_ > 0) {
            bytes_ = reinterpret_cast<const char*>(file_.map(0, size_));
            if (!bytes_) {
                size_ = 0;
                result = kAccessDenied;
            }
        }
    }
    if (bytes_) {
        qint64 pos = 0;
        while (pos < size_) {
            starts_.push_back(pos);
            const void* lf = std::memchr(bytes_ + pos, '\n', static_cast<std::size_t>(size_ - pos));
            if (!lf) break;
            pos = static_cast<const char*>(lf) - bytes_ + 1;
        }
    }
    endResetModel();
    return result;
}

void AsciiFileModel::Unload() {
    beginResetModel();
    if (bytes_) file_.unmap(const_cast<uchar*>(reinterpret_cast<const uchar*>(bytes_)));
    bytes_ = nullptr;
    size_ = 0;
    starts_.clear();
    file_.close();
    endResetModel();
}

QByteArray AsciiFileModel::LineBytes(std::size_t line) const {
    if (line >= starts_.size()) return {};
    qint64 begin = starts_[line];
    qint64 end = line + 1 < starts_.size() ? starts_[line + 1] : size_;
    while (end > begin && (bytes_[end - 1] == '\n' || bytes_[end - 1] == '\r')) --end;
    return QByteArray(bytes_ + begin, static_cast<qsizetype>(end - begin));
}

QString AsciiFileModel::LineText(std::size_t line) const { return QString::fromUtf8(LineBytes(line)); }

int AsciiFileModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(std::min<std::size_t>(starts_.size(), static_cast<std::size_t>(INT32_MAX)));
}

QVariant AsciiFileModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    return LineText(static_cast<std::size_t>(index.row()));
}

long FindLine(const AsciiFileModel& model, const QString& text, bool matchCase, bool down, long from) {
    const long count = static_cast<long>(model.LineCount());
    if (count == 0 || text.isEmpty()) return -1;
    const QByteArray needle = text.toUtf8();
    const bool ascii = std::all_of(needle.begin(), needle.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    auto holds = [&](long line) {
        QByteArray bytes = model.LineBytes(static_cast<std::size_t>(line));
        if (matchCase || ascii) return RangeContains(bytes.constData(), bytes.size(), needle, matchCase);
        return QString::fromUtf8(bytes).contains(text, Qt::CaseInsensitive);
    };
    if (down) {
        for (long l = std::max(0L, from); l < count; ++l)
            if (holds(l)) return l;
    } else {
        for (long l = std::min(count - 1, from); l >= 0; --l)
            if (holds(l)) return l;
    }
    return -1;
}

// --- the viewer ----------------------------------------------------------------

struct AsciiViewer::PrintJob {
    std::unique_ptr<QPrinter> owned;
    QPrinter* printer = nullptr;
    QPainter painter;
    std::size_t line = 0;
    std::function<void(bool)> done;
    bool finished = false;
};

AsciiViewer::AsciiViewer() = default;

AsciiViewer::~AsciiViewer() { Kill(); }

bool AsciiViewer::Init(QListView* list, const std::string& path, bool missingIsEmpty) {
    Kill();
    int err = model_.Load(path);
    if (err == kFileNotFound && missingIsEmpty) err = kNoError;
    if (err != kNoError) {
        data::SetLastError(err);
        StandardWarningText(26, path);
        return false;
    }
    if (model_.LineCount() == 0 && !missingIsEmpty) {
        StandardWarningText(28, path);
        model_.Unload();
        return false;
    }
    list_ = list;
    list_->setFont(ViewerFont());
    list_->setUniformItemSizes(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setModel(&model_);
    return true;
}

void AsciiViewer::Kill() {
    if (job_ && !job_->finished) {
        job_->finished = true;
        if (job_->painter.isActive()) job_->painter.end();
        if (job_->done) job_->done(false);
    }
    job_.reset();
    if (list_) list_->setModel(nullptr);
    list_ = nullptr;
    model_.Unload();
}

bool AsciiViewer::FindNext(const QString& text, bool matchCase, bool down) {
    if (!list_ || text.isEmpty()) return false;
    lastText_ = text;
    lastMatchCase_ = matchCase;
    lastDown_ = down;
    const long count = static_cast<long>(model_.LineCount());
    QModelIndex current = list_->currentIndex();
    const bool selected = current.isValid() && list_->selectionModel() && list_->selectionModel()->isSelected(current);
    long from = selected ? current.row() + (down ? 1 : -1) : (down ? 0 : count - 1);
    long found = FindLine(model_, text, matchCase, down, from);
    if (found < 0 && selected) {
        // Reached the end: on from the other end when the user says so.
        if (StandardWarningText(29, down ? "Down" : "Up") == kButtonYes)
            found = FindLine(model_, text, matchCase, down, down ? 0 : count - 1);
        else
            return false;
    }
    if (found < 0) {
        Message("\"" + text.toStdString() + "\" was not found.", "Search", MessageIcon::Information);
        return false;
    }
    QModelIndex idx = model_.index(static_cast<int>(found));
    list_->setCurrentIndex(idx);
    list_->selectionModel()->select(idx, QItemSelectionModel::ClearAndSelect);
    list_->scrollTo(idx, QAbstractItemView::PositionAtCenter);
    return true;
}

void AsciiViewer::Find() {
    if (!list_) return;
    auto* dialog = new QDialog(list_->window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Search"));
    dialog->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(dialog);
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Fi&nd what:"), dialog);
    auto* text = new QLineEdit(lastText_, dialog);
    text->setObjectName(QStringLiteral("findText"));
    label->setBuddy(text);
    row->addWidget(label);
    row->addWidget(text);
    layout->addLayout(row);
    auto* matchCase = new QCheckBox(QStringLiteral("Match &case"), dialog);
    matchCase->setChecked(lastMatchCase_);
    auto* up = new QRadioButton(QStringLiteral("&Up"), dialog);
    auto* down = new QRadioButton(QStringLiteral("&Down"), dialog);
    (lastDown_ ? down : up)->setChecked(true);
    auto* options = new QHBoxLayout;
    options->addWidget(matchCase);
    options->addStretch();
    options->addWidget(up);
    options->addWidget(down);
    layout->addLayout(options);
    auto* buttons = new QDialogButtonBox(dialog);
    QPushButton* findButton = buttons->addButton(QStringLiteral("&Find Next"), QDialogButtonBox::AcceptRole);
    findButton->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, [this, dialog, text, matchCase, down] {
        QString what = text->text();
        bool mc = matchCase->isChecked();
        bool dn = down->isChecked();
        dialog->accept();
        if (list_) FindNext(what, mc, dn);
    });
    dialog->open();
}

bool AsciiViewer::Printing() const { return job_ && !job_->finished; }

void AsciiViewer::Print() {
    if (!list_ || Printing()) return;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    // The dialog opens on the printer, paper and orientation of Print Setup.
    PresetPrinter(*printer);
    QPrintDialog dialog(printer.get(), list_->window());
    dialog.setWindowTitle(QStringLiteral("Print"));
    if (dialog.exec() != QDialog::Accepted) return;
    KeepChosenPaper(*printer);
    if (printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty())
        SetLastPrintFile(printer->outputFileName().toStdString());
    QPrinter* p = printer.get();
    auto keep = std::make_shared<std::unique_ptr<QPrinter>>(std::move(printer));
    PrintTo(p, [keep](bool) { keep->reset(); });
}

void AsciiViewer::PrintTo(QPrinter* printer, std::function<void(bool ok)> done) {
    if (!list_ || !printer || Printing()) {
        if (done) done(false);
        return;
    }
    auto job = std::make_shared<PrintJob>();
    job->printer = printer;
    job->done = std::move(done);
    // A PDF file is the owner's alone when the print makes it, as the
    // reports' are.
    const std::string file = PrintFileOf(*printer);
    const bool made = report::MakePrivatePrintFile(file);
    if (!job->painter.begin(printer)) {
        if (made) ::unlink(file.c_str());
        if (job->done) job->done(false);
        return;
    }
    job->painter.setFont(ViewerFont());
    job_ = job;

    std::weak_ptr<PrintJob> weak = job;
    QTimer::singleShot(0, list_, [this, weak] { PrintStep(weak); });
}

void AsciiViewer::PrintStep(std::weak_ptr<PrintJob> weak) {
    std::shared_ptr<PrintJob> j = weak.lock();
    if (!j || j->finished || !list_) return;
    QPainter& painter = j->painter;
    const QRect page = painter.viewport();
    const QFontMetrics fm(painter.font(), j->printer);
    const int lineHeight = std::max(1, fm.lineSpacing());
    const int linesPerPage = std::max(1, page.height() / lineHeight);
    for (int pages = 0; pages < kPagesPerTurn && j->line < model_.LineCount(); ++pages) {
        if (j->line > 0 && !j->printer->newPage()) {
            j->finished = true;
            painter.end();
            if (j->done) j->done(false);
            return;
        }
        for (int i = 0; i < linesPerPage && j->line < model_.LineCount(); ++i, ++j->line)
            painter.drawText(0, i * lineHeight + fm.ascent(), ClipTrailing(model_.LineText(j->line)));
    }
    if (j->line >= model_.LineCount()) {
        j->finished = true;
        bool ok = painter.end();
        if (j->done) j->done(ok);
        return;
    }
    QTimer::singleShot(0, list_, [this, weak] { PrintStep(weak); });
}

}  // namespace kr
