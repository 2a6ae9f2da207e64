// The framework's ASCII viewer: a text file shown line by line in a list,
// with a find and printing.
//
// The file is mapped, not read: the viewer keeps the offsets of its lines
// and the list asks for the lines it shows, so a log of millions of lines
// opens at once and costs little memory. Searching runs over the mapped bytes;
// printing goes out a few pages per turn of the event loop, so neither keeps
// the window from answering for long.
#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QFile>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QListView;
class QPrinter;
class QWidget;

namespace kr {

// The lines of a text file for a list view. A line ends at LF; a CR before
// it is dropped. Bytes are read as UTF-8.
class AsciiFileModel : public QAbstractListModel {
public:
    AsciiFileModel() = default;
    ~AsciiFileModel() override;

    // Maps the file and finds its lines. 0 on success, else the runtime's
    // error code (2 missing, 5 no access); an empty file opens with no lines.
    int Load(const std::string& path);
    void Unload();

    std::size_t LineCount() const { return starts_.size(); }
    // The line's bytes without its line end.
    QByteArray LineBytes(std::size_t line) const;
    QString LineText(std::size_t line) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QFile file_;
    const char* bytes_ = nullptr;
    qint64 size_ = 0;
    std::vector<qint64> starts_;
};

// A find over the lines: the first line at or after `from` (or at or before,
// upwards) that holds `text`; -1 when none up to the end (or start) of the file.
long FindLine(const AsciiFileModel& model, const QString& text, bool matchCase, bool down, long from);

class AsciiViewer {
public:
    AsciiViewer();
    ~AsciiViewer();
    AsciiViewer(const AsciiViewer&) = delete;
    AsciiViewer& operator=(const AsciiViewer&) = delete;

    // Attaches the viewer to the list on the file. A file that cannot be read
    // shows "File Load Error" with the error, an empty one "File Load Error"
    // with "The file you've requested contains no text."; both give false.
    // A file that is missing or empty is shown as an empty list instead when
    // `missingIsEmpty` is set (a log nothing was written to yet).
    bool Init(QListView* list, const std::string& path, bool missingIsEmpty = false);
    void Kill();
    bool Ready() const { return !list_.isNull(); }
    const AsciiFileModel& Model() const { return model_; }

    // The find: asks for the text (a window-modal dialog over the list's
    // window) and goes to the next line that holds it, from the selected line
    // (the first line when none is selected). Reaching the end asks whether
    // to go on from the other end; a text found nowhere says so.
    void Find();
    // The find without its dialog. True when a line was found and selected.
    bool FindNext(const QString& text, bool matchCase, bool down);

    // Prints every line on the printer, a few pages per turn of the event
    // loop; done gets true when the last page went out. The printer must live
    // until then. Print asks for the printer first (the standard print
    // dialog) and owns it.
    void Print();
    void PrintTo(QPrinter* printer, std::function<void(bool ok)> done = {});
    bool Printing() const;

private:
    struct PrintJob;
    void PrintStep(std::weak_ptr<PrintJob> job);
    QPointer<QListView> list_;
    AsciiFileModel model_;
    QString lastText_;
    bool lastMatchCase_ = false;
    bool lastDown_ = true;
    std::shared_ptr<PrintJob> job_;
};

}  // namespace kr
