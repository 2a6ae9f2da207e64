// The graph preferences window: the sixteen graph colours in their order
// (the graph uses the top eight) and the label font.
#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/ui/FontDialog.h"
#include "platform/ui/Icons.h"
#include "xplore/GraphPreferences.h"
#include "xplore/windows/GraphWindow.h"

namespace kr::xplore {

namespace {

// The swatch column shows its colour whether the row is selected or not.
class SwatchDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const Swatch s = SwatchOf(index.data(Qt::UserRole).toString().toStdString());
        if (!s.known) return QStyledItemDelegate::paint(p, option, index);
        p->fillRect(option.rect.adjusted(2, 2, -2, -2), ColorFromValue(s.background));
    }
};

class PreferencesWindow : public QDialog {
public:
    PreferencesWindow(std::string iniFile, QWidget* parent) : QDialog(parent), iniFile_(std::move(iniFile)) {
        setObjectName(QStringLiteral("Preferences"));
        setWindowTitle(QStringLiteral("Preferences"));
        setAttribute(Qt::WA_DeleteOnClose);
        prefs_ = GraphPreferences::Read(iniFile_, false);
        auto* v = new QVBoxLayout(this);
        tabs_ = new QTabWidget(this);
        tabs_->setObjectName(QStringLiteral("tabs"));
        // The chosen tab's text is bold.
        tabs_->setStyleSheet(QStringLiteral("QTabBar::tab:selected { font-weight: bold; }"));
        v->addWidget(tabs_);

        auto* colorsPage = new QWidget;
        auto* ch = new QHBoxLayout(colorsPage);
        list_ = new QTableWidget(16, 2, colorsPage);
        list_->setObjectName(QStringLiteral("colors"));
        list_->setHorizontalHeaderLabels({QStringLiteral("Graph Colors"), QString()});
        list_->verticalHeader()->hide();
        list_->setSelectionBehavior(QAbstractItemView::SelectRows);
        list_->setSelectionMode(QAbstractItemView::SingleSelection);
        list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list_->setTabKeyNavigation(false);
        list_->setItemDelegateForColumn(1, new SwatchDelegate(list_));
        list_->setColumnWidth(0, 110);
        list_->setColumnWidth(1, 150);
        ch->addWidget(list_, 1);
        auto* side = new QVBoxLayout;
        auto* up = new QPushButton(IconByName("MOVEUP.ICO"), QString(), colorsPage);
        up->setObjectName(QStringLiteral("moveUp"));
        up->setToolTip(QStringLiteral("Move Up"));
        auto* down = new QPushButton(IconByName("MOVEDOWN.ICO"), QString(), colorsPage);
        down->setObjectName(QStringLiteral("moveDown"));
        down->setToolTip(QStringLiteral("Move Down"));
        auto* reset = new QPushButton(QStringLiteral("&Reset"), colorsPage);
        reset->setObjectName(QStringLiteral("reset"));
        for (QPushButton* b : {up, down, reset}) b->setAutoDefault(false);
        side->addWidget(up);
        side->addWidget(down);
        side->addStretch(1);
        side->addWidget(reset);
        ch->addLayout(side);
        auto* colorsOuter = new QWidget;
        auto* cv = new QVBoxLayout(colorsOuter);
        cv->addWidget(colorsPage);
        auto* note = new QLabel(QStringLiteral("Note: Only the top 8 colors will be used for graphing"));
        cv->addWidget(note);
        tabs_->addTab(colorsOuter, QStringLiteral("&Colors"));

        auto* fontPage = new QWidget;
        auto* fv = new QVBoxLayout(fontPage);
        fv->addWidget(new QLabel(QStringLiteral("Specify the font here to be used in the Graphs")));
        sample_ = new QLabel(fontPage);
        sample_->setObjectName(QStringLiteral("sample"));
        sample_->setMinimumHeight(60);
        fv->addWidget(sample_, 1);
        auto* changeFont = new QPushButton(QStringLiteral("Change &Font"), fontPage);
        changeFont->setObjectName(QStringLiteral("changeFont"));
        changeFont->setAutoDefault(false);
        fv->addWidget(changeFont, 0, Qt::AlignLeft);
        tabs_->addTab(fontPage, QStringLiteral("Font"));

        auto* ok = new QPushButton(QStringLiteral("&OK"), this);
        ok->setObjectName(QStringLiteral("ok"));
        ok->setDefault(true);
        v->addWidget(ok, 0, Qt::AlignRight);

        connect(up, &QPushButton::clicked, this, [this] { Move(-1); });
        connect(down, &QPushButton::clicked, this, [this] { Move(+1); });
        connect(reset, &QPushButton::clicked, this, [this] {
            for (int n = 1; n <= 16; ++n) prefs_.colors[static_cast<std::size_t>(n - 1)] = DefaultGraphColor(n);
            Fill();
        });
        connect(changeFont, &QPushButton::clicked, this, [this] { ChangeFont(); });
        connect(ok, &QPushButton::clicked, this, [this] {
            for (int n = 0; n < 16; ++n)
                prefs_.colors[static_cast<std::size_t>(n)] = list_->item(n, 0)->text().toStdString();
            accept();
        });
        // However the window closes, the section is written.
        connect(this, &QDialog::finished, this, [this] { prefs_.Write(iniFile_); });
        Fill();
        ShowSample();
        list_->selectRow(0);
        list_->setFocus();
        resize(380, 420);
    }

private:
    void Fill() {
        const int current = std::max(0, list_->currentRow());
        for (int n = 0; n < 16; ++n) {
            const QString name = QString::fromStdString(prefs_.colors[static_cast<std::size_t>(n)]);
            list_->setItem(n, 0, new QTableWidgetItem(name));
            auto* swatch = new QTableWidgetItem(QStringLiteral(" "));
            swatch->setData(Qt::UserRole, name);
            list_->setItem(n, 1, swatch);
        }
        list_->selectRow(current);
    }
    // Exchanges the chosen row with its neighbour; at either end only a beep.
    void Move(int by) {
        const int row = list_->currentRow();
        const int to = row + by;
        if (row < 0 || to < 0 || to >= 16) {
            QApplication::beep();
            return;
        }
        for (int col = 0; col < 2; ++col) {
            QTableWidgetItem* a = list_->takeItem(row, col);
            QTableWidgetItem* b = list_->takeItem(to, col);
            list_->setItem(row, col, b);
            list_->setItem(to, col, a);
        }
        list_->selectRow(to);
        list_->setFocus();
    }
    void ShowSample() {
        sample_->setText(QString::fromStdString(FontSampleText(prefs_.fontName, prefs_.fontSize, prefs_.fontStyle)));
        sample_->setFont(GraphFont(prefs_));
        QPalette pal = sample_->palette();
        pal.setColor(QPalette::WindowText, ColorFromValue(prefs_.fontColor));
        sample_->setPalette(pal);
    }
    void ChangeFont() {
        QFont font = GraphFont(prefs_);
        QColor colour = ColorFromValue(prefs_.fontColor);
        if (!ChooseFontAndColour(this, font, colour, QStringLiteral("Select font for vertical legend on graphs"))) return;
        prefs_.fontName = font.family().toStdString().substr(0, 20);
        prefs_.fontSize = font.pointSize() > 0 ? font.pointSize() : prefs_.fontSize;
        prefs_.fontColor = colour.red() | (colour.green() << 8) | (colour.blue() << 16);
        prefs_.fontStyle = static_cast<int>(font.weight()) + (font.italic() ? 4096 : 0) + (font.underline() ? 8192 : 0);
        ShowSample();
    }

    std::string iniFile_;
    GraphPreferences prefs_;
    QTabWidget* tabs_;
    QTableWidget* list_;
    QLabel* sample_;
};

}  // namespace

void Preferences(const std::string& iniFile, QWidget* parent, std::function<void()> done) {
    auto* w = new PreferencesWindow(iniFile, parent);
    w->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(w, &QDialog::finished, w, [done] {
        if (done) done();
    });
    w->open();
}

}  // namespace kr::xplore
