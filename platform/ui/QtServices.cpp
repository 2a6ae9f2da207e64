#include "platform/ui/QtServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QGridLayout>
#include <QSpacerItem>
#include <QFontMetrics>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QThread>

#include "platform/ui/SessionEnding.h"

namespace kr {

namespace {

struct ButtonSpec {
    int bit;
    const char* text;
    QMessageBox::ButtonRole role;
};

// The runtime's buttons in the order it shows them.
const ButtonSpec kButtons[] = {
    {kButtonOk, "&OK", QMessageBox::AcceptRole},
    {kButtonYes, "&Yes", QMessageBox::YesRole},
    {kButtonNo, "&No", QMessageBox::NoRole},
    {kButtonAbort, "&Abort", QMessageBox::RejectRole},
    {kButtonRetry, "&Retry", QMessageBox::AcceptRole},
    {kButtonIgnore, "&Ignore", QMessageBox::AcceptRole},
    {kButtonCancel, "&Cancel", QMessageBox::RejectRole},
    {kButtonHelp, "&Help", QMessageBox::HelpRole},
};

// Runs f on the GUI thread and waits for it.
template <class F>
void OnGuiThread(F&& f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(app, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

QtMessageService g_qtMessages;
QtClipboardService g_qtClipboard;
bool g_installed = false;

}  // namespace

std::string MessageText(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '|') c = '\n';
    return out;
}

// A short text makes a narrow box whose title bar cuts the title ("S..." for
// "Status"): the box is kept wide enough for the title and the title bar's
// buttons. Done once the buttons are in, since adding one lays the box out anew.
void KeepTitleVisible(QMessageBox* box) {
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (!grid) return;
    const int titleWidth = QFontMetrics(QApplication::font()).horizontalAdvance(box->windowTitle());
    grid->addItem(new QSpacerItem(titleWidth + 140, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

Qt::WindowFlags AnswerDialogFlags() {
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
}

QMessageBox* MakeMessageBox(const MessageRequest& r) {
    // Over the active window, transient for it; QMessageBox keeps its own
    // size fixed.
    auto* box = new QMessageBox(QApplication::activeWindow());
    box->setWindowFlags(AnswerDialogFlags());
    box->setWindowTitle(QString::fromStdString(r.title));
    box->setText(QString::fromStdString(MessageText(r.text)));
    box->setTextFormat(Qt::PlainText);
    switch (r.icon) {
        case MessageIcon::None: box->setIcon(QMessageBox::NoIcon); break;
        case MessageIcon::Information: box->setIcon(QMessageBox::Information); break;
        case MessageIcon::Exclamation: box->setIcon(QMessageBox::Warning); break;
        case MessageIcon::Hand: box->setIcon(QMessageBox::Critical); break;
        case MessageIcon::Question: box->setIcon(QMessageBox::Question); break;
    }
    if (!r.captions.empty()) {
        // Buttons of the caller's own: each answers its number.
        QPushButton* first = nullptr;
        for (std::size_t i = 0; i < r.captions.size(); ++i) {
            QPushButton* pb = box->addButton(QString::fromStdString(r.captions[i]), QMessageBox::AcceptRole);
            pb->setProperty("krButton", static_cast<int>(i + 1));
            if (!first) first = pb;
        }
        box->setDefaultButton(first);
        if (r.captions.size() == 1) box->setEscapeButton(first);
        if (r.topmost) box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        return box;
    }
    int buttons = r.buttons ? r.buttons : kButtonOk;
    QPushButton* first = nullptr;
    QPushButton* def = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* no = nullptr;
    QPushButton* only = nullptr;
    int count = 0;
    for (const ButtonSpec& b : kButtons) {
        if (!(buttons & b.bit)) continue;
        QPushButton* pb = box->addButton(QString::fromUtf8(b.text), b.role);
        pb->setProperty("krButton", b.bit);
        if (!first) first = pb;
        if (b.bit == r.defaultButton) def = pb;
        if (b.bit == kButtonCancel) cancel = pb;
        if (b.bit == kButtonNo) no = pb;
        only = pb;
        ++count;
    }
    box->setDefaultButton(def ? def : first);
    // Escape answers Cancel, else No, else the only button there is.
    if (cancel)
        box->setEscapeButton(cancel);
    else if (no)
        box->setEscapeButton(no);
    else if (count == 1)
        box->setEscapeButton(only);
    if (r.topmost) box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return box;
}

int QtMessageService::Show(const MessageRequest& request) {
    // The program is ending: no box opens; the caller gets the answer of
    // its Cancel.
    if (SessionEnding()) return CancelAnswer(request);
    CountMessageShown();
    int answer = 0;
    OnGuiThread([&] {
        // Asked from a worker thread as the ending began.
        if (SessionEnding()) {
            answer = CancelAnswer(request);
            return;
        }
        QPointer<QMessageBox> box = MakeMessageBox(request);
        KeepTitleVisible(box);
        box->exec();
        if (!box) return;
        QAbstractButton* clicked = box->clickedButton();
        if (clicked) answer = clicked->property("krButton").toInt();
        if (!answer && box->defaultButton()) answer = box->defaultButton()->property("krButton").toInt();
        delete box;
    });
    if (!answer) return request.captions.empty() ? kButtonOk : 1;
    return answer;
}

std::optional<std::string> QtMessageService::ChooseFolder(const std::string& title, const std::string& start) {
    std::optional<std::string> result;
    if (SessionEnding()) return result;
    OnGuiThread([&] {
        QString dir = QFileDialog::getExistingDirectory(QApplication::activeWindow(), QString::fromStdString(title),
                                                        QString::fromStdString(start));
        if (!dir.isEmpty()) result = dir.toStdString();
    });
    return result;
}

void QtClipboardService::SetText(const std::string& text) {
    OnGuiThread([&] {
        if (QClipboard* c = QGuiApplication::clipboard()) c->setText(QString::fromStdString(text));
    });
}

std::string QtClipboardService::Text() {
    std::string out;
    OnGuiThread([&] {
        if (QClipboard* c = QGuiApplication::clipboard()) out = c->text().toStdString();
    });
    return out;
}

void InstallQtServices() {
    InstallMessageService(&g_qtMessages);
    InstallClipboardService(&g_qtClipboard);
    g_installed = true;
}

void UninstallQtServices() {
    if (!g_installed) return;
    if (&Messages() == &g_qtMessages) InstallMessageService(nullptr);
    if (&Clipboard() == &g_qtClipboard) InstallClipboardService(nullptr);
    g_installed = false;
}

}  // namespace kr
