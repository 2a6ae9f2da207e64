#include "platform/data/WorkCopies.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>
#include <vector>

namespace kr::data {

namespace {

namespace fs = std::filesystem;

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) !=
            std::tolower(static_cast<unsigned char>(tail[i])))
            return false;
    return true;
}

// Six letters or digits after `at`: the end mkstemp gives a name.
bool RandomTail(const std::string& s, std::size_t at) {
    if (s.size() != at + 6) return false;
    for (std::size_t i = at; i < s.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

enum class Kind { None, File, Folder, Note };

constexpr const char* kNoteHead = ".krtemp-";

Kind KindOf(const std::string& name, const std::string& folder, const std::string& archiveName = {}) {
    if (name.rfind(kNoteHead, 0) == 0 && RandomTail(name, 8)) return Kind::Note;
    if (name.rfind(".vxwcopy-", 0) == 0) return Kind::File;
    if (!archiveName.empty() && name.size() == archiveName.size() + 7 && name.rfind(archiveName, 0) == 0 &&
        name[archiveName.size()] == '.' && RandomTail(name, archiveName.size() + 1))
        return Kind::File;
    if (name.rfind(".vxwrestore-", 0) == 0) return Kind::Folder;
    if (EndsWith(name, ".tpsfix-pages")) return Kind::File;
    // The repair's new file, and its journal (a repair ended in a write
    // leaves both), beside the data file it was made for.
    for (const char* tail : {".tpsfix-new", ".tpsfix-new-journal"}) {
        const std::size_t n = std::strlen(tail);
        if (!EndsWith(name, tail)) continue;
        struct stat st {};
        const std::string base = folder + "/" + name.substr(0, name.size() - n);
        return ::stat(base.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? Kind::File : Kind::None;
    }
    if (name.size() > 11 && EndsWithNoCase(name.substr(0, name.size() - 6), ".zip.") && RandomTail(name, name.size() - 6))
        return Kind::File;
    if (name.size() > 11 && name[0] == '.' && name.compare(name.size() - 9, 3, "vxw") == 0 &&
        name[name.size() - 10] == '.' && RandomTail(name, name.size() - 6))
        return Kind::File;
    return Kind::None;
}

// Every file and folder some other process has open (or works in); this
// process's too with `withSelf`. (Other users' processes cannot be seen;
// they cannot have the owner's files open.)
std::set<std::pair<dev_t, ino_t>> OpenElsewhere(bool withSelf = false) {
    std::set<std::pair<dev_t, ino_t>> open;
    const std::string self = withSelf ? std::string() : std::to_string(::getpid());
    DIR* proc = ::opendir("/proc");
    if (!proc) return open;
    while (dirent* p = ::readdir(proc)) {
        const std::string pid = p->d_name;
        if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0])) || pid == self) continue;
        const std::string base = "/proc/" + pid;
        struct stat st {};
        if (::stat((base + "/cwd").c_str(), &st) == 0) open.insert({st.st_dev, st.st_ino});
        DIR* fds = ::opendir((base + "/fd").c_str());
        if (!fds) continue;
        while (dirent* f = ::readdir(fds)) {
            if (f->d_name[0] == '.') continue;
            if (::stat((base + "/fd/" + f->d_name).c_str(), &st) == 0) open.insert({st.st_dev, st.st_ino});
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return open;
}

// The lines of a note (its paths).
std::vector<std::string> NoteLines(int fd) {
    std::string text;
    char buf[4096];
    ssize_t got;
    while ((got = ::pread(fd, buf, sizeof buf, static_cast<off_t>(text.size()))) > 0) text.append(buf, got);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) break;  // a line cut short by a kill
        if (end > at && text[at] == '/') lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// Removes a file a dead note named, if it is a plain file of ours that no
// process has open. 1 when it went.
int RemoveNoted(const std::string& path, const std::set<std::pair<dev_t, ino_t>>& open) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st {};
    const bool ours = ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && S_ISREG(st.st_mode);
    const bool gone = ours && !open.count({st.st_dev, st.st_ino}) && ::unlink(path.c_str()) == 0;
    ::close(fd);
    return gone ? 1 : 0;
}

}  // namespace

bool HeldOpenByAnyProcess(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return OpenElsewhere(true).count({st.st_dev, st.st_ino}) != 0;
}

TemporaryNote::TemporaryNote(const std::string& folder) {
    path_ = (folder.empty() ? std::string(".") : folder) + "/" + kNoteHead + "XXXXXX";
    fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        path_.clear();
        return;
    }
    ::flock(fd_, LOCK_EX);
}

TemporaryNote::~TemporaryNote() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::close(fd_);
}

std::string TemporaryNote::Tail() const { return path_.size() >= 6 ? path_.substr(path_.size() - 6) : std::string(); }

bool TemporaryNote::Add(const std::string& path) {
    if (fd_ < 0) return false;
    std::error_code ec;
    const std::string line = fs::absolute(path, ec).lexically_normal().string() + "\n";
    if (ec) return false;
    // One write, in append mode's place: a line is whole or missing.
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    return end >= 0 && ::pwrite(fd_, line.data(), line.size(), end) == static_cast<ssize_t>(line.size());
}

std::set<std::string> NotedTemporaries(const std::string& folder) {
    std::set<std::string> noted;
    DIR* d = ::opendir(folder.c_str());
    if (!d) return noted;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (KindOf(name, folder) != Kind::Note) continue;
        const int fd = ::open((folder + "/" + name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        for (const std::string& p : NoteLines(fd)) {
            noted.insert(p);
            noted.insert(p + "-journal");
        }
        ::close(fd);
    }
    ::closedir(d);
    return noted;
}

int HoldWorkCopy(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    ::flock(fd, LOCK_EX);
    return fd;
}

WorkCopyLock::~WorkCopyLock() {
    if (fd_ >= 0) ::close(fd_);
}

void WorkCopyLock::Hold(const std::string& path) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = HoldWorkCopy(path);
}

int RemoveStrayWorkCopies(const std::string& folder, const std::string& archiveName) {
    std::vector<std::pair<std::string, Kind>> candidates;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            const Kind kind = KindOf(name, folder, archiveName);
            if (kind != Kind::None) candidates.emplace_back(folder + "/" + name, kind);
        }
        ::closedir(d);
    }
    if (candidates.empty()) return 0;
    const std::set<std::pair<dev_t, ino_t>> open = OpenElsewhere();
    int removed = 0;
    for (const auto& [path, kind] : candidates) {
        const int fd = ::open(path.c_str(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (kind == Kind::Folder ? O_DIRECTORY : 0));
        if (fd < 0) continue;
        struct stat st {};
        const bool ours = ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() &&
                          (kind == Kind::Folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode));
        if (kind == Kind::Note) {
            // What the note names goes first; the note last, so that a sweep
            // killed half-way still knows the rest.
            if (ours && !open.count({st.st_dev, st.st_ino}) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                for (const std::string& p : NoteLines(fd)) {
                    removed += RemoveNoted(p, open);
                    removed += RemoveNoted(p + "-journal", open);
                }
                ::unlink(path.c_str());
            }
            ::close(fd);
            continue;
        }
        if (ours && !open.count({st.st_dev, st.st_ino}) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ec;
            if (fs::remove_all(path, ec) > 0 && !ec) ++removed;
        }
        ::close(fd);
    }
    return removed;
}

}  // namespace kr::data
