// The three windows that ask for a template token's answer ("More
// Information Required"): text (with the key and value pick lists), file
// (with "Select File...") and window title (the desktop's windows). The
// expansion waits for the answer, so each is a dialog of its own over the
// active window.
#include <QApplication>
#include <QComboBox>
#include <QStandardItemModel>
#include <QTreeView>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/desktop/WindowHelpers.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/WindowPosition.h"
#include "scriptedit/TemplateTokens.h"
#include "scriptedit/windows/ScriptPickLists.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::scriptedit {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }

// Saves its position while still on show, however it is closed.
class AskDialog : public QDialog {
public:
    AskDialog(QWidget* parent, std::string procedure) : QDialog(parent), procedure_(std::move(procedure)) {}
    void done(int result) override {
        SaveWindowPosition(procedure_, this);
        QDialog::done(result);
    }

private:
    std::string procedure_;
};
}  // namespace

std::optional<std::string> AskTemplateToken(QWidget* parent, TemplateAskKind kind, const std::string& prompt,
                                            const std::string& prefill) {
    // Each window keeps its position under its procedure's name.
    const std::string procedure = kind == TemplateAskKind::File     ? "TemplateTokenAskFile"
                                  : kind == TemplateAskKind::Window ? "TemplateTokenAskWindow"
                                                                    : "TemplateTokenAskText";
    AskDialog d(parent, procedure);
    d.setWindowTitle("More Information Required");
    auto* l = new QVBoxLayout(&d);
    const char* own = kind == TemplateAskKind::File     ? "Enter file path and name:"
                      : kind == TemplateAskKind::Window ? "Enter window title:"
                                                        : "Enter text:";
    // The window's own label stays for an empty prompt or its own bare
    // keyword ("[?FILE ]"); a free token "[?FILE]" asked here is labelled.
    const std::string clipped = ClipRight(prompt);
    const char* keyword = kind == TemplateAskKind::File ? "FILE" : kind == TemplateAskKind::Window ? "WINDOW" : "TEXT";
    const bool bare = clipped.empty() || Upper(clipped) == keyword;
    auto* label = new QLabel(bare ? QString(own) : Q(clipped + ":"), &d);
    l->addWidget(label);
    QLineEdit* entry = nullptr;
    QComboBox* windows = nullptr;
    if (kind == TemplateAskKind::Window) {
        windows = new QComboBox(&d);
        windows->setEditable(true);
        windows->lineEdit()->setMaxLength(80);
        // The desktop's windows, title and class; a choice enters the title.
        ListTopWindows();
        auto* model = new QStandardItemModel(0, 2, windows);
        model->setHorizontalHeaderLabels({"Title", "Class"});
        for (const WindowListEntry& e : WindowList())
            model->appendRow({new QStandardItem(Q(ClipRight(e.Line.str()))),
                              new QStandardItem(Q(ClipRight(e.Class.str())))});
        auto* view = new QTreeView(windows);
        view->setRootIsDecorated(false);
        view->setHeaderHidden(true);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        windows->setModel(model);
        windows->setView(view);
        windows->setModelColumn(0);
        view->resizeColumnToContents(0);
        windows->setCurrentIndex(-1);
        windows->setEditText(Q(prefill));
        l->addWidget(windows);
        for (const char* line : {"Enter the \"title\" of a window.  You can enter the exact title, the",
                                 "first few unique characters followed by an asterisk, or an asterisk",
                                 "followed by a phrase to be found anywhere in the window title.", "Examples:",
                                 "Untitled - Notepad", "Untitled - *", "*Notepad"})
            l->addWidget(new QLabel(line, &d));
    } else {
        entry = new QLineEdit(Q(prefill), &d);
        entry->setMaxLength(static_cast<int>(kTemplateAnswerSize));
        l->addWidget(entry);
        if (kind == TemplateAskKind::File) {
            auto* select = new QPushButton("Select File...", &d);
            l->addWidget(select, 0, Qt::AlignLeft);
            QObject::connect(select, &QPushButton::clicked, &d, [&d, entry] {
                if (auto f = tasks::ChooseFile(&d, "Choose a File", {}, {"All Files (*.*)"}))
                    entry->setText(Q(*f));
            });
        } else {
            auto* picks = new ScriptPickLists(&d);
            picks->appendKey->setText("&Append");
            picks->appendKey->setToolTip({});
            picks->SetOnAppend([entry](const std::string& code) {
                entry->setText(entry->text() + Q(code));
                entry->setFocus();
            });
            l->addWidget(picks);
        }
    }
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* ok = new QPushButton("&OK", &d);
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", &d);
    row->addWidget(ok);
    row->addWidget(cancel);
    l->addLayout(row);
    QObject::connect(ok, &QPushButton::clicked, &d, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &d, &QDialog::reject);
    d.adjustSize();
    if (!RestoreWindowPosition(procedure, &d)) PlaceOverWindow(&d, parent);
    if (d.exec() != QDialog::Accepted) return std::nullopt;
    return (windows ? windows->currentText() : entry->text()).toStdString();
}

void InstallTemplateAskWindows() {
    InstallTemplateAsker([](TemplateAskKind kind, const std::string& prompt, const std::string& prefill) {
        return AskTemplateToken(QApplication::activeWindow(), kind, prompt, prefill);
    });
}

}  // namespace kr::scriptedit
