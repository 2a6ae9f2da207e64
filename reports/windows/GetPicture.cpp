// "Enter Picture..." and what the six exchange windows share: the file
// name, the file dialog and their registration.
#include <QApplication>
#include <QFileDialog>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/runtime/Services.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "platform/ui/WindowManager.h"
#include "reports/Imex.h"
#include "reports/windows/ExchangeWindows.h"

namespace kr::reports {

namespace {

struct GetPictureLayout {
    QWidget* window = nullptr;
    QLineEdit* picture = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;

    void Build() {
        window = new QWidget;
        window->setFont(QFont("Arial"));
        auto* v = new QVBoxLayout(window);
        auto* row = new QHBoxLayout;
        auto* prompt = new QLabel("Picture:", window);
        picture = new QLineEdit(window);
        picture->setObjectName("picture");
        picture->setMaxLength(static_cast<int>(kImexPictureChars));
        picture->setMinimumWidth(picture->fontMetrics().horizontalAdvance(QString(24, 'N')));
        prompt->setBuddy(picture);
        row->addWidget(prompt);
        row->addWidget(picture, 1);
        v->addLayout(row);
        auto* foot = new QHBoxLayout;
        foot->addStretch();
        ok = new QPushButton("&OK", window);
        ok->setObjectName("ok");
        ok->setDefault(true);
        cancel = new QPushButton("&Cancel", window);
        cancel->setObjectName("cancel");
        cancel->setAutoDefault(false);
        foot->addWidget(ok);
        foot->addWidget(cancel);
        v->addLayout(foot);
    }
};

// Tells when its widget loses the focus, and why.
class FocusOutWatch : public QObject {
public:
    FocusOutWatch(QObject* parent, std::function<void(Qt::FocusReason)> lost) : QObject(parent), lost_(std::move(lost)) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::FocusOut && lost_) lost_(static_cast<QFocusEvent*>(e)->reason());
        return QObject::eventFilter(o, e);
    }

private:
    std::function<void(Qt::FocusReason)> lost_;
};

class GetPictureWindow : public WindowManager {
public:
    GetPictureWindow(std::string picture, std::function<void(const std::string&)> done)
        : WindowManager("GetPicture"), initial_(std::move(picture)), done_(std::move(done)) {}

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetTitle("Enter Picture...");
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        ui.picture->setText(QString::fromStdString(initial_));
        ui.picture->selectAll();
        // The entry is completed when the focus leaves it for another
        // control of the window (Tab, a click). Leaving it for "&Cancel"
        // checks nothing, since Cancel gives up the picture; "&OK" checks it
        // itself.
        ui.picture->installEventFilter(new FocusOutWatch(ui.picture, [this](Qt::FocusReason reason) {
            QWidget* to = QApplication::focusWidget();
            if (!to || to->window() != ui.window || to == ui.cancel) return;
            if (to == ui.ok && (reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason)) return;
            // After the focus change is over; by then the user may have
            // gone on to Cancel.
            QTimer::singleShot(0, this, [this] {
                if (!IsOpen() || QApplication::focusWidget() == ui.cancel || Valid()) return;
                Refuse();
            });
        }));
        return true;
    }
    void TakeOpened() override { ui.picture->setFocus(); }
    bool TakeCompleted() override {
        if (!Valid()) {
            Refuse();
            return false;
        }
        result_ = ui.picture->text().toStdString();
        return true;
    }
    void Kill() override {
        if (!done_) return;
        auto done = std::move(done_);
        done(Response() == kRequestCompleted ? result_ : std::string());
    }

private:
    bool Valid() const {
        const QString text = ui.picture->text();
        return !text.isEmpty() && text[0] == '@';
    }
    // The message, then the entry again with its text selected.
    void Refuse() {
        if (refusing_) return;
        refusing_ = true;
        Message("Pictures must begin with \"@\"", "Invalid Picture!", MessageIcon::Information);
        refusing_ = false;
        ui.picture->setFocus();
        ui.picture->selectAll();
    }

    GetPictureLayout ui;
    bool refusing_ = false;
    std::string initial_, result_;
    std::function<void(const std::string&)> done_;
};

std::string& FileNameStore() {
    static std::string name;
    return name;
}

ImexFileChooser& Chooser() {
    static ImexFileChooser chooser;
    return chooser;
}

}  // namespace

void GetPicture(const std::string& picture, std::function<void(const std::string& picture)> done) {
    (new GetPictureWindow(picture, std::move(done)))->Call();
}

const std::string& ImexFileName() { return FileNameStore(); }

void SetImexFileName(const std::string& name) { FileNameStore() = name; }

void SetImexFileChooser(ImexFileChooser chooser) { Chooser() = std::move(chooser); }

std::optional<std::string> ChooseImexFile(const std::string& title, bool save) {
    std::optional<std::string> chosen;
    if (Chooser()) {
        chosen = Chooser()(title, ImexFileName(), save);
    } else {
        const QString filter = save ? QStringLiteral("Export Files (*.CSV *.csv);;All Files (*)")
                                    : QStringLiteral("Import Files (*.CSV *.csv);;All Files (*)");
        QWidget* parent = QApplication::activeWindow();
        const QString start = QString::fromStdString(ImexFileName());
        const QString name =
            save ? QFileDialog::getSaveFileName(parent, QString::fromStdString(title), start, filter)
                 : QFileDialog::getOpenFileName(parent, QString::fromStdString(title), start, filter);
        if (!name.isEmpty()) chosen = name.toStdString();
    }
    if (chosen) SetImexFileName(*chosen);
    return chosen;
}

void RegisterExchangeWindows() {
    RegisterProcedure("ExportSchedule", [] { ExportSchedule(); });
    RegisterProcedure("ExportContacts", [] { ExportContacts(); });
    RegisterProcedure("ExportToDo", [] { ExportToDo(); });
    RegisterProcedure("ImportSchedule", [] { ImportSchedule(); });
    RegisterProcedure("ImportContacts", [] { ImportContacts(); });
    RegisterProcedure("ImportToDo", [] { ImportToDo(); });
}

}  // namespace kr::reports
