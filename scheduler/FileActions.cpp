#include "scheduler/FileActions.h"

#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/desktop/WindowHelpers.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/PrivateFiles.h"
#include "platform/runtime/Strings.h"
#include "scheduler/DateValues.h"
#include "scheduler/ScriptValues.h"
#include "scheduler/TranslateValues.h"

namespace kr {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFolderNameLimit = 512;

std::string LocalName(std::string_view name) {
    std::string s = Trim(name);
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

bool HasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

int ErrOf(const std::error_code& ec) {
    if (!ec) return 0;
    return ec.category() == std::system_category() || ec.category() == std::generic_category() ? ec.value() : EIO;
}

// The names a pattern stands for: a name without wildcards stands for
// itself (whether it exists or not); a pattern for the files it matches,
// folders left out. "*.*" is every file, with or without an extension.
std::vector<std::string> Expand(const std::string& name) {
    if (!HasWildcard(name)) return {name};
    std::string pattern = name;
    const std::size_t slash = pattern.rfind('/');
    std::string last = pattern.substr(slash == std::string::npos ? 0 : slash + 1);
    if (last == "*.*") pattern.replace(pattern.size() - 3, 3, "*");
    std::vector<std::string> out;
    glob_t g{};
    if (::glob(pattern.c_str(), GLOB_PERIOD | GLOB_NOSORT, nullptr, &g) == 0) {
        for (std::size_t i = 0; i < g.gl_pathc; ++i) {
            const std::string p = g.gl_pathv[i];
            const std::string base = p.substr(p.rfind('/') == std::string::npos ? 0 : p.rfind('/') + 1);
            if (base == "." || base == "..") continue;
            struct stat st {};
            if (::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
            out.push_back(p);
        }
    }
    ::globfree(&g);
    std::sort(out.begin(), out.end());
    return out;
}

// Copies a file or a folder tree, keeping modification times and modes;
// an existing target file is replaced.
int CopyTree(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(from, ec);
    if (ec) return ErrOf(ec);
    if (fs::is_directory(st)) {
        fs::create_directories(to, ec);
        if (ec) return ErrOf(ec);
        for (const fs::directory_entry& e : fs::directory_iterator(from, ec)) {
            if (int r = CopyTree(e.path(), to / e.path().filename())) return r;
        }
        if (ec) return ErrOf(ec);
    } else if (fs::is_symlink(st)) {
        fs::remove(to, ec);
        fs::copy_symlink(from, to, ec);
        return ErrOf(ec);
    } else {
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
        if (ec) return ErrOf(ec);
    }
    const auto when = fs::last_write_time(from, ec);
    if (!ec) fs::last_write_time(to, when, ec);
    return 0;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool Exists(const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}

bool IsFolder(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Moves by renaming; across file systems by a copy, then the source removed
// once the copy is whole (a failed copy is taken away again, the source
// stays).
int MoveTree(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) == 0) return 0;
    const int err = errno;
    if (err != EXDEV) return err;
    if (int r = CopyTree(from, to)) {
        std::error_code ec;
        fs::remove_all(to, ec);
        return r;
    }
    std::error_code ec;
    fs::remove_all(from, ec);
    return ErrOf(ec);
}

std::string Join(const std::vector<std::string>& names) {
    std::string s;
    for (const std::string& n : names) s += (s.empty() ? "" : "|") + n;
    return s;
}

std::string BaseName(const std::string& p) {
    std::string s = p;
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    const std::size_t slash = s.rfind('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

struct DesktopWindowsSource : LogWindowsSource {
    std::vector<Window> TopWindows() override {
        ListTopWindows();
        std::vector<Window> out;
        for (const WindowListEntry& e : WindowList()) out.push_back({e.Line.str(), e.Class.str(), e.Handle});
        return out;
    }
    std::vector<Window> Children(uint32_t window) override {
        std::vector<Window> out;
        if (window == 0) return out;
        ListChildWindows(window);
        for (const ChildWindowEntry& e : ChildWindowList()) out.push_back({e.Line.str(), e.Class.str(), e.Handle});
        return out;
    }
};

std::atomic<LogWindowsSource*> g_windowSource{nullptr};

// A text cut or padded to a width in characters (UTF-8).
std::string Column(std::string_view text, std::size_t width) {
    std::string out;
    std::size_t chars = 0, i = 0;
    while (i < text.size() && chars < width) {
        std::size_t len = 1;
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0xF0) len = 4;
        else if (c >= 0xE0) len = 3;
        else if (c >= 0xC0) len = 2;
        if (i + len > text.size()) break;
        char ch = text[i];
        if (len == 1 && (ch == '\r' || ch == '\n' || ch == '\t')) ch = ' ';
        if (len == 1) out += ch;
        else out.append(text.substr(i, len));
        i += len;
        ++chars;
    }
    out.append(width - chars, ' ');
    return out;
}

// The first file matching a name (a pattern's first file in name order).
// A folder is no entry: it has no size, date or time to read.
bool FirstEntry(const std::string& name, struct stat& st) {
    for (const std::string& p : Expand(name))
        if (::stat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return true;
    return false;
}

std::string Digits(int n, int width) {
    std::string s = std::to_string(n);
    return std::string(s.size() < static_cast<std::size_t>(width) ? width - s.size() : 0, '0') + s;
}

}  // namespace

// ---------------------------------------------------------------- ShellFileOp

void ShellFileOp::Init(bool) {
    initialized_ = true;
    allowUndo_ = true;
    source_ = {"*.*"};
    target_ = {"*.*"};
}

std::vector<std::string> ShellFileOp::NormalizePath(std::string_view path) {
    std::vector<std::string> out;
    // "|" and ";" separate a list of names, but they are ordinary characters
    // of a name too: a text that names an existing file as a whole is that
    // one file, never the files its pieces may name.
    if (path.find_first_of("|;") != std::string_view::npos) {
        std::string whole = LocalName(path);
        struct stat st {};
        if (!whole.empty() && ::lstat(whole.c_str(), &st) == 0) return {whole};
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("|;", start);
        if (end == std::string_view::npos) end = path.size();
        std::string name = LocalName(path.substr(start, end - start));
        if (!name.empty()) out.push_back(std::move(name));
        start = end + 1;
    }
    return out;
}

void ShellFileOp::SetPaths(std::string_view source, std::string_view target) {
    source_ = NormalizePath(source);
    // A copy, move or rename has one target: its text whole, ";" and "|"
    // included, so that "new;name" is one new name and never two.
    target_.clear();
    std::string whole = LocalName(target);
    if (!whole.empty()) target_.push_back(std::move(whole));
}

int ShellFileOp::Execute(int code) {
    PutIniValue(".\\DEBUG.INI", "ShFileOp", "Exec", std::to_string(code));
    PutIniValue(".\\DEBUG.INI", "ShFileOp", "Source", Join(source_));
    PutIniValue(".\\DEBUG.INI", "ShFileOp", "Target", Join(target_));

    std::vector<std::string> names;
    bool many = source_.size() > 1;
    for (const std::string& s : source_) {
        if (HasWildcard(s)) many = true;
        for (std::string& n : Expand(s)) names.push_back(std::move(n));
    }
    if (names.empty()) return ENOENT;

    int result = 0;
    auto note = [&result](int r) {
        if (r != 0 && result == 0) result = r;
    };

    if (code == kDelete) {
        for (const std::string& n : names) {
            if (!Exists(n)) {
                note(ENOENT);
                continue;
            }
            if (allowUndo_) {
                if (!QFile::moveToTrash(QString::fromStdString(n))) note(Exists(n) ? EACCES : ENOENT);
                continue;
            }
            std::error_code ec;
            fs::remove_all(n, ec);
            note(ErrOf(ec));
        }
        return result;
    }

    if (target_.empty()) return ENOENT;
    const std::string target = target_.front();

    if (code == kRename) {
        // A bare new name stays in the source's folder.
        for (const std::string& n : names) {
            std::string to = target;
            if (to.find('/') == std::string::npos) {
                const std::size_t slash = n.rfind('/');
                if (slash != std::string::npos) to = n.substr(0, slash + 1) + to;
            }
            if (!Exists(n)) {
                note(ENOENT);
            } else if (Exists(to) && !SameFile(n, to)) {
                note(EEXIST);  // never replaces another file
            } else {
                note(MoveTree(n, to));
            }
        }
        return result;
    }

    // Copy and move: several names (or a pattern) go into the target folder,
    // made when missing; one name goes into the target when it is a folder,
    // else becomes the target.
    const bool intoFolder = many || IsFolder(target);
    if (many && !IsFolder(target)) {
        std::error_code ec;
        fs::create_directories(target, ec);
        if (ec) return ErrOf(ec);
    }
    for (const std::string& n : names) {
        if (!Exists(n)) {
            note(ENOENT);
            continue;
        }
        const std::string to = intoFolder ? (fs::path(target) / BaseName(n)).string() : target;
        if (SameFile(n, to)) {
            note(EINVAL);  // onto itself: the copy would truncate the source
            continue;
        }
        if (!intoFolder) {
            const fs::path parent = fs::path(to).parent_path();
            std::error_code ec;
            if (!parent.empty()) fs::create_directories(parent, ec);
        }
        note(code == kCopy ? CopyTree(n, to) : MoveTree(n, to));
    }
    return result;
}

int ShellFileOp::Copy(std::string_view source, std::string_view target) {
    if (!initialized_) Init();
    SetPaths(source, target);
    return Execute(kCopy);
}

int ShellFileOp::Move(std::string_view source, std::string_view target) {
    if (!initialized_) Init();
    SetPaths(source, target);
    return Execute(kMove);
}

int ShellFileOp::Rename(std::string_view source, std::string_view target) {
    if (!initialized_) Init();
    SetPaths(source, target);
    return Execute(kRename);
}

int ShellFileOp::Delete(std::string_view path, bool allowUndo) {
    if (!initialized_) Init();
    allowUndo_ = allowUndo;
    SetPaths(path, path);
    return Execute(kDelete);
}

// ---------------------------------------------------------------- Log Windows

void SetLogWindowsSource(LogWindowsSource* source) { g_windowSource = source; }

int LogWindows(const std::string& fileName, int& errorCode) {
    DesktopWindowsSource desktop;
    LogWindowsSource* source = g_windowSource.load();
    if (!source) source = &desktop;

    // Window list: top-level windows first, child windows of class "...Win..."
    // appended as they are found so that their own children are listed too.
    constexpr std::size_t kMaxWindows = 100000;
    std::vector<LogWindowsSource::Window> windows = source->TopWindows();
    std::string text;
    const std::string blankWindow = Column("", 40) + Column("", 12);
    const std::string blankChild = Column("", 40) + Column("", 20) + Column("", 12);
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const LogWindowsSource::Window w = windows[i];
        text += Column(w.text, 40) + Column(std::to_string(w.handle), 12) + blankChild + "\r\n";
        for (const LogWindowsSource::Window& c : source->Children(w.handle)) {
            if (c.text == "<>") continue;
            text += blankWindow + Column(c.text, 40) + Column(c.className, 20) + Column(std::to_string(c.handle), 12) +
                    "\r\n";
            if (c.className.find("Win") != std::string::npos && c.handle != 0 && windows.size() < kMaxWindows)
                windows.push_back({c.text + " (Child of " + w.text + ")", c.className, c.handle});
        }
    }

    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kPrivateFileMode);
    if (fd < 0) {
        errorCode = errno;
        return -1;
    }
    std::size_t off = 0;
    while (off < text.size()) {
        const ssize_t put = ::write(fd, text.data() + off, text.size() - off);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            errorCode = errno ? errno : EIO;
            ::close(fd);
            return -1;
        }
        off += static_cast<std::size_t>(put);
    }
    if (::close(fd) != 0) {
        errorCode = errno;
        return -1;
    }
    errorCode = 0;
    return static_cast<int>(windows.size());
}

// ---------------------------------------------------------------- the step

FileActionOutcome RunFileAction(std::string_view operation, std::string_view source, std::string_view target) {
    FileActionOutcome o;
    const std::string op = ClipRight(operation);
    auto shell = [&](const char* value, int r) {
        o.valueName = value;
        o.result = r;
        o.value = std::to_string(r);
        o.errorCode = r;
    };
    ShellFileOp shellOp;
    if (op == "Copy") {
        shell("FileCopy", shellOp.Copy(source, target));
    } else if (op == "Move") {
        shell("FileMove", shellOp.Move(source, target));
    } else if (op == "Rename") {
        shell("FileRename", shellOp.Rename(source, target));
    } else if (op == "Delete") {
        shell("FileDelete", shellOp.Delete(source, false));
    } else if (op == "Recycle") {
        shell("FileDelete", shellOp.Delete(source, true));
    } else if (op == "Make Directory" || op == "Remove Directory") {
        const bool make = op == "Make Directory";
        std::string name = LocalName(source);
        if (name.size() > kFolderNameLimit) name.resize(kFolderNameLimit);
        int err = ENOENT;
        if (!name.empty()) err = (make ? ::mkdir(name.c_str(), 0777) : ::rmdir(name.c_str())) == 0 ? 0 : errno;
        const bool there = IsFolder(name);
        const bool ok = make ? there : !name.empty() && !there;
        o.valueName = make ? "DirCreate" : "DirRemove";
        o.result = ok ? 1 : 0;
        o.value = ok ? "1" : "0";
        o.errorCode = ok ? 0 : err;
    } else if (op == "Get File Date" || op == "Get File Time" || op == "Get File Size") {
        struct stat st {};
        const bool found = FirstEntry(LocalName(source), st);
        o.errorCode = found ? 0 : ENOENT;
        if (op == "Get File Size") {
            o.valueName = "FileSize";
            o.result = found ? static_cast<int64_t>(st.st_size) : 0;
            o.value = std::to_string(o.result);
        } else {
            std::tm tm{};
            const std::time_t t = st.st_mtime;
            if (found) ::localtime_r(&t, &tm);
            if (op == "Get File Date") {
                o.valueName = "FileDate";
                o.value = found ? std::to_string(tm.tm_year + 1900) + Digits(tm.tm_mon + 1, 2) + Digits(tm.tm_mday, 2)
                                : "0";
            } else {
                o.valueName = "FileTime";
                // hhmmss as the picture writes it: the hour without a leading zero.
                const int64_t time = (tm.tm_hour * 3600LL + tm.tm_min * 60LL + tm.tm_sec) * 100 + 1;
                o.value = found ? Format(Value(time), "@t5") : "0";
            }
            o.result = std::stoll(o.value);
        }
    } else if (op == "File Exists" || op == "If File Exists") {
        const std::string name = LocalName(source);
        bool found = false;
        if (!name.empty()) {
            if (HasWildcard(name)) {
                found = !Expand(name).empty();
            } else {
                found = Exists(name);
            }
        }
        o.valueName = "FileExists";
        o.result = found ? 1 : 0;
        o.value = found ? "1" : "0";
    } else if (op == "Log Windows") {
        int err = 0;
        const int n = LogWindows(LocalName(source), err);
        o.result = n < 0 ? 0 : n;
        o.errorCode = err;
    }
    return o;
}

void StoreFileActionValues(const FileActionOutcome& outcome) {
    if (!outcome.valueName.empty()) SetScriptVariable(outcome.valueName, outcome.value);
    SetScriptVariable("Errorcode", std::to_string(outcome.errorCode));
}

int64_t DoFileAction(std::string_view operation, std::string_view source, std::string_view target, std::string_view,
                     std::string_view) {
    const FileActionOutcome o = RunFileAction(operation, TranslateValues(source), TranslateValues(target));
    StoreFileActionValues(o);
    return o.result;
}

// ---------------------------------------------------------------- the service

struct FileActionWorker::Impl {
    QObject context;
    std::thread worker;
};

FileActionWorker::FileActionWorker() : impl_(new Impl) {}

FileActionWorker::~FileActionWorker() {
    if (impl_->worker.joinable()) impl_->worker.join();
    delete impl_;
}

bool FileActionWorker::Start(const FileActionRequest& request, std::function<void(int32_t)> done) {
    const std::string op = ClipRight(request.operation);
    const std::string source = TranslateValues(request.parameter1);
    const std::string target = TranslateValues(request.parameter2);
    auto finish = [done](const FileActionOutcome& o) {
        StoreFileActionValues(o);
        const int64_t r = o.result;
        done(static_cast<int32_t>(r > INT32_MAX ? INT32_MAX : r));
    };
    if (op == "Log Windows") {
        // The desktop's window lists belong to thread 1.
        const FileActionOutcome o = RunFileAction(op, source, target);
        QTimer::singleShot(0, &impl_->context, [finish, o] { finish(o); });
        return true;
    }
    if (impl_->worker.joinable()) impl_->worker.join();
    QObject* context = &impl_->context;
    impl_->worker = std::thread([context, finish, op, source, target] {
        const FileActionOutcome o = RunFileAction(op, source, target);
        QMetaObject::invokeMethod(context, [finish, o] { finish(o); }, Qt::QueuedConnection);
    });
    return true;
}

}  // namespace kr
