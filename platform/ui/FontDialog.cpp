#include "platform/ui/FontDialog.h"

#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kr {

namespace {

// Enter and Escape in the embedded font dialog are the window's OK and
// Cancel: left to the font dialog, Escape closed only it, leaving an empty
// window, and Enter did nothing.
class EmbeddedDialogKeys : public QObject {
public:
    EmbeddedDialogKeys(QDialog* outer, QObject* parent) : QObject(parent), outer_(outer) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->modifiers() & ~Qt::KeypadModifier) return false;
        if (k->key() == Qt::Key_Escape) {
            outer_->reject();
            return true;
        }
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            outer_->accept();
            return true;
        }
        return false;
    }

private:
    QDialog* outer_;
};

}  // namespace

bool ChooseFontAndColour(QWidget* parent, QFont& font, QColor& colour, const QString& title) {
    // Qt's font dialog has no colour: it is embedded with a colour button
    // beside it, which opens the colour dialog.
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("FontAndColour"));
    dialog.setWindowTitle(title);
    auto* v = new QVBoxLayout(&dialog);
    auto* fonts = new QFontDialog(font, &dialog);
    fonts->setWindowFlags(Qt::Widget);
    fonts->setOptions(QFontDialog::NoButtons);
    fonts->installEventFilter(new EmbeddedDialogKeys(&dialog, fonts));
    v->addWidget(fonts);
    auto* row = new QHBoxLayout;
    auto* colourButton = new QPushButton(QStringLiteral("&Color..."));
    colourButton->setObjectName(QStringLiteral("colour"));
    auto* swatch = new QLabel;
    swatch->setObjectName(QStringLiteral("swatch"));
    swatch->setFixedSize(40, 20);
    swatch->setFrameShape(QFrame::Box);
    QColor chosen = colour;
    auto paint = [swatch, &chosen] {
        swatch->setStyleSheet(QStringLiteral("background-color: %1").arg(chosen.name()));
        swatch->setProperty("colour", chosen.name());
    };
    paint();
    QObject::connect(colourButton, &QPushButton::clicked, &dialog, [&dialog, &chosen, paint] {
        const QColor c = QColorDialog::getColor(chosen, &dialog, QStringLiteral("Color"));
        if (c.isValid()) {
            chosen = c;
            paint();
        }
    });
    row->addWidget(colourButton);
    row->addWidget(swatch);
    row->addStretch(1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    row->addWidget(buttons);
    v->addLayout(row);
    if (dialog.exec() != QDialog::Accepted) return false;
    font = fonts->currentFont();
    colour = chosen;
    return true;
}

}  // namespace kr
