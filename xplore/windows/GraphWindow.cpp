#include "xplore/windows/GraphWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>
#include <optional>

#include "platform/data/ListQuery.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/BrowseList.h"
#include "platform/ui/Icons.h"
#include "xplore/Colors.h"
#include "xplore/Graph.h"
#include "xplore/GraphPreferences.h"
#include "xplore/windows/XploreList.h"

namespace kr::xplore {

QColor ColorFromValue(int32_t bgr) {
    if (bgr < 0) return {};
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QFont GraphFont(const GraphPreferences& p) {
    QFont f(QString::fromStdString(p.fontName));
    f.setPointSize(p.fontSize > 0 ? p.fontSize : 8);
    const int weight = p.fontStyle & 4095;
    f.setWeight(static_cast<QFont::Weight>(std::clamp(weight > 0 ? weight : 400, 100, 900)));
    f.setItalic((p.fontStyle & 4096) != 0);
    f.setUnderline((p.fontStyle & 8192) != 0);
    return f;
}

namespace {

// The drawing of the bars, labels and axis in the graph window's client area.
class GraphCanvas : public QWidget {
public:
    GraphCanvas(const GraphCategories& categories, std::string iniFile, QWidget* parent)
        : QWidget(parent), categories_(categories), iniFile_(std::move(iniFile)) {
        setObjectName(QStringLiteral("graph"));
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, Qt::white);
        setPalette(pal);
        Reload();
    }
    // Reads the preferences again (after the preferences window).
    void Reload() {
        prefs_ = GraphPreferences::Read(iniFile_, true);
        update();
    }
    const GraphPreferences& prefs() const { return prefs_; }
    // The colour of bar n (from 1).
    QColor BarColor(int n) const {
        return ColorFromValue(ColorValue(prefs_.colors[static_cast<std::size_t>(GraphColorIndex(n) - 1)]));
    }
    GraphLayout Layout() const { return ComputeGraphLayout(width(), height(), static_cast<int>(categories_.Size())); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const int n = static_cast<int>(categories_.Size());
        if (n < 2) return;
        const GraphLayout l = Layout();
        const int y = l.baseY;
        const int32_t max = categories_.MaxCount();
        const QFont font = GraphFont(prefs_);
        const QColor textColor = ColorFromValue(prefs_.fontColor).isValid() ? ColorFromValue(prefs_.fontColor)
                                                                              : QColor(Qt::black);
        p.setFont(font);
        const QFontMetrics fm(font);
        p.setPen(textColor);
        p.drawText(QPoint(l.x0 - 70, y + 4 + fm.ascent()), QStringLiteral("Count"));
        p.drawText(QPoint(l.x0 - 70, y + 20 + fm.ascent()), QStringLiteral("Percent"));
        for (int i = 1; i <= n; ++i) {
            const auto& c = categories_.Items()[static_cast<std::size_t>(i - 1)];
            const int xn = l.BarLeft(i);
            const int h = l.BarHeight(c.count, max);
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(BarColor(i));
            p.drawRect(xn, y - h + 2, l.barWidth, h);
            p.setPen(textColor);
            p.drawText(QRect(xn, y + 4, l.barWidth, fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                       QString::number(c.count));
            p.drawText(QRect(xn, y + 20, l.barWidth, fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                       QString::fromStdString(GraphPercentText(c.percent, l.WholePercent())));
            // The category name reads upwards over its bar from just above the
            // base line, so a tall bar's name stays inside the window.
            const QString label = QString::fromStdString(GraphLabel(c.name));
            p.save();
            p.translate(xn + l.barWidth / 2 + (fm.ascent() - fm.descent()) / 2, y - 8);
            p.rotate(-90);
            p.drawText(0, 0, label);
            p.restore();
        }
        p.setPen(QPen(Qt::black, 4));
        p.drawLine(l.x0, y + 2, l.x0 + l.AxisLength(n), y + 2);
    }

private:
    const GraphCategories& categories_;
    std::string iniFile_;
    GraphPreferences prefs_;
};

class GraphWindow : public QDialog {
public:
    GraphWindow(std::shared_ptr<GraphCategories> categories, const std::string& description, const std::string& filter,
                std::string iniFile, QWidget* parent)
        : QDialog(parent), categories_(std::move(categories)), iniFile_(iniFile) {
        setObjectName(QStringLiteral("Graph"));
        setWindowTitle(QStringLiteral("Graph"));
        setAttribute(Qt::WA_DeleteOnClose);
        auto* v = new QVBoxLayout(this);
        picture_ = new QWidget(this);
        picture_->setObjectName(QStringLiteral("picture"));
        auto* pv = new QVBoxLayout(picture_);
        pv->setContentsMargins(0, 0, 0, 0);
        auto* heading = new QLabel(QString::fromStdString(GraphHeading(categories_->Rows(), description)), picture_);
        heading->setObjectName(QStringLiteral("heading"));
        auto* filterLine = new QLabel(QString::fromStdString(GraphFilterHeading(filter)), picture_);
        filterLine->setObjectName(QStringLiteral("filter"));
        for (QLabel* l : {heading, filterLine}) l->setTextFormat(Qt::PlainText);
        canvas_ = new GraphCanvas(*categories_, iniFile_, picture_);
        pv->addWidget(heading);
        pv->addWidget(filterLine);
        pv->addWidget(canvas_, 1);
        v->addWidget(picture_, 1);

        auto* row = new QHBoxLayout;
        ok_ = new QPushButton(IconByName("ok.ico"), QStringLiteral("&OK"), this);
        ok_->setObjectName(QStringLiteral("ok"));
        ok_->setDefault(true);
        auto* prefs = new QPushButton(QStringLiteral("Pre&ferences"), this);
        prefs->setObjectName(QStringLiteral("preferences"));
        prefs->setToolTip(QStringLiteral("Change Colors and/or Font"));
        auto* clip = new QPushButton(QStringLiteral("&To Clipboard"), this);
        clip->setObjectName(QStringLiteral("toClipboard"));
        clip->setToolTip(QStringLiteral("Copies an Window Image to the ClipBoard"));
        row->addStretch(1);
        row->addWidget(ok_);
        row->addWidget(prefs);
        row->addWidget(clip);
        row->addStretch(1);
        v->addLayout(row);
        connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
        connect(prefs, &QPushButton::clicked, this, [this] {
            Preferences(iniFile_, this, [this] {
                canvas_->Reload();
                ok_->setFocus();
            });
        });
        connect(clip, &QPushButton::clicked, this, [this] { ToClipboard(); });
    }
    GraphCanvas* canvas() const { return canvas_; }

    // The graph and its headings as an image on the clipboard; the buttons
    // are not part of the picture.
    void ToClipboard() {
        QGuiApplication::clipboard()->setImage(picture_->grab().toImage());
        ok_->setFocus();
    }

protected:
    void showEvent(QShowEvent* e) override {
        QDialog::showEvent(e);
        ok_->setFocus();
    }
    void keyPressEvent(QKeyEvent* e) override {
        // Print Screen and Alt+Print Screen are the graph's own keys and do nothing.
        if (e->key() == Qt::Key_Print) return;
        QDialog::keyPressEvent(e);
    }

private:
    std::shared_ptr<GraphCategories> categories_;
    std::string iniFile_;
    QWidget* picture_;
    GraphCanvas* canvas_;
    QPushButton* ok_;
};

// The progress window of the counting: "Progress...", a bar and a Cancel
// button without an action; Esc asks whether to quit.
class CountWindow : public QDialog {
public:
    explicit CountWindow(QWidget* parent) : QDialog(parent) {
        setObjectName(QStringLiteral("GraphProgress"));
        setWindowTitle(QStringLiteral("Progress..."));
        auto* v = new QVBoxLayout(this);
        bar = new QProgressBar(this);
        bar->setRange(0, 100);
        v->addWidget(bar);
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
        cancel->setAutoDefault(false);
        v->addWidget(cancel, 0, Qt::AlignHCenter);
        resize(360, 100);
    }
    QProgressBar* bar;
    std::function<void()> onEscape;

protected:
    void reject() override {
        // Esc and the close box while counting: asked, never just closed.
        // Once the counting is over (no question left), closing closes:
        // close() comes through here too, and a window kept open would stay
        // over the list, which it blocks.
        if (onEscape)
            onEscape();
        else
            QDialog::reject();
    }
};

// One graph from its counting to its window.
class GraphRun : public std::enable_shared_from_this<GraphRun> {
public:
    GraphRun(XploreList& list, Column column, int browseColumn, std::function<void()> done)
        : list_(list), column_(std::move(column)), browseColumn_(browseColumn), done_(std::move(done)),
          categories_(std::make_shared<GraphCategories>()) {}

    void Start() {
        BrowseList& b = list_.list();
        data::ListQuery& q = b.query();
        expected_ = q.table().Records();
        if (expected_ < 1) expected_ = b.Records();
        filter_ = q.FilterText().substr(0, 100);
        parent_ = b.ListControl()->window();
        progress_ = new CountWindow(parent_);
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setAttribute(Qt::WA_DeleteOnClose);
        auto self = shared_from_this();
        progress_->onEscape = [self] { self->AskQuit(); };
        progress_->show();
        QApplication::setOverrideCursor(Qt::BusyCursor);
        QTimer::singleShot(0, progress_, [self] { self->Step(); });
    }

private:
    void AskQuit() {
        if (finished_ || asking_) return;
        asking_ = true;
        QApplication::beep();
        const int answer = Message(std::string(kGraphQuitQuestion), std::string(kGraphCaption),
                                   MessageIcon::Information, kButtonYes | kButtonNo, kButtonNo);
        asking_ = false;
        if (answer == kButtonYes) {
            categories_->Clear();
            quit_ = true;
        }
        if (resume_) {
            resume_ = false;
            auto self = shared_from_this();
            QTimer::singleShot(0, progress_, [self] { self->Step(); });
        }
    }

    // A slice of about 50 ms of counting; the progress shows at most every 250 ms.
    void Step() {
        if (finished_) return;
        if (asking_) {
            resume_ = true;
            return;
        }
        if (quit_) return End(false);
        if (!counter_) {
            // The cell text the list shows: a field's value with the
            // column's picture reads that field alone; a computed column
            // may read any field.
            BrowseList& b = list_.list();
            const int column = browseColumn_;
            const BrowseColumn& c = b.Columns()[static_cast<std::size_t>(column)];
            const int field = c.value || c.field.empty() ? -1 : b.table().def().fieldIndex(c.field);
            std::function<std::string(const data::ListRow&)> cell;
            std::optional<std::vector<int>> fields;
            if (field >= 0) {
                fields = std::vector<int>{field};
                cell = [picture = c.picture, field](const data::ListRow& r) {
                    const Value& v = r.field(field);
                    return picture.empty() ? v.toText() : ClipRight(Format(v, picture));
                };
            } else {
                cell = [&b, column](const data::ListRow& r) { return b.CellText(r, column); };
            }
            counter_ = std::make_unique<GraphCounter>(b.query(), std::move(cell), *categories_, std::move(fields));
        }
        switch (counter_->Step(50)) {
            case GraphCounter::State::Failed:
                return End(true);  // a failed read ends the graph without a word
            case GraphCounter::State::Done:
                return End(false);
            case GraphCounter::State::TooMany:
                Close();
                Message(TooComplexMessage(column_.description), std::string(kGraphCaption), MessageIcon::Information,
                        kButtonOk);
                return Finish();
            case GraphCounter::State::Counting:
                break;
        }
        const std::string lastText = counter_->LastText();
        if (paintClock_.isValid() == false || paintClock_.elapsed() >= 250) {
            paintClock_.start();
            const int64_t r = categories_->Rows();
            progress_->bar->setValue(expected_ > 0 ? static_cast<int>(std::min<int64_t>(100, r * 100 / expected_)) : 0);
            std::string t = lastText;
            while (!t.empty() && t.back() == ' ') t.pop_back();
            progress_->setWindowTitle(QString::fromStdString("Record=" + std::to_string(r) + " - " + t));
        }
        auto self = shared_from_this();
        QTimer::singleShot(0, progress_, [self] { self->Step(); });
    }

    void Close() {
        finished_ = true;
        QApplication::restoreOverrideCursor();
        if (progress_) {
            progress_->onEscape = nullptr;
            progress_->close();
            progress_ = nullptr;
        }
    }

    void End(bool failed) {
        Close();
        if (failed) return Finish();
        const std::string message = GraphEndMessage(*categories_, column_.description);
        if (!message.empty()) {
            Message(message, std::string(kGraphCaption), MessageIcon::Information, kButtonOk);
            return Finish();
        }
        categories_->ComputePercents();
        auto* w = new GraphWindow(categories_, column_.description, filter_, list_.core().iniFile, parent_);
        w->setWindowModality(Qt::WindowModal);
        auto self = shared_from_this();
        QObject::connect(w, &QDialog::finished, w, [self] { self->Finish(); });
        w->showMaximized();
    }

    void Finish() {
        if (done_) {
            auto d = std::move(done_);
            done_ = nullptr;
            d();
        }
    }

    XploreList& list_;
    Column column_;
    int browseColumn_;
    std::function<void()> done_;
    std::shared_ptr<GraphCategories> categories_;
    QWidget* parent_ = nullptr;
    CountWindow* progress_ = nullptr;
    std::unique_ptr<GraphCounter> counter_;
    int64_t expected_ = 0;
    std::string filter_;
    QElapsedTimer paintClock_;
    bool finished_ = false, asking_ = false, resume_ = false, quit_ = false;
};

}  // namespace

void Graph(XploreList& list, int listColumn, std::function<void()> done) {
    const Column* c = list.core().DisplayColumn(listColumn);
    const int browseColumn = c ? list.BrowseColumnOf(*c) : -1;
    if (!c || browseColumn < 0) {
        if (done) done();
        return;
    }
    auto run = std::make_shared<GraphRun>(list, *c, browseColumn, std::move(done));
    run->Start();
}

}  // namespace kr::xplore
