#include "scheduler/windows/About.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "dictionary/GlobalErrors.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Value.h"
#include "scheduler/TimerCycle.h"
#include "platform/ui/WindowPosition.h"

namespace kr {

void AboutLayout::Build() {
    // A dialog, so that it opens over the frame that calls it.
    window = new QWidget(nullptr, Qt::Dialog);
    window->setWindowTitle(QStringLiteral("About Kairoll"));
    auto* outer = new QVBoxLayout(window);
    product = new QLabel(QStringLiteral("Kairoll"), window);
    QFont f = product->font();
    f.setPointSizeF(f.pointSizeF() * 2);
    f.setBold(true);
    product->setFont(f);
    product->setAlignment(Qt::AlignCenter);
    outer->addWidget(product);
    version = new QLabel(QStringLiteral("Version ") + QString::fromUtf8(kProductVersion), window);
    version->setAlignment(Qt::AlignCenter);
    outer->addWidget(version);
    auto* buildRow = new QHBoxLayout;
    buildRow->addStretch();
    buildRow->addWidget(new QLabel(QStringLiteral("Build"), window));
    build = new QLabel(window);
    build->setObjectName(QStringLiteral("build"));
    buildDate = new QLabel(window);
    buildDate->setObjectName(QStringLiteral("buildDate"));
    buildRow->addWidget(build);
    buildRow->addWidget(buildDate);
    buildRow->addStretch();
    outer->addLayout(buildRow);
    auto* buttons = new QHBoxLayout;
    help = new QPushButton(QStringLiteral("&Help"), window);
    close = new QPushButton(QStringLiteral("Cl&ose"), window);
    close->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(close);
    buttons->addWidget(help);
    outer->addLayout(buttons);
}

AboutWindow::AboutWindow() : WindowManager(kAboutProcedure) {}

QWidget* AboutWindow::MakeWindow() {
    ui_.Build();
    // Called from the tray menu too, where it does not restore the frame.
    ui_.window->setProperty(kShowsWithoutFrame, true);
    return ui_.window;
}

bool AboutWindow::Init() {
    SetCancelControl(ui_.close);
    ui_.build->setText(QString::number(kAboutBuild));
    ui_.buildDate->setText(QString::fromStdString(Format(Value(static_cast<int64_t>(kAboutBuildDate)), "@D17")));
    // There is no help file, as for the frame's Help menu.
    ui_.help->setEnabled(false);
    return true;
}

void AboutWindow::TakeAccepted(QObject*) {}

void AboutWindow::Kill() { GlobalErrors().SetProcedureName(""); }

AboutWindow* About() {
    GlobalErrors().SetProcedureName(kAboutProcedure);
    auto* w = new AboutWindow;
    QPointer<AboutWindow> guard = w;
    if (!w->Call()) return nullptr;
    return guard.data();
}

}  // namespace kr
