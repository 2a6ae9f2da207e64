// "Enter Picture..." and what the six exchange windows share: the file
// name, the file dialog and their registration.
#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
        auto* prompt = new QLabel("&Picture:", window);
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
        return true;
    }
    void TakeOpened() override { ui.picture->setFocus(); }
    bool TakeCompleted() override {
        const std::string text = ui.picture->text().toStdString();
        if (text.empty() || text[0] != '@') {
            Message("Pictures must begin with \"@\"", "Invalid Picture!", MessageIcon::Information);
            ui.picture->setFocus();
            ui.picture->selectAll();
            return false;
        }
        result_ = text;
        return true;
    }
    void Kill() override {
        if (!done_) return;
        auto done = std::move(done_);
        done(Response() == kRequestCompleted ? result_ : std::string());
    }

private:
    GetPictureLayout ui;
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
