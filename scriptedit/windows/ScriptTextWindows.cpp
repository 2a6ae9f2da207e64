// The script as text in one editable box ("Scripting:  Edit As Text") and
// its companion that builds key codes, value references and command lines
// on the clipboard ("Edit Script as Text: Reference").
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include "dictionary/Dictionary.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/WindowManager.h"
#include "scriptedit/ScriptText.h"
#include "scriptedit/windows/ScriptPickLists.h"
#include "scriptedit/windows/ScriptWindows.h"

namespace kr::scriptedit {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

std::string LineList(const std::vector<int>& lines) {
    std::string out;
    for (int n : lines) out += (out.empty() ? "" : ", ") + std::to_string(n);
    return out;
}

class EditAsTextWindow : public WindowManager {
public:
    // The position is kept on every move and resize as well as on closing.
    EditAsTextWindow() : WindowManager("Script:EditAsText") { SetSavePosition(true, true); }

protected:
    QWidget* MakeWindow() override {
        w_ = new QWidget(nullptr, Qt::Window);
        w_->setWindowTitle("Scripting:  Edit As Text");
        w_->resize(640, 480);
        auto* l = new QVBoxLayout(w_);
        text_ = new QPlainTextEdit(w_);
        text_->setLineWrapMode(QPlainTextEdit::NoWrap);
        text_->setFont(QFont("Monospace"));
        l->addWidget(text_, 1);
        note_ = new QLabel(w_);
        note_->setWordWrap(true);
        l->addWidget(note_);
        // The search and replace bar, shown by "Search/&Replace".
        bar_ = new QWidget(w_);
        auto* bl = new QHBoxLayout(bar_);
        bl->setContentsMargins(0, 0, 0, 0);
        bl->addWidget(new QLabel("Find:", bar_));
        find_ = new QLineEdit(bar_);
        bl->addWidget(find_);
        bl->addWidget(new QLabel("Replace with:", bar_));
        with_ = new QLineEdit(bar_);
        bl->addWidget(with_);
        findNext_ = new QPushButton("&Find Next", bar_);
        replace_ = new QPushButton("R&eplace", bar_);
        replaceAll_ = new QPushButton("Replace &All", bar_);
        for (QPushButton* b : {findNext_, replace_, replaceAll_}) bl->addWidget(b);
        bar_->hide();
        l->addWidget(bar_);
        auto* row = new QHBoxLayout;
        toClipboard_ = new QPushButton("Copy to Clipboard", w_);
        fromClipboard_ = new QPushButton("Replace with Clipboard", w_);
        reference_ = new QPushButton("Reference/Commands", w_);
        search_ = new QPushButton("Search/&Replace", w_);
        ok_ = new QPushButton("&OK", w_);
        ok_->setDefault(true);
        cancel_ = new QPushButton("Cancel", w_);
        for (QPushButton* b : {toClipboard_, fromClipboard_, reference_, search_}) row->addWidget(b);
        row->addStretch();
        row->addWidget(ok_);
        row->addWidget(cancel_);
        l->addLayout(row);
        return w_;
    }

    bool Init() override {
        SetOkControl(ok_);
        SetCancelControl(cancel_);
        opened_ = Scripting_File().Open() == data::kLevelBenign;
        const std::vector<Scripting> items = ReadScriptItems(Schedule_File().rec().ID);
        hidden_ = CountItemsWithoutLine(items);
        unreadable_ = LinesNotReadingBack(items);
        text_->setPlainText(Q(ScriptToText()));
        std::string note;
        if (!unreadable_.empty())
            note = "Line(s) " + LineList(unreadable_) +
                   " hold a double quote, square bracket or line break that will not read back as it is.";
        if (hidden_ > 0)
            note += std::string(note.empty() ? "" : "  ") + std::to_string(hidden_) +
                    " script item(s) cannot be shown as text; OK deletes them.";
        note_->setText(Q(note));
        note_->setVisible(!note.empty());
        text_->setFocus();
        return true;
    }

    void TakeAccepted(QObject* c) override {
        if (c == toClipboard_) {
            Clipboard().SetText(ClipRight(S(text_->toPlainText())));
        } else if (c == fromClipboard_) {
            text_->setPlainText(Q(Clipboard().Text()));
            text_->setFocus();
        } else if (c == reference_) {
            ScriptTextReference();
        } else if (c == search_) {
            bar_->setVisible(true);
            find_->setFocus();
        } else if (c == findNext_) {
            FindNext();
        } else if (c == replace_) {
            if (text_->textCursor().selectedText() == find_->text() && !find_->text().isEmpty())
                text_->textCursor().insertText(with_->text());
            FindNext();
        } else if (c == replaceAll_) {
            if (find_->text().isEmpty()) return;
            QString t = text_->toPlainText();
            t.replace(find_->text(), with_->text());
            // One undo step for the whole replacement.
            QTextCursor cur(text_->document());
            cur.select(QTextCursor::Document);
            cur.insertText(t);
        }
    }

    void FindNext() {
        if (find_->text().isEmpty()) return;
        if (!text_->find(find_->text())) {
            text_->moveCursor(QTextCursor::Start);
            text_->find(find_->text());
        }
    }

    bool TakeCompleted() override {
        const std::string text = S(text_->toPlainText());
        // An empty text stores nothing ("Nothing to save."): no warning.
        if (!text.empty() && !unreadable_.empty() &&
            !AskYesNo("Line(s) " + LineList(unreadable_) +
                          " hold a double quote, square bracket or line break that will not read back as it was.  Save the "
                          "script anyway?",
                      "Edit As Text", kButtonNo))
            return false;
        if (!text.empty() && hidden_ > 0 && !AskYesNo(std::to_string(hidden_) +
                                         " script item(s) cannot be shown as text and will be deleted.  Save the "
                                         "script anyway?",
                                     "Edit As Text", kButtonNo))
            return false;
        TextToScript(text);
        return true;
    }

    void Kill() override {
        if (opened_) Scripting_File().Close();
    }

private:
    QWidget *w_ = nullptr, *bar_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QLabel* note_ = nullptr;
    QLineEdit *find_ = nullptr, *with_ = nullptr;
    QPushButton *findNext_ = nullptr, *replace_ = nullptr, *replaceAll_ = nullptr;
    QPushButton *toClipboard_ = nullptr, *fromClipboard_ = nullptr, *reference_ = nullptr, *search_ = nullptr;
    QPushButton *ok_ = nullptr, *cancel_ = nullptr;
    std::vector<int> unreadable_;
    int hidden_ = 0;
    bool opened_ = false;
};

class TextReferenceWindow : public WindowManager {
public:
    TextReferenceWindow() : WindowManager("Script:Text:Reference") {}

protected:
    QWidget* MakeWindow() override {
        w_ = new QWidget(nullptr, Qt::Window);
        w_->setWindowTitle("Edit Script as Text: Reference");
        auto* l = new QVBoxLayout(w_);
        auto* top = new QHBoxLayout;
        top->addWidget(new QLabel("Clipboard:", w_));
        built_ = new QLineEdit(w_);
        built_->setMaxLength(1024);
        top->addWidget(built_, 1);
        l->addLayout(top);
        picks_ = new ScriptPickLists(w_);
        picks_->appendKey->setText("&Append");
        picks_->appendKey->setToolTip({});
        l->addWidget(picks_);
        auto* cmd = new QGroupBox("Commands", w_);
        auto* cl = new QHBoxLayout(cmd);
        commands_ = new QComboBox(cmd);
        for (const std::string& t : ScriptCommandTemplates()) commands_->addItem(Q(t));
        cl->addWidget(commands_, 1);
        replace_ = new QPushButton("Replace", cmd);
        cl->addWidget(replace_);
        l->addWidget(cmd);
        l->addWidget(new QLabel("Build a command on the clipboard, then press Close.", w_));
        close_ = new QPushButton("Cl&ose", w_);
        close_->setDefault(true);
        l->addWidget(close_, 0, Qt::AlignRight);
        return w_;
    }

    bool Init() override {
        SetOkControl(close_);
        built_->setText(Q(Clipboard().Text()));
        picks_->SetOnAppend([this](const std::string& code) {
            built_->setText(Q(ClipRight(S(built_->text())) + code));
            built_->setFocus();
        });
        return true;
    }

    void TakeAccepted(QObject* c) override {
        if (c == replace_) {
            built_->setText(commands_->currentText());
            built_->setFocus();
        }
    }

    bool TakeCompleted() override {
        Clipboard().SetText(S(built_->text()));
        return true;
    }

private:
    QWidget* w_ = nullptr;
    QLineEdit* built_ = nullptr;
    ScriptPickLists* picks_ = nullptr;
    QComboBox* commands_ = nullptr;
    QPushButton *replace_ = nullptr, *close_ = nullptr;
};

}  // namespace

const std::vector<std::string>& ScriptCommandTemplates() {
    static const std::vector<std::string> list = {
        "KEYS keys",
        "FOCUS window_title optional_contents",
        "WAIT Or 999 window_title optional_contents",
        "WAIT And 999 window_title optional_contents",
        "DISPLAY message title button_text /MODAL",
        "START program_to_start start_in WAIT=999 /TRANSLATE",
        "IF value_name < compare_to_this",
        "IF value_name > compare_to_this",
        "IF value_name = compare_to_this",
        "IF value_name <> compare_to_this",
        "IFTIME 999",
        "IFTIMELESS 999",
        "IFWINDOW window_title",
        "IFNOTWINDOW window_title",
        "END",
        "FILE Copy filename_1 filename_2",
        "FILE Move filename_1 filename_2",
        "FILE Delete filename_1",
        "FILE \"Make Directory\" filename_1",
        "FILE \"Remove Directory\" filename_1",
        "FILE \"Get File Date\" filename_1",
        "FILE \"Get File Time\" filename_1",
        "FILE \"Get File Size\" filename_1",
        "FILE \"If File Exists\" filename_1",
        "FILE \"Log Windows\" filename_1",
        "SET value_name value",
        "SCRIPT script_filename \"Insert (Execute and continue)\"",
        "CLOSE program_file_name",
        "EMAIL 999",
        "EXIT",
    };
    return list;
}

void ScriptEditAsText(std::function<void(int)> done) { (new EditAsTextWindow)->Call(std::move(done)); }
void ScriptTextReference(std::function<void(int)> done) { (new TextReferenceWindow)->Call(std::move(done)); }

bool ConfirmScriptReplace(int32_t taskID) {
    const int hidden = CountItemsWithoutLine(ReadScriptItems(taskID));
    return hidden == 0 || AskYesNo(std::to_string(hidden) +
                                       " script item(s) cannot be shown as text and will be deleted.  Replace the "
                                       "script anyway?",
                                   "Clipboard to Script", kButtonNo);
}

}  // namespace kr::scriptedit
