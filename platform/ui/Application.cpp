#include "platform/ui/Application.h"

#include <QDateTime>
#include <QFileDialog>
#include <QHeaderView>
#include <QLayout>
#include <QScreen>
#include <QTreeView>

#include "platform/ui/Icons.h"

#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/QtServices.h"

namespace kr {

namespace detail {
QtCommandLine::QtCommandLine(char** programArgv) {
    static char fallback[] = "kairoll";
    argv[0] = programArgv && programArgv[0] ? programArgv[0] : fallback;
}
}  // namespace detail

namespace {

// Qt's own file dialog (the one this desktop gets) opens with its detail
// columns too narrow for their values: sizes, types and dates showed as
// "51....KiB", "pla...ent", "9 Dec ...:09:30". On showing, each column gets
// the width of a long value and the dialog grows to hold them, before it
// centres itself on the screen.
class FileDialogFitter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QFileDialog*>(watched)) Fit(dialog);
        return false;
    }

private:
    static void Fit(QFileDialog* dialog) {
        auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        if (!tree || !tree->header() || tree->header()->count() < 4) return;
        QHeaderView* header = tree->header();
        const QFontMetrics fm(tree->font());
        const int pad = fm.horizontalAdvance(QLatin1Char('M')) * 2;
        const QDateTime late(QDate(2026, 12, 29), QTime(23, 59, 59));
        const int date = std::max(fm.horizontalAdvance(QLocale().toString(late, QLocale::ShortFormat)),
                                  fm.horizontalAdvance(late.toString(QStringLiteral("dd MMM yyyy hh:mm:ss"))));
        const int widths[4] = {fm.horizontalAdvance(QString(24, QLatin1Char('n'))),
                               fm.horizontalAdvance(QStringLiteral("1023.99 KiB")) + pad,
                               fm.horizontalAdvance(QStringLiteral("plain text document")) + pad,
                               date + pad};
        int need = 0;
        for (int c = 0; c < 4; ++c) {
            if (c > 0 && header->sectionSize(c) < widths[c]) header->resizeSection(c, widths[c]);
            need += c == 0 ? std::max(widths[0], header->sectionSize(0)) : header->sectionSize(c);
        }
        if (dialog->layout()) dialog->layout()->activate();
        const int short_ = need - tree->viewport()->width();
        if (short_ <= 0) return;
        // Only the size: the dialog centres itself over its parent, on the
        // screen, after this (a move here would stop that).
        int width = dialog->width() + short_;
        if (QScreen* screen = dialog->screen()) width = std::min(width, screen->availableGeometry().width() * 9 / 10);
        dialog->resize(width, dialog->height());
    }
};

}  // namespace

Application::Application(int& /*argc*/, char** argv)
    : detail::QtCommandLine(argv), QApplication(detail::QtCommandLine::argc, detail::QtCommandLine::argv) {
    InstallQtServices();
    setWindowIcon(ProgramIcon());
    installEventFilter(new FileDialogFitter(this));
}

Application::~Application() { UninstallQtServices(); }

bool Application::notify(QObject* receiver, QEvent* event) {
    int thread = ThreadOfObject(receiver);
    if (thread > 0 && thread != CurrentProcedureThread()) {
        ProcedureThreadScope scope(thread);
        return QApplication::notify(receiver, event);
    }
    return QApplication::notify(receiver, event);
}

}  // namespace kr
