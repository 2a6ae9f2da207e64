#include "platform/runtime/IniFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/runtime/PrivateFiles.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

// ---------------------------------------------------------------- names

// Blanks and tabs off both ends.
std::string TrimWs(std::string_view s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    std::size_t e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// The entry of dir whose name equals name without regard to case, or name.
std::string MatchInFolder(const std::string& dir, const std::string& name) {
    if (name.empty() || name == "." || name == "..") return name;
    if (Exists((dir.empty() ? std::string(".") : dir) + "/" + name)) return name;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return name;
    std::string found = name;
    while (dirent* e = ::readdir(d)) {
        if (EqualNoCase(e->d_name, name) && std::string_view(e->d_name).size() == name.size()) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

// ---------------------------------------------------------------- files

// Whether the name is one of the save's temporaries of the file `base`:
// "." + base + "." + six characters of mkstemp.
bool IsTemporaryOf(std::string_view name, const std::string& base) {
    if (name.size() != base.size() + 8 || name[0] != '.' || name[base.size() + 1] != '.') return false;
    if (name.substr(1, base.size()) != base) return false;
    for (char c : name.substr(base.size() + 2))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

// Removes the temporaries of `base` that a save killed part-way left in
// dir. A save holds a lock on its temporary while it lives, so one that
// can be locked belongs to nobody any more; only our own files are touched.
void RemoveStaleTemporaries(const std::string& dir, const std::string& base) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> stale;
    while (dirent* e = ::readdir(d))
        if (IsTemporaryOf(e->d_name, base)) stale.push_back(dir + "/" + e->d_name);
    ::closedir(d);
    for (const std::string& path : stale) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.c_str());
        ::close(fd);
    }
}

// A new temporary of `base` in dir, locked for the life of the save, or -1.
int MakeTemporary(const std::string& dir, const std::string& base, std::string& name) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string tmpl = dir + "/." + base + ".XXXXXX";
        const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        struct stat st;
        // Another program's clean-up may have taken it before the lock: then
        // it is gone from the folder, and a new one is made.
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
            name = tmpl;
            return fd;
        }
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

}  // namespace

std::string ResolveIniPath(std::string_view name) {
    std::string n = Trim(name);
    for (char& c : n)
        if (c == '\\') c = '/';
    if (n.empty()) n = "WIN.INI";
    std::string path = n.front() == '/' ? std::string() : CurrentFolder();
    // Each part of the name: "." and empty parts drop out, ".." goes up, any
    // other part is matched in its folder without regard to case.
    std::size_t i = 0;
    while (i <= n.size()) {
        std::size_t slash = n.find('/', i);
        if (slash == std::string::npos) slash = n.size();
        std::string part = n.substr(i, slash - i);
        i = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            std::size_t up = path.find_last_of('/');
            path = up == std::string::npos || up == 0 ? std::string() : path.substr(0, up);
            continue;
        }
        path += "/" + MatchInFolder(path.empty() ? "/" : path, part);
    }
    return path.empty() ? "/" : path;
}

namespace {

// ---------------------------------------------------------------- the document

struct Line {
    std::string raw;
    enum Kind { Other, Header, Entry } kind = Other;
    std::string name;   // section name or key, as written
    std::string value;  // Entry: the value, trimmed
};

struct Stamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtimeNs = 0;
    bool operator==(const Stamp& o) const {
        return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && mtimeNs == o.mtimeNs;
    }
};

Stamp StampOf(const std::string& path) {
    Stamp s;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return s;
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return s;
}

class Document {
public:
    explicit Document(std::string path) : path_(std::move(path)) {}

    std::mutex mutex;
    int batches = 0;
    bool dirty = false;

    // Drops what memory holds, so the next Refresh reads the file again.
    void Invalidate() {
        dirty = false;
        loaded_ = false;
    }

    // Re-reads the file when it changed on disk (and nothing unwritten is held).
    void Refresh() {
        if (dirty) return;
        Stamp now = StampOf(path_);
        if (loaded_ && now == stamp_) return;
        Load();
        stamp_ = now;
        loaded_ = true;
    }

    std::optional<std::string> Get(std::string_view section, std::string_view key) const {
        auto s = sections_.find(Upper(TrimWs(section)));
        if (s == sections_.end()) return std::nullopt;
        std::string k = Upper(TrimWs(key));
        for (std::size_t i = s->second.first + 1; i < s->second.second; ++i) {
            const Line& l = lines_[i];
            if (l.kind == Line::Entry && Upper(l.name) == k) return l.value;
        }
        return std::nullopt;
    }

    std::vector<std::string> SectionNames() const {
        std::vector<std::string> out;
        std::map<std::string, bool> seen;
        for (const Line& l : lines_)
            if (l.kind == Line::Header && !seen[Upper(l.name)]) {
                seen[Upper(l.name)] = true;
                out.push_back(l.name);
            }
        return out;
    }

    std::vector<std::string> KeysOf(std::string_view section) const {
        std::vector<std::string> out;
        auto s = sections_.find(Upper(TrimWs(section)));
        if (s == sections_.end()) return out;
        std::map<std::string, bool> seen;
        for (std::size_t i = s->second.first + 1; i < s->second.second; ++i) {
            const Line& l = lines_[i];
            if (l.kind == Line::Entry && !seen[Upper(l.name)]) {
                seen[Upper(l.name)] = true;
                out.push_back(l.name);
            }
        }
        return out;
    }

    // Changes memory only; true when something changed.
    bool Set(std::string_view section, std::string_view key, std::string_view value) {
        std::string sec = TrimWs(section), k = TrimWs(key), v = TrimWs(value);
        auto s = sections_.find(Upper(sec));
        if (s == sections_.end()) {
            if (!lines_.empty() && !TrimWs(lines_.back().raw).empty()) lines_.push_back(Line{});
            lines_.push_back(HeaderLine(sec));
            lines_.push_back(EntryLine(k, v));
            Index();
            return true;
        }
        std::string uk = Upper(k);
        std::size_t lastEntry = s->second.first;
        for (std::size_t i = s->second.first + 1; i < s->second.second; ++i) {
            Line& l = lines_[i];
            if (l.kind != Line::Entry) continue;
            if (Upper(l.name) == uk) {
                if (l.value == v) return false;
                l = EntryLine(l.name, v);  // the key keeps the spelling it has in the file
                return true;
            }
            lastEntry = i;
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1), EntryLine(k, v));
        Index();
        return true;
    }

    bool RemoveKey(std::string_view section, std::string_view key) {
        auto s = sections_.find(Upper(TrimWs(section)));
        if (s == sections_.end()) return false;
        std::string uk = Upper(TrimWs(key));
        bool changed = false;
        // Every copy of the key in the section's first block goes.
        for (std::size_t i = s->second.second; i-- > s->second.first + 1;) {
            if (lines_[i].kind == Line::Entry && Upper(lines_[i].name) == uk) {
                lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
                changed = true;
            }
        }
        if (changed) Index();
        return changed;
    }

    bool RemoveSection(std::string_view section) {
        std::string us = Upper(TrimWs(section));
        bool changed = false;
        std::vector<Line> kept;
        kept.reserve(lines_.size());
        bool dropping = false;
        for (Line& l : lines_) {
            if (l.kind == Line::Header) dropping = Upper(l.name) == us;
            if (dropping) {
                changed = true;
                continue;
            }
            kept.push_back(std::move(l));
        }
        lines_ = std::move(kept);
        if (changed) Index();
        return changed;
    }

    // Writes the document atomically; false when it cannot be written.
    bool Save() {
        std::string text;
        std::size_t total = 0;
        for (const Line& l : lines_) total += l.raw.size() + 2;
        text.reserve(total);
        for (const Line& l : lines_) {
            text += l.raw;
            text += crlf_ ? "\r\n" : "\n";
        }
        // Write through a symbolic link to the file it names.
        std::string target = path_;
        char real[PATH_MAX];
        if (::realpath(path_.c_str(), real)) target = real;
        std::size_t slash = target.find_last_of('/');
        std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
        std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
        // Only a regular file is replaced (a FIFO or a device is left as
        // it is), and a read-only one is not: the write fails as a write
        // to a read-only file does. No write bit at all counts as read-only
        // also for a user whom the system would let write.
        struct stat st;
        const bool exists = ::stat(target.c_str(), &st) == 0;
        if (exists && !S_ISREG(st.st_mode)) {
            errno = EINVAL;
            return false;
        }
        if (exists && ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
            errno = EACCES;
            return false;
        }
        // A new file is the owner's alone (the trace file holds file names
        // and the settings files the user's choices); an existing one keeps
        // its mode.
        const mode_t mode = exists ? (st.st_mode & 07777) : kPrivateFileMode;
        RemoveStaleTemporaries(dir, base);
        std::string tmp;
        int fd = MakeTemporary(dir, base, tmp);
        if (fd < 0) return false;
        bool ok = true;
        const char* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            ssize_t n = ::write(fd, p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                ok = false;
                break;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        if (ok && ::fchmod(fd, mode) != 0) ok = false;
        if (ok && ::fsync(fd) != 0) ok = false;
        if (::close(fd) != 0) ok = false;
        if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) ok = false;
        if (!ok) {
            ::unlink(tmp.c_str());
            return false;
        }
        stamp_ = StampOf(path_);
        loaded_ = true;
        return true;
    }

private:
    static Line HeaderLine(const std::string& name) {
        Line l;
        l.kind = Line::Header;
        l.name = name;
        l.raw = "[" + name + "]";
        return l;
    }
    static Line EntryLine(const std::string& key, const std::string& value) {
        Line l;
        l.kind = Line::Entry;
        l.name = key;
        l.value = value;
        l.raw = key + "=" + value;
        return l;
    }

    void Load() {
        lines_.clear();
        crlf_ = false;
        // Only a regular file is read: a FIFO or a device in its place
        // would block (or never end), so it reads as an empty file.
        int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        struct stat st;
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd);
            fd = -1;
        }
        std::string text;
        if (fd >= 0) {
            char buf[65536];
            while (true) {
                ssize_t n = ::read(fd, buf, sizeof buf);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                text.append(buf, static_cast<std::size_t>(n));
            }
            ::close(fd);
        }
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t nl = text.find('\n', pos);
            std::size_t end = nl == std::string::npos ? text.size() : nl;
            std::string raw = text.substr(pos, end - pos);
            if (!raw.empty() && raw.back() == '\r') {
                raw.pop_back();
                crlf_ = true;
            }
            lines_.push_back(Parse(std::move(raw), lines_.empty()));
            pos = nl == std::string::npos ? text.size() : nl + 1;
        }
        Index();
    }

    static Line Parse(std::string raw, bool first) {
        Line l;
        std::string_view view(raw);
        if (first && view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);  // byte order mark
        std::string t = TrimWs(view);
        if (!t.empty() && t[0] == '[') {
            std::size_t close = t.find(']');
            if (close != std::string::npos) {
                l.kind = Line::Header;
                l.name = TrimWs(t.substr(1, close - 1));
            }
        } else if (!t.empty() && t[0] != ';') {
            std::size_t eq = t.find('=');
            if (eq != std::string::npos && eq > 0) {
                l.kind = Line::Entry;
                l.name = TrimWs(t.substr(0, eq));
                l.value = TrimWs(t.substr(eq + 1));
            }
        }
        l.raw = std::move(raw);
        return l;
    }

    // Maps each section name (upper case) to the line range of its first
    // occurrence: [header, next header).
    void Index() {
        sections_.clear();
        std::size_t open = SIZE_MAX;
        std::string openName;
        for (std::size_t i = 0; i <= lines_.size(); ++i) {
            bool header = i < lines_.size() && lines_[i].kind == Line::Header;
            if (i == lines_.size() || header) {
                if (open != SIZE_MAX && !sections_.count(openName)) sections_[openName] = {open, i};
                if (header) {
                    open = i;
                    openName = Upper(lines_[i].name);
                }
            }
        }
    }

    std::string path_;
    std::vector<Line> lines_;
    std::unordered_map<std::string, std::pair<std::size_t, std::size_t>> sections_;
    bool crlf_ = false;
    bool loaded_ = false;
    Stamp stamp_;
};

std::mutex g_docsMutex;
std::unordered_map<std::string, std::shared_ptr<Document>>& Docs() {
    static std::unordered_map<std::string, std::shared_ptr<Document>> docs;
    return docs;
}

std::shared_ptr<Document> DocumentFor(const std::string& path) {
    std::lock_guard<std::mutex> l(g_docsMutex);
    auto& slot = Docs()[path];
    if (!slot) slot = std::make_shared<Document>(path);
    return slot;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool ValidNames(std::string_view section, std::string_view key) {
    std::string k = TrimWs(key);
    if (HasLineBreak(section) || HasLineBreak(key)) return false;
    if (TrimWs(section).find(']') != std::string::npos) return false;
    if (k.empty() || k[0] == ';' || k[0] == '[' || k.find('=') != std::string::npos) return false;
    return true;
}

// Writes a changed document unless a batch holds its writes back.
bool Commit(Document& d, bool changed) {
    if (!changed) return true;
    if (d.batches > 0) {
        d.dirty = true;
        return true;
    }
    bool ok = d.Save();
    if (!ok) d.Invalidate();
    return ok;
}

std::optional<std::string> Read(std::string_view file, std::string_view section, std::string_view key) {
    auto doc = DocumentFor(ResolveIniPath(file));
    std::lock_guard<std::mutex> l(doc->mutex);
    doc->Refresh();
    return doc->Get(section, key);
}

bool Write(std::string_view file, std::string_view section, std::string_view key, std::string_view value) {
    if (!ValidNames(section, key) || HasLineBreak(value)) return false;
    auto doc = DocumentFor(ResolveIniPath(file));
    std::lock_guard<std::mutex> l(doc->mutex);
    doc->Refresh();
    return Commit(*doc, doc->Set(section, key, value));
}

int ToInt(const std::string& s, bool& ok) {
    std::string t = Trim(s);
    char* end = nullptr;
    long v = std::strtol(t.c_str(), &end, 10);
    ok = !t.empty() && end && *end == '\0';
    return static_cast<int>(v);
}

}  // namespace

std::string GetIniValue(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view defaultValue) {
    auto v = Read(file, section, key);
    return v ? *v : std::string(defaultValue);
}

bool PutIniValue(std::string_view file, std::string_view section, std::string_view key, std::string_view value) {
    return Write(file, section, key, value);
}

bool DeleteIniKey(std::string_view file, std::string_view section, std::string_view key) {
    auto doc = DocumentFor(ResolveIniPath(file));
    std::lock_guard<std::mutex> l(doc->mutex);
    doc->Refresh();
    return Commit(*doc, doc->RemoveKey(section, key));
}

void ForgetIniFile(std::string_view file) {
    auto doc = DocumentFor(ResolveIniPath(file));
    std::lock_guard<std::mutex> l(doc->mutex);
    doc->Invalidate();
}

bool DeleteIniSection(std::string_view file, std::string_view section) {
    auto doc = DocumentFor(ResolveIniPath(file));
    std::lock_guard<std::mutex> l(doc->mutex);
    doc->Refresh();
    return Commit(*doc, doc->RemoveSection(section));
}

std::string IniFile::Fetch(std::string_view section, std::string_view key, std::string_view defaultValue) const {
    return GetIniValue(name_, section, key, defaultValue);
}

std::optional<std::string> IniFile::TryFetch(std::string_view section, std::string_view key) const {
    return Read(name_, section, key);
}

bool IniFile::Update(std::string_view section, std::string_view key, std::string_view value) const {
    return Write(name_, section, key, value);
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key) const {
    return DeleteIniKey(name_, section, key);
}

bool IniFile::DeleteSection(std::string_view section) const { return DeleteIniSection(name_, section); }

std::vector<std::string> IniFile::Sections() const {
    auto doc = DocumentFor(ResolveIniPath(name_));
    std::lock_guard<std::mutex> l(doc->mutex);
    doc->Refresh();
    return doc->SectionNames();
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
    auto doc = DocumentFor(ResolveIniPath(name_));
    std::lock_guard<std::mutex> l(doc->mutex);
    doc->Refresh();
    return doc->KeysOf(section);
}

bool IniFile::SaveWindow(std::string_view section, const WindowPlacement& p) const {
    Batch batch(*this);
    bool ok = Update(section, "XPos", std::to_string(p.x));
    ok = Update(section, "YPos", std::to_string(p.y)) && ok;
    ok = Update(section, "Width", std::to_string(p.width)) && ok;
    ok = Update(section, "Height", std::to_string(p.height)) && ok;
    ok = Update(section, "Maximize", p.maximized ? "1" : "0") && ok;
    return batch.Flush() && ok;
}

std::optional<WindowPlacement> IniFile::RestoreWindow(std::string_view section) const {
    auto x = TryFetch(section, "XPos");
    auto y = TryFetch(section, "YPos");
    if (!x || !y) return std::nullopt;
    WindowPlacement p;
    bool okX, okY, ok;
    p.x = ToInt(*x, okX);
    p.y = ToInt(*y, okY);
    if (!okX || !okY) return std::nullopt;
    p.width = ToInt(Fetch(section, "Width", "0"), ok);
    p.height = ToInt(Fetch(section, "Height", "0"), ok);
    p.maximized = ToInt(Fetch(section, "Maximize", "0"), ok) != 0;
    return p;
}

IniFile::Batch::Batch(const IniFile& file) : path_(ResolveIniPath(file.fileName())) {
    auto doc = DocumentFor(path_);
    std::lock_guard<std::mutex> l(doc->mutex);
    doc->Refresh();
    ++doc->batches;
}

bool IniFile::Batch::Flush() {
    auto doc = DocumentFor(path_);
    std::lock_guard<std::mutex> l(doc->mutex);
    if (!doc->dirty) return true;
    bool ok = doc->Save();
    if (ok) doc->dirty = false;
    else doc->Invalidate();
    return ok;
}

IniFile::Batch::~Batch() {
    auto doc = DocumentFor(path_);
    std::lock_guard<std::mutex> l(doc->mutex);
    if (--doc->batches == 0 && doc->dirty) {
        if (doc->Save()) doc->dirty = false;
        else doc->Invalidate();
    }
}

}  // namespace kr
