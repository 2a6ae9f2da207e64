#include "platform/ui/TabHighlight.h"

#include <QTabBar>

namespace kr {

namespace {

// A Windows RGB value (red in the low byte) as a style colour.
QString StyleColour(long rgb) {
    const int r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
    return QString("rgb(%1, %2, %3)").arg(r).arg(g).arg(b);
}

QColor ColourOf(long rgb) { return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF); }

}  // namespace

void TabHighlight::Init(QWidget* window, long selTabCol, long selTextCol, bool boldSelected, bool inclChild,
                        bool noWizard, long unselTextCol, long unselTabCol) {
    selTabCol_ = selTabCol;
    selTextCol_ = selTextCol;
    bold_ = boldSelected;
    inclChild_ = inclChild;
    noWizard_ = noWizard;
    unselTextCol_ = unselTextCol;
    unselTabCol_ = unselTabCol;
    sheets_.clear();
    if (!window) return;
    for (QTabWidget* t : window->findChildren<QTabWidget*>()) sheets_.push_back(t);
}

bool TabHighlight::IsWizardSheet(const QTabWidget* sheet) {
    return sheet && (sheet->property("krWizardSheet").toBool() || sheet->tabBar()->isHidden());
}

QString TabHighlight::RuleFor(const QTabWidget* sheet) const {
    if (!sheet || (noWizard_ && IsWizardSheet(sheet))) return {};
    QString sel, unsel;
    if (selTabCol_ != -1) sel += "background: " + StyleColour(selTabCol_) + ";";
    if (selTextCol_ != -1) sel += "color: " + StyleColour(selTextCol_) + ";";
    if (bold_) sel += "font-weight: bold;";
    if (unselTabCol_ != -1) unsel += "background: " + StyleColour(unselTabCol_) + ";";
    if (unselTextCol_ != -1) unsel += "color: " + StyleColour(unselTextCol_) + ";";
    QString rule;
    if (!sel.isEmpty()) rule += "QTabBar::tab:selected {" + sel + "}";
    if (!unsel.isEmpty()) rule += "QTabBar::tab:!selected {" + unsel + "}";
    // A tab bar drawn by rules needs its padding and border spelled out.
    if (!rule.isEmpty()) rule = "QTabBar::tab { padding: 3px 8px; border: 1px solid palette(mid); }" + rule;
    return rule;
}

void TabHighlight::Refresh() {
    if (sheets_.empty()) return;
    for (const QPointer<QTabWidget>& sheet : sheets_) {
        if (!sheet) continue;
        const QString rule = RuleFor(sheet);
        if (sheet->tabBar()->styleSheet() != rule) sheet->tabBar()->setStyleSheet(rule);
        if (inclChild_ && !(noWizard_ && IsWizardSheet(sheet))) {
            for (int i = 0; i < sheet->count(); ++i) {
                QWidget* page = sheet->widget(i);
                const long col = i == sheet->currentIndex() ? selTabCol_ : unselTabCol_;
                QPalette p = page->palette();
                if (col != -1) {
                    p.setColor(QPalette::Window, ColourOf(col));
                    page->setAutoFillBackground(true);
                } else {
                    p = sheet->palette();
                    page->setAutoFillBackground(false);
                }
                page->setPalette(p);
            }
        }
        sheet->tabBar()->update();
    }
}

void TabHighlight::Kill() { sheets_.clear(); }

}  // namespace kr
