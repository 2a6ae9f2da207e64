#include "backup/windows/ArchiveWindows.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDate>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/runtime/RecordProcess.h"
#include "platform/runtime/Services.h"
#include "platform/ui/ProcessWindow.h"

namespace kr::backup {

namespace {

FileDialogAnswerer g_answerer;
QPointer<QWidget> g_parent;

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The library call of an archive operation as a process of the shared
// progress window: the call runs on a worker thread; each timer event of the
// window looks at how far it is; Cancel posts the abort and the window stays
// until the call has returned.
class LibraryCallProcess : public BatchProcess {
public:
    explicit LibraryCallProcess(std::function<int()> call, std::function<int()> percent)
        : call_(std::move(call)), percent_(std::move(percent)) {
        SetTotal(100);
        SetBatchSize(1);
    }
    ~LibraryCallProcess() override {
        if (worker_.joinable()) {
            PostAbort();
            worker_.join();
        }
    }
    bool Step(int) override {
        if (!started_) {
            started_ = true;
            worker_ = std::thread([this] {
                result_ = call_();
                finished_ = true;
            });
        }
        int p = std::clamp(percent_(), 0, 100);
        CountDone(p - done());
        if (finished_.load()) {
            worker_.join();
            SetState(ProcessState::Finished);
            EndOfBatch();
            return false;
        }
        return true;
    }
    void RequestCancel() override { PostAbort(); }
    int result() const { return result_; }
    bool started() const { return started_; }

private:
    std::function<int()> call_;
    std::function<int()> percent_;
    std::thread worker_;
    std::atomic<bool> finished_{false};
    bool started_ = false;
    int result_ = 0;
};

class QtProgress : public ProgressWindow {
public:
    QtProgress(std::string title, bool overall) : title_(std::move(title)), overall_(overall) {}
    void SetMember(const std::string& name) override {
        std::lock_guard<std::mutex> l(m_);
        member_ = name;
    }
    void SetPercentA(int p) override { a_ = p; }
    void SetPercentB(int p) override { b_ = p; }
    int Run(const std::function<int()>& call) override {
        auto process = std::make_shared<LibraryCallProcess>(call, [this] { return overall_ ? b_.load() : a_.load(); });
        ProcessWindowOptions o;
        o.procedureName = "LSZProgress";
        o.title = title_;
        o.percentText = "%";
        o.listErrors = false;
        o.holdOnErrors = false;
        o.userTextSource = [this] {
            std::lock_guard<std::mutex> l(m_);
            if (!overall_ || member_.empty()) return member_;
            return member_ + "  " + std::to_string(a_.load()) + "%";
        };
        bool ended = false;
        QEventLoop loop;
        bool opened = RunProcessWindow(process, o, [&](int) {
            ended = true;
            loop.quit();
        });
        if (!opened) return call();  // no window to open over: run it plainly
        if (!ended) loop.exec();
        return process->started() ? process->result() : call();
    }

private:
    std::string title_;
    bool overall_;
    std::mutex m_;
    std::string member_;
    std::atomic<int> a_{0}, b_{0};
};

QDialog* MakeDialog(const QString& title) {
    auto* d = new QDialog(ArchiveWindowParent());
    d->setWindowTitle(title);
    d->setAttribute(Qt::WA_DeleteOnClose, false);
    return d;
}

QPushButton* Button(QDialog* d, QHBoxLayout* row, const QString& text, bool isDefault = false) {
    auto* b = new QPushButton(text, d);
    b->setDefault(isDefault);
    b->setAutoDefault(isDefault);
    row->addWidget(b);
    return b;
}

// A password entry whose masking follows the "Mask Password" box when it
// gets the focus.
class PasswordEdit : public QLineEdit {
public:
    PasswordEdit(QCheckBox* mask, QWidget* parent) : QLineEdit(parent), mask_(mask) { setEchoMode(Password); }

protected:
    void focusInEvent(QFocusEvent* e) override {
        setEchoMode(mask_->isChecked() ? Password : Normal);
        QLineEdit::focusInEvent(e);
    }

private:
    QCheckBox* mask_;
};

}  // namespace

void InstallFileDialogAnswerer(FileDialogAnswerer answerer) { g_answerer = std::move(answerer); }

void SetArchiveWindowParent(QWidget* parent) { g_parent = parent; }
QWidget* ArchiveWindowParent() { return g_parent ? g_parent.data() : QApplication::activeWindow(); }

std::vector<std::string> AskFileNames(QWidget* parent, const std::string& kind, const std::string& title,
                                      const std::string& filter, const std::string& start) {
    if (g_answerer) return g_answerer(kind, title, filter, start);
    // Filters are written "Name|*.EXT|Name|*.EXT".
    QStringList parts = Q(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) filters << parts[i] + " (" + parts[i + 1] + ")";
    QString f = filters.join(";;");
    QString startName = Q(start);
    if (startName.startsWith('*')) startName.clear();
    std::vector<std::string> out;
    if (kind == "save") {
        QString n = QFileDialog::getSaveFileName(parent, Q(title), startName, f, nullptr, QFileDialog::DontConfirmOverwrite);
        if (!n.isEmpty()) out.push_back(S(n));
    } else if (kind == "open-multi") {
        for (const QString& n : QFileDialog::getOpenFileNames(parent, Q(title), startName, f)) out.push_back(S(n));
    } else {
        QString n = QFileDialog::getOpenFileName(parent, Q(title), startName, f);
        if (!n.isEmpty()) out.push_back(S(n));
    }
    return out;
}

std::unique_ptr<ProgressWindow> QtArchiveUi::OpenProgress(const std::string& title, bool overall) {
    return std::make_unique<QtProgress>(title, overall);
}

bool QtArchiveUi::AskPassword(std::string& password) {
    std::unique_ptr<QDialog> d(MakeDialog("Password"));
    auto* v = new QVBoxLayout(d.get());
    auto* mask = new QCheckBox("&Mask Password", d.get());
    mask->setChecked(true);
    auto* first = new PasswordEdit(mask, d.get());
    auto* second = new PasswordEdit(mask, d.get());
    first->setMaxLength(64);
    second->setMaxLength(64);
    first->setObjectName("first");
    second->setObjectName("second");
    v->addWidget(new QLabel("Enter Password", d.get()));
    v->addWidget(first);
    v->addWidget(new QLabel("Re-Enter Password", d.get()));
    v->addWidget(second);
    v->addWidget(mask);
    auto* row = new QHBoxLayout;
    v->addLayout(row);
    auto* none = Button(d.get(), row, "&No Encryption");
    auto* ok = Button(d.get(), row, "&OK", true);
    bool answer = false;
    QObject::connect(none, &QPushButton::clicked, d.get(), &QDialog::reject);
    QObject::connect(ok, &QPushButton::clicked, d.get(), [&] {
        if (first->text().isEmpty()) {
            d->reject();
            return;
        }
        if (first->text() != second->text()) {
            Message("The password you typed is incorrect. Please re-enter the passwords.", "LSZip Visual Archiver",
                    MessageIcon::Exclamation);
            first->clear();
            second->clear();
            first->setFocus();
            return;
        }
        password = S(first->text());
        answer = true;
        d->accept();
    });
    d->exec();
    return answer;
}

bool QtArchiveUi::AskFileComment(std::string& comment) {
    std::unique_ptr<QDialog> d(MakeDialog("File comment"));
    auto* v = new QVBoxLayout(d.get());
    auto* edit = new QLineEdit(d.get());
    edit->setMaxLength(127);
    v->addWidget(new QLabel("Enter File Comment", d.get()));
    v->addWidget(edit);
    auto* row = new QHBoxLayout;
    v->addLayout(row);
    auto* ok = Button(d.get(), row, "&OK", true);
    auto* cancel = Button(d.get(), row, "&Cancel");
    QObject::connect(ok, &QPushButton::clicked, d.get(), &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, d.get(), &QDialog::reject);
    if (d->exec() != QDialog::Accepted) return false;
    comment = S(edit->text());
    return true;
}

std::string NewArchive(LSZCLASS& z) {
    auto names = AskFileNames(ArchiveWindowParent(), "save", "New ZIP archive", "ZIP archives|*.ZIP", "*.ZIP");
    if (names.empty()) return z.ZIPARCHIVENAME;
    std::string name = names.front();
    if (std::filesystem::path(name).extension().empty()) name += ".ZIP";
    // An existing archive is replaced only when the user says so; nothing is
    // removed before that.
    std::error_code ec;
    if (std::filesystem::exists(name, ec)) {
        if (Message(std::filesystem::path(name).filename().string() + " already exists.|Do you want to replace it?",
                    "New ZIP archive", MessageIcon::Exclamation, kButtonYes | kButtonNo, kButtonNo) != kButtonYes)
            return z.ZIPARCHIVENAME;
        z.lib.LSZIP_REMOVEARCHIVE(name);
    }
    return name;
}

std::string OpenArchive(LSZCLASS& z) {
    auto names = AskFileNames(ArchiveWindowParent(), "open", "Open ZIP archive", "ZIP archives|*.ZIP|SFX archives|*.EXE",
                              "*.ZIP");
    return names.empty() ? z.ZIPARCHIVENAME : names.front();
}

bool AskAddFiles(LSZCLASS& z) {
    if (z.ZIPARCHIVENAME.empty()) return false;
    z.FILESPEC.clear();
    for (const std::string& n : AskFileNames(ArchiveWindowParent(), "open-multi", "Add", "All|*.*", "")) {
        if (!z.FILESPEC.empty()) z.FILESPEC += ' ';
        z.FILESPEC += '"' + n + '"';
    }
    return !z.FILESPEC.empty();
}

void ZipPreferences(LSZCLASS& z) {
    std::unique_ptr<QDialog> d(MakeDialog("Zip Preferences"));
    auto* v = new QVBoxLayout(d.get());
    auto* tabs = new QTabWidget(d.get());
    v->addWidget(tabs);

    // The switches are bound to the class: a change counts as soon as it is
    // made, also when the window is then closed with Cancel.
    auto radios = [&](QWidget* page, QVBoxLayout* into, const QString& title, QStringList texts, auto& field) {
        auto* box = new QGroupBox(title, page);
        auto* l = new QVBoxLayout(box);
        auto* group = new QButtonGroup(box);
        for (int i = 0; i < texts.size(); ++i) {
            auto* r = new QRadioButton(texts[i], box);
            r->setObjectName(texts[i]);
            group->addButton(r, i + 1);
            l->addWidget(r);
            if (field == i + 1) r->setChecked(true);
        }
        QObject::connect(group, &QButtonGroup::idClicked, box, [&field](int id) { field = static_cast<std::remove_reference_t<decltype(field)>>(id); });
        into->addWidget(box);
    };
    auto check = [&](QWidget* page, QLayout* into, const QString& text, uint8_t& field) {
        auto* c = new QCheckBox(text, page);
        c->setObjectName(text);
        c->setChecked(field != 0);
        QObject::connect(c, &QCheckBox::toggled, c, [&field](bool on) { field = on ? 1 : 0; });
        into->addWidget(c);
        return c;
    };

    auto* general = new QWidget;
    auto* g = new QVBoxLayout(general);
    radios(general, g, "Compression", {"&Fast", "&Normal", "E&xtra", "&Store"}, z.COMPRESSIONLEVELSWITCH);
    radios(general, g, "Path Information", {"&No path information", "&Relative path", "&Full path"}, z.PATHINFORMATIONSWITCH);
    auto* misc = new QGroupBox("Miscellaneous", general);
    auto* m = new QVBoxLayout(misc);
    check(misc, m, "Recurse folders", z.RECURSESUBDIRECTORIESSWITCH);
    check(misc, m, "Include &system and hidden Files", z.SYSTEMANDHIDDEN);
    check(misc, m, "Delete orginal file(s) after zipping", z.MOVEFILES);
    check(misc, m, "Set .ZIP file date to newest item date", z.LATESTDATE);
    check(misc, m, "Add file comment", z.ADDFILECOMMENT);
    check(misc, m, "Password", z.ENCRYPTDATA);
    check(misc, m, "Create multiple-volume files when zipping", z.CREATEMULTIPLEVOLUME)
        ->setToolTip("Kept with the preferences; one archive is always written (volumes span diskettes)");
    g->addWidget(misc);
    radios(general, g, "Action", {"&Add (and Replace) files", "&Freshen Existing files", "&Update (and Add) files"}, z.ACTION);
    tabs->addTab(general, "&General");

    auto* folders = new QWidget;
    auto* f = new QVBoxLayout(folders);
    f->addWidget(new QLabel("Temporary Working Directory", folders));
    auto* row = new QHBoxLayout;
    auto* temp = new QLineEdit(Q(z.TEMPDIR), folders);
    temp->setObjectName("TEMPDIR");
    QObject::connect(temp, &QLineEdit::textChanged, temp, [&z](const QString& t) { z.TEMPDIR = S(t); });
    auto* browse = new QPushButton("...", folders);
    QObject::connect(browse, &QPushButton::clicked, temp, [temp, &z] {
        if (auto chosen = Messages().ChooseFolder("Temporary Working Directory", z.TEMPDIR)) temp->setText(Q(*chosen));
    });
    row->addWidget(temp);
    row->addWidget(browse);
    f->addLayout(row);
    check(folders, f, "&Use Temporary Directory", z.USETEMPDIR);
    f->addStretch();
    tabs->addTab(folders, "Folders");

    auto* extra = new QWidget;
    auto* e = new QVBoxLayout(extra);
    auto* before = new QGroupBox("Process files before", extra);
    auto* bl = new QHBoxLayout(before);
    QDate today = QDate::currentDate();
    auto spin = [&](const QString& label, int lo, int hi, int value) {
        bl->addWidget(new QLabel(label, before));
        auto* s = new QSpinBox(before);
        s->setObjectName(label);
        s->setRange(lo, hi);
        s->setValue(value);
        bl->addWidget(s);
        return s;
    };
    auto* month = spin("Month", 0, 99, today.month());
    auto* day = spin("Day", 0, 99, today.day());
    auto* year = spin("Year", 0, 9999, today.year());
    e->addWidget(before);
    auto* onlyBefore = new QCheckBox("Process files before mm/dd/yyyy only", extra);
    onlyBefore->setObjectName("onlyBefore");
    e->addWidget(onlyBefore);
    e->addStretch();
    tabs->addTab(extra, "&Extra");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = Button(d.get(), buttons, "&OK", true);
    auto* cancel = Button(d.get(), buttons, "&Cancel");
    v->addLayout(buttons);
    QObject::connect(cancel, &QPushButton::clicked, d.get(), &QDialog::reject);
    QObject::connect(ok, &QPushButton::clicked, d.get(), [&] {
        if (onlyBefore->isChecked())
            z.BEFOREDATE = QString("%1%2%3")
                               .arg(month->value(), 2, 10, QChar('0'))
                               .arg(day->value(), 2, 10, QChar('0'))
                               .arg(year->value(), 4, 10, QChar('0'))
                               .toStdString();
        else
            z.BEFOREDATE.clear();
        d->accept();
    });
    d->exec();
}

namespace {

// Runs an action whenever the watched widget gets the focus.
class FocusInHook : public QObject {
public:
    FocusInHook(QObject* parent, std::function<void()> action) : QObject(parent), action_(std::move(action)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::FocusIn) action_();
        return false;
    }

private:
    std::function<void()> action_;
};

}  // namespace

namespace {

enum class MemberDialog { Delete, Test, Unzip };

bool AskMembers(LSZCLASS& z, MemberDialog kind) {
    z.CountSelected();
    if (z.S_ZIPMEMBERS == 0) return false;
    const char* titles[] = {"Delete", "Test", "Unzip"};
    const char* groups[] = {"Delete files", "Test files", "Extract files"};
    const char* go[] = {"&Delete", "&Test", "&Unzip"};
    const char* files[] = {"Files to delete:", "Files to test:", "Files to unzip:"};
    const char* bytes[] = {"Bytes to delete:", "Bytes to test:", "Bytes to unzip:"};
    int k = static_cast<int>(kind);

    std::unique_ptr<QDialog> d(MakeDialog(titles[k]));
    auto* v = new QVBoxLayout(d.get());
    auto* box = new QGroupBox(groups[k], d.get());
    auto* bl = new QVBoxLayout(box);
    auto* all = new QRadioButton("&All files", box);
    auto* selected = new QRadioButton("&Selected files", box);
    auto* wildcard = new QRadioButton("&Wildcard", box);
    all->setObjectName("all");
    selected->setObjectName("selected");
    wildcard->setObjectName("wildcard");
    auto* spec = new QLineEdit(box);
    spec->setObjectName("spec");
    spec->setMaxLength(255);
    bl->addWidget(all);
    bl->addWidget(selected);
    bl->addWidget(wildcard);
    bl->addWidget(spec);
    v->addWidget(box);

    QLineEdit* dest = nullptr;
    QCheckBox* mask = nullptr;
    PasswordEdit* password = nullptr;
    if (kind == MemberDialog::Unzip) {
        v->addWidget(new QLabel("Unzip to", d.get()));
        auto* row = new QHBoxLayout;
        dest = new QLineEdit(Q(z.ZIPDESTDIR), d.get());
        dest->setObjectName("dest");
        QObject::connect(dest, &QLineEdit::textChanged, dest, [&z](const QString& t) { z.ZIPDESTDIR = S(t); });
        auto* browse = new QPushButton(" ...", d.get());
        QObject::connect(browse, &QPushButton::clicked, dest, [dest, &z] {
            if (auto chosen = Messages().ChooseFolder("Unzip to", z.ZIPDESTDIR)) dest->setText(Q(*chosen));
        });
        row->addWidget(dest);
        row->addWidget(browse);
        v->addLayout(row);
    }
    if (kind != MemberDialog::Delete) {
        mask = new QCheckBox("&Mask Password", d.get());
        mask->setChecked(true);
        password = new PasswordEdit(mask, d.get());
        password->setObjectName("password");
        password->setMaxLength(kind == MemberDialog::Unzip ? 64 : 65);
        v->addWidget(new QLabel("Password", d.get()));
        v->addWidget(password);
        v->addWidget(mask);
    }
    if (kind == MemberDialog::Unzip) {
        auto bind = [&](const QString& text, uint8_t& field) {
            auto* c = new QCheckBox(text, d.get());
            c->setObjectName(text);
            c->setChecked(field != 0);
            QObject::connect(c, &QCheckBox::toggled, c, [&field](bool on) { field = on ? 1 : 0; });
            v->addWidget(c);
        };
        bind("&Overwrite Existing Files", z.OVERWRITEEXISTINGFILES);
        bind("S&kip Older Files", z.SKIPOLDERFILES);
        bind("&Use Folder Names", z.USEFOLDERNAMES);
    }
    auto* stats = new QGroupBox("Statistics", d.get());
    auto* sl = new QVBoxLayout(stats);
    auto* fileCount = new QLabel(stats);
    auto* byteCount = new QLabel(stats);
    fileCount->setObjectName("files");
    byteCount->setObjectName("bytes");
    sl->addWidget(fileCount);
    sl->addWidget(byteCount);
    v->addWidget(stats);
    auto show = [&](int64_t n, int64_t b) {
        fileCount->setText(QString("%1 %2").arg(files[k]).arg(n));
        byteCount->setText(QString("%1 %2").arg(bytes[k]).arg(b));
    };

    if (z.SELECTEDFILES > 0) {
        selected->setChecked(true);
        show(z.SELECTEDFILES, z.SELECTEDBYTES);
    } else {
        all->setChecked(true);
        show(z.S_ZIPMEMBERS, z.S_OSIZE);
    }
    QObject::connect(all, &QRadioButton::clicked, d.get(), [&] {
        if (kind == MemberDialog::Delete) z.SELECTEDFILES = 0;
        show(z.S_ZIPMEMBERS, z.S_OSIZE);
    });
    QObject::connect(selected, &QRadioButton::clicked, d.get(), [&] { show(z.SELECTEDFILES, z.SELECTEDBYTES); });
    QObject::connect(wildcard, &QRadioButton::clicked, d.get(), [&] { show(0, 0); });
    // Entering the wildcard entry chooses the Wildcard scope.
    spec->installEventFilter(new FocusInHook(spec, [&] {
        wildcard->setChecked(true);
        show(0, 0);
    }));

    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* ok = Button(d.get(), row, go[k], true);
    auto* cancel = Button(d.get(), row, "&Cancel");
    v->addLayout(row);
    QObject::connect(cancel, &QPushButton::clicked, d.get(), &QDialog::reject);
    QObject::connect(ok, &QPushButton::clicked, d.get(), &QDialog::accept);
    if (d->exec() != QDialog::Accepted) return false;
    if (all->isChecked())
        z.ZIPWILDCARD = "*";
    else if (wildcard->isChecked())
        z.ZIPWILDCARD = S(spec->text());
    z.ZIPPASSWORD = password ? S(password->text()) : std::string();
    return true;
}

}  // namespace

bool AskDeleteFiles(LSZCLASS& z) { return AskMembers(z, MemberDialog::Delete); }
bool AskTestFiles(LSZCLASS& z) { return AskMembers(z, MemberDialog::Test); }
bool AskUnzipFiles(LSZCLASS& z) { return AskMembers(z, MemberDialog::Unzip); }

int EditArchiveComment(LSZCLASS& z) {
    if (z.ZIPARCHIVENAME.empty()) return 0;
    std::unique_ptr<QDialog> d(MakeDialog("Archive Comment"));
    auto* v = new QVBoxLayout(d.get());
    auto* text = new QPlainTextEdit(Q(z.ARCHIVECOMMENT), d.get());
    text->setObjectName("comment");
    // Bound to the class: kept as edited, also on Cancel.
    QObject::connect(text, &QPlainTextEdit::textChanged, text, [text, &z] {
        z.ARCHIVECOMMENT = S(text->toPlainText()).substr(0, 1023);
    });
    v->addWidget(text);
    auto* row = new QHBoxLayout;
    auto* now = Button(d.get(), row, "Save &Now", true);
    auto* later = Button(d.get(), row, "Save &Later");
    auto* cancel = Button(d.get(), row, "&Cancel");
    v->addLayout(row);
    int answer = 0;
    QObject::connect(cancel, &QPushButton::clicked, d.get(), &QDialog::reject);
    QObject::connect(now, &QPushButton::clicked, d.get(), [&] {
        z.lib.LSZIP_SETARCHIVECMT(z.ARCHIVECOMMENT);
        answer = z.lib.LSZIP_EXECUTE(z.ZIPARCHIVENAME, kZipComment, 0, kZipArchiveComment);
        if (answer != 0) Message(LSZCLASS::ErrorText(answer), "", MessageIcon::Hand);
        d->accept();
    });
    QObject::connect(later, &QPushButton::clicked, d.get(), [&] {
        z.ADDARCHIVECOMMENT = 1;
        z.lib.LSZIP_SETARCHIVECMT(z.ARCHIVECOMMENT);
        answer = 1;
        d->accept();
    });
    d->exec();
    return answer;
}

void ShowZipInformation(LSZCLASS& z) {
    if (z.S_ZIPMEMBERS <= 0) return;
    std::unique_ptr<QDialog> d(MakeDialog("ZIP Information"));
    auto* v = new QVBoxLayout(d.get());
    auto line = [&](const QString& label, const QString& value) {
        auto* l = new QLabel(label + " " + value, d.get());
        l->setObjectName(label);
        v->addWidget(l);
    };
    line("Files:", QString::number(z.S_ZIPMEMBERS));
    line("Archive Size:", QString::number(z.S_OSIZE));
    line("Compression:", QString::number(z.S_CRATIO, 'f', 2) + "%");
    line("Compressed Size:", QString::number(z.S_CSIZE));
    line("Archive Comment:", z.ARCHIVECOMMENT.empty() ? "NO" : "YES");
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* ok = Button(d.get(), row, "&OK", true);
    v->addLayout(row);
    QObject::connect(ok, &QPushButton::clicked, d.get(), &QDialog::accept);
    d->exec();
}

}  // namespace kr::backup
