#include "backup/ZipLibrary.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "platform/data/WorkCopies.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/PrivateFiles.h"
#include "platform/runtime/WriteCauses.h"

namespace kr::backup {

namespace fs = std::filesystem;

namespace {

std::atomic<bool> g_abort{false};

constexpr size_t kChunk = 256 * 1024;

std::string Slashes(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && Lower(s.substr(s.size() - tail.size())) == Lower(tail);
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// A member name matches a pattern of a specification: the whole stored name
// or its last part, without regard to case; "*.*" matches every name, as it
// does on the system the archives come from.
bool MatchMember(const std::string& pattern, const std::string& memberName) {
    std::string p = Slashes(pattern);
    std::string n = Slashes(memberName);
    if (p == "*.*" || p == "*") return true;
    if (Lower(p) == Lower(n)) return true;
    if (fnmatch(p.c_str(), n.c_str(), FNM_CASEFOLD) == 0) return true;
    if (p.find('/') == std::string::npos) {
        auto slash = n.find_last_of('/');
        std::string base = slash == std::string::npos ? n : n.substr(slash + 1);
        if (Lower(p) == Lower(base) || fnmatch(p.c_str(), base.c_str(), FNM_CASEFOLD) == 0) return true;
    }
    return false;
}

// Day number of a time stamp, in local time.
int32_t LocalDate(time_t t) {
    struct tm tmv {};
    localtime_r(&t, &tmv);
    return MakeDate(tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_year + 1900);
}

void ToDos(time_t t, uint16_t& date, uint16_t& time) {
    struct tm tmv {};
    localtime_r(&t, &tmv);
    int year = std::max(0, tmv.tm_year + 1900 - 1980);
    date = static_cast<uint16_t>((year << 9) | ((tmv.tm_mon + 1) << 5) | tmv.tm_mday);
    time = static_cast<uint16_t>((tmv.tm_hour << 11) | (tmv.tm_min << 5) | (tmv.tm_sec / 2));
}

int32_t ParseMdy(const std::string& s, bool& ok) {
    ok = s.empty();
    if (s.empty()) return 0;
    if (s.size() != 8 || !std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return 0;
    int m = std::stoi(s.substr(0, 2)), d = std::stoi(s.substr(2, 2)), y = std::stoi(s.substr(4, 4));
    if (m < 1 || m > 12 || y < 1801 || d < 1 || d > DaysInMonth(m, y)) return 0;
    ok = true;
    return MakeDate(m, d, y);
}

// Whether the disk holding `folder` is full: less room left than one
// write of a copy or of the library needs.
bool DiskFull(const std::string& folder) {
    struct statvfs sv {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &sv) != 0) return false;
    return static_cast<uint64_t>(sv.f_bavail) * sv.f_frsize < 64 * 1024;
}

bool NoSpace(int error) { return error == ENOSPC || error == EDQUOT; }

// The library's new archive, "<archive>.XXXXXX", open in this process while
// it writes: given the owner-only mode before it is renamed to the archive's
// name. (For a new archive the library gives its file the mode the umask
// allows; for a rewritten one that of the archive it replaces.) `archive` is
// the archive's path with its folder made canonical, as /proc names files.
void MakeNewArchivePrivate(const std::string& archive) {
    DIR* d = ::opendir("/proc/self/fd");
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') continue;
        char target[4096];
        const ssize_t n = ::readlinkat(::dirfd(d), e->d_name, target, sizeof target - 1);
        if (n <= 0) continue;
        const std::string link(target, static_cast<size_t>(n));
        if (link.size() != archive.size() + 7 || link.compare(0, archive.size(), archive) != 0 ||
            link[archive.size()] != '.')
            continue;
        if (!std::all_of(link.end() - 6, link.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            continue;
        ::fchmod(std::atoi(e->d_name), kPrivateFileMode);
    }
    ::closedir(d);
}

// An empty file at an archive's name that no process has open: the mark of
// a run killed before it wrote anything, not an archive.
bool EmptyAndUnheld(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0) return false;
    return !data::HeldOpenByAnyProcess(path);
}

int MapOpenError(int ze) {
    switch (ze) {
        case ZIP_ER_NOENT: return -151;
        case ZIP_ER_OPEN:
        case ZIP_ER_READ: return -9;
        case ZIP_ER_NOZIP: return -2;
        case ZIP_ER_INCONS: return -51;
        case ZIP_ER_MEMORY: return -4;
        default: return -3;
    }
}

int MapReadError(int ze) {
    switch (ze) {
        case ZIP_ER_WRONGPASSWD:
        case ZIP_ER_NOPASSWD: return -61;
        case ZIP_ER_CRC: return -15;
        case ZIP_ER_COMPNOTSUPP:
        case ZIP_ER_ENCRNOTSUPP: return -2;
        case ZIP_ER_MEMORY: return -4;
        case ZIP_ER_CANCELLED: return -30;
        default: return -3;
    }
}

// General-purpose flags and start disks of the members, read from the
// central directory (libzip does not hand them out). Empty when the
// directory cannot be walked (then the callers fall back to defaults).
struct CentralInfo {
    uint16_t flags;
    uint16_t disk;
};
std::vector<CentralInfo> ReadCentralDirectory(const std::string& path) {
    std::vector<CentralInfo> out;
    std::ifstream in(path, std::ios::binary);
    if (!in) return out;
    in.seekg(0, std::ios::end);
    int64_t size = in.tellg();
    if (size < 22) return out;
    int64_t tail = std::min<int64_t>(size, 65535 + 22);
    std::vector<unsigned char> buf(static_cast<size_t>(tail));
    in.seekg(size - tail);
    in.read(reinterpret_cast<char*>(buf.data()), tail);
    auto u16 = [](const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); };
    auto u32 = [](const unsigned char* p) {
        return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
    };
    int64_t eocd = -1;
    for (int64_t i = tail - 22; i >= 0; --i)
        if (u32(&buf[static_cast<size_t>(i)]) == 0x06054b50) {
            eocd = i;
            break;
        }
    if (eocd < 0) return out;
    const unsigned char* e = &buf[static_cast<size_t>(eocd)];
    uint32_t cdSize = u32(e + 12), cdOffset = u32(e + 16);
    uint16_t entries = u16(e + 10);
    if (cdOffset == 0xffffffffu || entries == 0xffff || int64_t(cdOffset) + cdSize > size) return out;
    std::vector<unsigned char> cd(cdSize);
    in.clear();
    in.seekg(cdOffset);
    in.read(reinterpret_cast<char*>(cd.data()), cdSize);
    if (!in) return out;
    size_t pos = 0;
    for (int i = 0; i < entries; ++i) {
        if (pos + 46 > cd.size() || u32(&cd[pos]) != 0x02014b50) return {};
        out.push_back({u16(&cd[pos + 8]), u16(&cd[pos + 34])});
        pos += 46 + u16(&cd[pos + 28]) + u16(&cd[pos + 30]) + u16(&cd[pos + 32]);
    }
    return out;
}

bool SetAbortableError(zip_error_t* error) {
    if (g_abort.load()) {
        zip_error_set(error, ZIP_ER_CANCELLED, 0);
        return true;
    }
    return false;
}

}  // namespace

void PostAbort() { g_abort.store(true); }

std::vector<std::string> SplitSpecification(const std::string& spec) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < spec.size()) {
        while (i < spec.size() && (spec[i] == ' ' || spec[i] == '\t')) ++i;
        if (i >= spec.size()) break;
        std::string part;
        if (spec[i] == '"') {
            size_t end = spec.find('"', i + 1);
            if (end == std::string::npos) end = spec.size();
            part = spec.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            size_t end = spec.find_first_of(" \t", i);
            if (end == std::string::npos) end = spec.size();
            part = spec.substr(i, end - i);
            i = end;
        }
        if (!part.empty()) parts.push_back(part);
    }
    return parts;
}

// --- member record ---

void PackMemberRecord(const MemberRecord& m, char (&b)[kMemberRecordSize]) {
    std::memset(b, 0, sizeof b);
    auto put16 = [&](int at, uint16_t v) {
        b[at] = static_cast<char>(v & 0xff);
        b[at + 1] = static_cast<char>(v >> 8);
    };
    auto put32 = [&](int at, uint32_t v) {
        for (int k = 0; k < 4; ++k) b[at + k] = static_cast<char>((v >> (8 * k)) & 0xff);
    };
    std::memcpy(b, m.name.data(), std::min<size_t>(m.name.size(), 254));
    put16(255, m.index);
    put16(257, m.dosDate);
    put16(259, m.dosTime);
    put32(261, m.originalSize);
    put16(265, static_cast<uint16_t>(m.ratio));
    put32(267, m.compressedSize);
    put16(271, m.method);
    put32(273, m.crc);
    put32(277, m.attributes);
    put16(281, m.flags);
    std::memcpy(b + 283, m.comment.data(), std::min<size_t>(m.comment.size(), 126));
    put16(410, m.disk);
}

MemberRecord UnpackMemberRecord(const char (&b)[kMemberRecordSize]) {
    auto u = [&](int at) { return static_cast<unsigned char>(b[at]); };
    auto get16 = [&](int at) { return static_cast<uint16_t>(u(at) | (u(at + 1) << 8)); };
    auto get32 = [&](int at) {
        return static_cast<uint32_t>(u(at) | (u(at + 1) << 8) | (u(at + 2) << 16) | (static_cast<uint32_t>(u(at + 3)) << 24));
    };
    MemberRecord m;
    m.name.assign(b, strnlen(b, 255));
    m.index = get16(255);
    m.dosDate = get16(257);
    m.dosTime = get16(259);
    m.originalSize = get32(261);
    m.ratio = static_cast<int16_t>(get16(265));
    m.compressedSize = get32(267);
    m.method = get16(271);
    m.crc = get32(273);
    m.attributes = get32(277);
    m.flags = get16(281);
    m.comment.assign(b + 283, strnlen(b + 283, 127));
    m.disk = get16(410);
    return m;
}

// SQLite's quick check of a data file copy (pages, free lists, records),
// opened with the first of the passwords it decrypts with. Empty when the
// copy is sound, else what the check found. An abort stops it (the check
// of a large file takes seconds, and Cancel must not wait for it); the
// caller looks at the abort before the finding.
std::string QuickCheckCopy(const std::string& path, const std::vector<std::string>& passwords) {
    std::string finding = "it cannot be read";
    for (const std::string& password : passwords) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            return finding;
        }
        if (!password.empty()) sqlite3_key(db, password.data(), static_cast<int>(password.size()));
        sqlite3_progress_handler(db, 1000, [](void*) { return g_abort.load() ? 1 : 0; }, nullptr);
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(3)", -1, &st, nullptr);
        std::string lines;
        if (rc == SQLITE_OK) {
            while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
                const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
                if (!lines.empty()) lines += "; ";
                lines += text ? text : "";
            }
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE && lines.empty()) lines = sqlite3_errmsg(db);
        sqlite3_close(db);
        if ((rc & 0xff) == SQLITE_NOTADB) {
            finding = lines;
            continue;  // not this password
        }
        return lines == "ok" ? std::string() : lines;
    }
    return finding;
}

// --- zip ---

ZipLibrary::ZipLibrary() = default;
ZipLibrary::~ZipLibrary() = default;

int ZipLibrary::LSZIP_INIT(LibraryHook hook) {
    zipHook_ = std::move(hook);
    return 1;
}

int32_t ZipLibrary::LSZIP_VER() const {
    // libzip's version as major*100 + minor*10 + micro, e.g. 173.
    int major = 0, minor = 0, micro = 0;
    std::sscanf(zip_libzip_version(), "%d.%d.%d", &major, &minor, &micro);
    return major * 100 + minor * 10 + micro;
}

int ZipLibrary::LSZIP_INCLUDE(const std::string& spec) {
    bool bad = SplitSpecification(spec).empty() ||
               std::any_of(spec.begin(), spec.end(), [](char c) { return c == '\n' || c == '\r' || c == '\0'; });
    zipSpec_ = bad ? std::string() : spec;
    return bad ? 0 : 1;
}

void ZipLibrary::LSZIP_PASSWORD(const std::string& password) { zipPassword_ = password; }
void ZipLibrary::LSZIP_SETFILECMT(const std::string& comment) { fileComment_ = comment; }
void ZipLibrary::LSZIP_SETARCHIVECMT(const std::string& comment) { archiveComment_ = comment; }

int ZipLibrary::LSZIP_SETDATE(const std::string& before, const std::string& after) {
    bool okBefore = false, okAfter = false;
    int32_t b = ParseMdy(before, okBefore), a = ParseMdy(after, okAfter);
    if (!okBefore || !okAfter) return 0;
    beforeDate_ = b;
    afterDate_ = a;
    return 1;
}

int ZipLibrary::LSZIP_SETTEMPATH(const std::string& folder) {
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(Slashes(folder), ec)) return 0;
    tempPath_ = Slashes(folder);
    return 1;
}

void ZipLibrary::LSZIP_REMOVEARCHIVE(const std::string& archive) {
    std::error_code ec;
    fs::remove(Slashes(archive), ec);
}

void ZipLibrary::Member(const std::string& name) {
    lastPercent_ = -1;
    auto& hook = inUnzip_ ? unzipHook_ : zipHook_;
    if (hook.member) hook.member(name);
}

void ZipLibrary::Percent(int percent) {
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    auto& hook = inUnzip_ ? unzipHook_ : zipHook_;
    if (hook.percent) hook.percent(percent);
}

namespace {

// One file to add, read through a libzip source of our own, so the library
// can report the member and its percent, stop on abort, and read data files
// through a consistent copy.
struct FileSource {
    ZipLibrary* lib = nullptr;
    std::function<void(const std::string&)> member;
    std::function<void(int)> percent;
    std::string path, name, copyFolder;
    std::vector<std::string> passwords;
    bool dataFile = false;
    bool prepared = false;
    std::string copy;  // the consistent copy of a data file, when made
    std::vector<std::string>* damaged = nullptr;  // where a failed check is told
    std::string* fullDisk = nullptr;              // where a full disk is told
    std::string* newArchive = nullptr;            // a new archive still to be made private
    int copyLock = -1;                            // the copy's file, locked while it lives
    FILE* f = nullptr;
    uint64_t size = 0, done = 0;
    time_t mtime = 0;
    zip_error_t error{};

    bool Prepare() {
        if (prepared) return true;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            zip_error_set(&error, ZIP_ER_OPEN, errno);
            return false;
        }
        mtime = st.st_mtime;
        size = static_cast<uint64_t>(st.st_size);
        if (dataFile) {
            char tmpl[4096];
            std::snprintf(tmpl, sizeof tmpl, "%s/.vxwcopy-XXXXXX", copyFolder.c_str());
            int fd = ::mkstemp(tmpl);
            if (fd >= 0) {
                // Locked while it lives: a later start tells a copy left by a
                // killed backup from one at work.
                ::flock(fd, LOCK_EX);
                copyLock = fd;
                copy = tmpl;
                DataCopy result = g_abort.load() ? DataCopy::Failed
                                                 : CopyDataFileConsistently(path, copy, passwords);
                if (g_abort.load()) {
                    DropCopy();
                    zip_error_set(&error, ZIP_ER_CANCELLED, 0);
                    return false;
                }
                // A copy cut short by a full disk fails, or fails its
                // check: the disk is the cause, not the data file.
                if (result != DataCopy::NotADatabase && DiskFull(copyFolder)) {
                    DropCopy();
                    if (fullDisk) *fullDisk = copyFolder;
                    zip_error_set(&error, ZIP_ER_WRITE, ENOSPC);
                    return false;
                }
                if (result == DataCopy::Copied) {
                    // A damaged data file must not go into the archive: the
                    // archive may hold the last good copy, and it would be
                    // replaced by one that cannot be restored.
                    std::string finding = QuickCheckCopy(copy, passwords);
                    if (g_abort.load()) {
                        DropCopy();
                        zip_error_set(&error, ZIP_ER_CANCELLED, 0);
                        return false;
                    }
                    if (!finding.empty()) {
                        DropCopy();
                        if (damaged) damaged->push_back(name + ": " + finding);
                        zip_error_set(&error, ZIP_ER_OPEN, EIO);
                        return false;
                    }
                    struct stat cs {};
                    if (::stat(copy.c_str(), &cs) == 0) size = static_cast<uint64_t>(cs.st_size);
                } else {
                    DropCopy();
                    if (result == DataCopy::Failed) {
                        zip_error_set(&error, ZIP_ER_OPEN, EBUSY);
                        return false;
                    }
                }
            } else {
                if (NoSpace(errno) && fullDisk) *fullDisk = copyFolder;
                zip_error_set(&error, ZIP_ER_TMPOPEN, errno);
                return false;
            }
        }
        prepared = true;
        return true;
    }
    // Removes the copy, then lets go of its lock.
    void DropCopy() {
        if (!copy.empty()) ::unlink(copy.c_str());
        copy.clear();
        if (copyLock >= 0) ::close(copyLock);
        copyLock = -1;
    }
    void Cleanup() {
        if (f) std::fclose(f);
        f = nullptr;
        DropCopy();
        prepared = false;
    }
};

zip_int64_t SourceCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* s = static_cast<FileSource*>(userdata);
    switch (cmd) {
        case ZIP_SOURCE_OPEN: {
            // The library opens the first member once its new archive is
            // made, and renames that only after the last.
            if (s->newArchive && !s->newArchive->empty()) {
                MakeNewArchivePrivate(*s->newArchive);
                s->newArchive->clear();
            }
            if (!s->Prepare()) return -1;
            s->f = std::fopen((s->copy.empty() ? s->path : s->copy).c_str(), "rb");
            if (!s->f) {
                zip_error_set(&s->error, ZIP_ER_OPEN, errno);
                return -1;
            }
            s->done = 0;
            if (s->member) s->member(s->name);
            if (s->percent) s->percent(0);
            return 0;
        }
        case ZIP_SOURCE_READ: {
            if (SetAbortableError(&s->error)) return -1;
            size_t n = std::fread(data, 1, static_cast<size_t>(len), s->f);
            if (n == 0 && std::ferror(s->f)) {
                zip_error_set(&s->error, ZIP_ER_READ, errno);
                return -1;
            }
            s->done += n;
            if (s->percent && s->size > 0) s->percent(static_cast<int>(std::min<uint64_t>(100, s->done * 100 / s->size)));
            return static_cast<zip_int64_t>(n);
        }
        case ZIP_SOURCE_CLOSE:
            if (s->percent) s->percent(100);
            s->Cleanup();
            return 0;
        case ZIP_SOURCE_STAT: {
            if (!s->Prepare()) return -1;
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->mtime = s->mtime;
            st->valid |= ZIP_STAT_MTIME;
            return sizeof(*st);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&s->error, data, len);
        case ZIP_SOURCE_FREE:
            s->Cleanup();
            zip_error_fini(&s->error);
            delete s;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&s->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

int CancelCallback(zip_t*, void*) { return g_abort.load() ? 1 : 0; }

// The name a file is stored under: its path as given (without a leading
// "/", "./" or "../" parts) with full paths, else its bare name.
std::string StoredName(const std::string& path, bool fullPath) {
    fs::path p = fs::path(path).lexically_normal();
    if (!fullPath) return p.filename().string();
    std::string out;
    for (const auto& part : p.relative_path()) {
        std::string s = part.string();
        if (s == ".." || s == "." || s.empty()) continue;
        if (!out.empty()) out += '/';
        out += s;
    }
    return out.empty() ? p.filename().string() : out;
}

struct FileToAdd {
    std::string path;
    std::string name;
};

}  // namespace

int ZipLibrary::LSZIP_EXECUTE(const std::string& archive, int action, int level, int flags) {
    inUnzip_ = false;
    g_abort.store(false);
    int rc = ZipExecute(Slashes(archive), action, level, flags);
    g_abort.store(false);
    beforeDate_ = afterDate_ = 0;
    return rc;
}

// Moves a finished archive from the temporary folder over the archive: a
// rename, or across file systems a copy beside the archive renamed over it,
// so the old archive stays whole until the new one is complete.
int ZipLibrary::PlaceArchive(const std::string& work, const std::string& archive) {
    if (::rename(work.c_str(), archive.c_str()) == 0) return 0;
    if (errno != EXDEV) return -189;
    std::error_code ec;
    const fs::path target = fs::absolute(archive, ec);
    std::string beside = (target.parent_path() / ("." + target.filename().string() + ".vxwXXXXXX")).string();
    const int fd = ::mkstemp(beside.data());
    if (fd < 0) {
        NoteReadOnly(errno, beside);
        return -189;
    }
    ::close(fd);
    fs::copy_file(work, beside, fs::copy_options::overwrite_existing, ec);
    if (ec || ::rename(beside.c_str(), archive.c_str()) != 0) {
        const bool full = ec && NoSpace(ec.value());
        fs::remove(beside, ec);
        if (full) {
            fullDisk_ = target.parent_path().string();
            return -50;
        }
        return -189;
    }
    fs::remove(work, ec);
    return 0;
}

void ZipLibrary::NoteReadOnly(int error, const std::string& path) {
    if (readOnly_.empty() && ReadOnlyError(error)) readOnly_ = ReadOnlyCause(path);
}

int ZipLibrary::ZipExecute(const std::string& archive, int action, int level, int flags) {
    zipped_.clear();
    damaged_.clear();
    fullDisk_.clear();
    readOnly_.clear();
    if (archive.empty()) return -151;
    std::error_code ec;
    bool exists = fs::exists(archive, ec);
    // An empty file at the archive's name, left by a run killed before it
    // wrote anything (earlier versions made one first), is no archive: the
    // library refuses it, and every later backup with it. It is written
    // over as a new archive.
    const bool emptyLeftOver = exists && action != kZipDelete && EmptyAndUnheld(archive);
    if (emptyLeftOver) exists = false;
    if (!exists && action == kZipDelete) return -151;
    if (exists && fs::is_directory(archive, ec)) return -151;

    // What to add: every part of the specification, wildcards expanded in
    // their folder (ordinary files only; hidden ones only when asked).
    std::vector<FileToAdd> files;
    if (action == kZipAdd || action == kZipUpdate || action == kZipFreshen) {
        std::set<std::string> seenNames;
        const std::set<std::string> noted = data::NotedTemporaries(".");
        fs::path archiveAbs = fs::absolute(archive, ec);
        for (const std::string& raw : SplitSpecification(zipSpec_)) {
            std::string part = Slashes(raw);
            std::vector<std::string> paths;
            if (HasWildcard(part)) {
                fs::path pp(part);
                fs::path folder = pp.has_parent_path() ? pp.parent_path() : fs::path(".");
                std::string pattern = pp.filename().string();
                if (pattern == "*.*") pattern = "*";
                std::vector<std::string> found;
                for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
                    std::string fname = it->path().filename().string();
                    if (!it->is_regular_file(ec)) continue;
                    if (fname[0] == '.' && !(flags & kZipSystemHidden)) continue;
                    if (fnmatch(pattern.c_str(), fname.c_str(), FNM_CASEFOLD) != 0) continue;
                    // A report's work file and the like: temporary, not data.
                    if (noted.count(fs::absolute(folder / fname, ec).lexically_normal().string())) continue;
                    found.push_back(pp.has_parent_path() ? (folder / fname).string() : fname);
                }
                ec.clear();
                std::sort(found.begin(), found.end());
                paths = found;
            } else if (fs::is_regular_file(part, ec)) {
                paths.push_back(part);
            }
            for (const std::string& p : paths) {
                if (fs::equivalent(p, archiveAbs, ec)) continue;  // never the archive itself
                ec.clear();
                if (beforeDate_ != 0) {
                    struct stat st {};
                    if (::stat(p.c_str(), &st) != 0 || LocalDate(st.st_mtime) >= beforeDate_) continue;
                }
                std::string name = StoredName(p, flags & kZipFullPath);
                if (!seenNames.insert(Lower(name)).second) continue;
                files.push_back({p, name});
            }
        }
        if (files.empty()) return -168;
    }

    // With a temporary folder the archive is built there (an existing one
    // copied in first, the original left alone) and moved into place only
    // once it is complete.
    const bool inTemp = (flags & kZipTempPath) && !tempPath_.empty();

    // Copies a killed backup left where this one makes its own: beside the
    // archive (the consistent copies, the library's new archive, a copy on
    // its way across file systems) and in the temporary folder. Only copies
    // of our naming that no running program holds go.
    {
        const fs::path abs = fs::absolute(archive, ec);
        data::RemoveStrayWorkCopies(abs.parent_path().string(), abs.filename().string());
        if (inTemp) data::RemoveStrayWorkCopies(tempPath_);
        ec.clear();
    }
    std::string work = archive;
    if (inTemp) {
        work = (fs::path(tempPath_) / ("." + fs::path(archive).filename().string() + ".vxwXXXXXX")).string();
        const int fd = ::mkstemp(work.data());
        if (fd < 0) {
            NoteReadOnly(errno, work);
            return -175;
        }
        ::close(fd);
        // A new archive starts from the empty work file, opened as a new
        // archive: its owner-only mode goes with it.
        if (exists) fs::copy_file(archive, work, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            fs::remove(work, ec);
            return -175;
        }
    }
    struct WorkCopy {  // a work copy not moved into place goes
        const std::string& path;
        bool keep;
        ~WorkCopy() {
            std::error_code e;
            if (!keep) fs::remove(path, e);
        }
    } workCopy{work, !inTemp};

    // A new archive holds the data files: the owner's alone. Nothing is put
    // at its name before the library renames its finished file there (a
    // placeholder outlives a killed run); the library's file is made
    // private while it is written. Built in the temporary folder, the
    // empty mkstemp work file passes its mode on.
    std::string newArchive;
    if (!inTemp && !exists) {
        const fs::path abs = fs::absolute(archive, ec);
        const fs::path folder = fs::weakly_canonical(abs.parent_path(), ec);
        newArchive = (ec ? abs : folder / abs.filename()).string();
        ec.clear();
    }

    int ze = 0;
    // A new archive over the empty work file or the empty left-over.
    const bool startsEmpty = (inTemp && !exists) || emptyLeftOver;
    zip_t* za = zip_open(work.c_str(), action == kZipDelete ? 0 : ZIP_CREATE | (startsEmpty ? ZIP_TRUNCATE : 0), &ze);
    if (!za) {
        // libzip gives no errno here: a new archive that could not be made
        // in a folder that cannot be written is put down to that folder.
        if (ze == ZIP_ER_OPEN || ze == ZIP_ER_TMPOPEN) NoteReadOnly(EROFS, work);
        return MapOpenError(ze);
    }
    zip_register_cancel_callback_with_state(za, CancelCallback, nullptr, nullptr);

    std::string copyFolder = inTemp ? tempPath_ : fs::absolute(archive, ec).parent_path().string();
    int result = 0;
    int touched = 0;
    if (action == kZipDelete) {
        zip_int64_t n = zip_get_num_entries(za, 0);
        std::vector<std::string> patterns = SplitSpecification(zipSpec_);
        for (zip_int64_t i = 0; i < n; ++i) {
            const char* name = zip_get_name(za, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
            if (!name) continue;
            for (const std::string& p : patterns)
                if (MatchMember(p, name)) {
                    Member(name);
                    zip_delete(za, static_cast<zip_uint64_t>(i));
                    ++touched;
                    break;
                }
        }
        if (touched == 0) result = -159;
    } else if (action != kZipComment) {
        for (const FileToAdd& file : files) {
            zip_int64_t existing = zip_name_locate(za, file.name.c_str(), ZIP_FL_ENC_RAW);
            struct stat st {};
            if (::stat(file.path.c_str(), &st) != 0) continue;
            if (existing >= 0 && (action == kZipUpdate || action == kZipFreshen)) {
                zip_stat_t zs;
                // Stored times have two-second steps: newer means more than that.
                if (zip_stat_index(za, static_cast<zip_uint64_t>(existing), 0, &zs) == 0 &&
                    (zs.valid & ZIP_STAT_MTIME) && st.st_mtime <= zs.mtime + 1)
                    continue;
            }
            if (existing < 0 && action == kZipFreshen) continue;
            auto* fsrc = new FileSource();
            fsrc->lib = this;
            fsrc->member = [this](const std::string& n) { Member(n); };
            fsrc->percent = [this](int p) { Percent(p); };
            fsrc->path = file.path;
            fsrc->name = file.name;
            fsrc->copyFolder = copyFolder;
            fsrc->passwords = dataPasswords_;
            fsrc->dataFile = EndsWithNoCase(file.path, ".TPS");
            fsrc->damaged = &damaged_;
            fsrc->fullDisk = &fullDisk_;
            fsrc->newArchive = &newArchive;
            zip_error_init(&fsrc->error);
            zip_error_t err;
            zip_error_init(&err);
            zip_source_t* src = zip_source_function_create(SourceCallback, fsrc, &err);
            if (!src) {
                zip_error_fini(&fsrc->error);
                delete fsrc;
                result = -4;
                break;
            }
            zip_int64_t idx = zip_file_add(za, file.name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_GUESS);
            if (idx < 0) {
                zip_source_free(src);
                result = -163;
                break;
            }
            auto uidx = static_cast<zip_uint64_t>(idx);
            if (level == 0)
                zip_set_file_compression(za, uidx, ZIP_CM_STORE, 0);
            else
                zip_set_file_compression(za, uidx, ZIP_CM_DEFLATE, static_cast<zip_uint32_t>(std::clamp(level, 1, 9)));
            if ((flags & kZipEncrypt) && !zipPassword_.empty())
                zip_file_set_encryption(za, uidx, ZIP_EM_TRAD_PKWARE, zipPassword_.c_str());
            if (flags & kZipFileComment)
                zip_file_set_comment(za, uidx, fileComment_.c_str(), static_cast<zip_uint16_t>(std::min<size_t>(fileComment_.size(), 127)), 0);
            uint32_t dosAttr = (st.st_mode & S_IWUSR) ? 0x20 : 0x21;
            zip_file_set_external_attributes(za, uidx, 0, ZIP_OPSYS_UNIX,
                                             (static_cast<uint32_t>(st.st_mode & 0xffff) << 16) | dosAttr);
            zipped_.push_back(file.name);
            ++touched;
        }
        if (result == 0 && touched == 0 && !(flags & kZipArchiveComment)) result = -168;
    }
    if (result == 0 && (flags & kZipArchiveComment))
        zip_set_archive_comment(za, archiveComment_.c_str(), static_cast<zip_uint16_t>(std::min<size_t>(archiveComment_.size(), 1023)));

    if (result != 0) {
        zip_discard(za);
        zipped_.clear();
        return damaged_.empty() ? result : -9;
    }
    if (zip_close(za) != 0) {
        const int code = zip_error_code_zip(zip_get_error(za));
        const int system = zip_error_code_system(zip_get_error(za));
        zip_discard(za);
        zipped_.clear();
        if (g_abort.load() || code == ZIP_ER_CANCELLED) return -30;
        if (fullDisk_.empty() && NoSpace(system)) fullDisk_ = copyFolder;
        if (!fullDisk_.empty()) return -50;
        NoteReadOnly(system, work);
        if (!damaged_.empty()) return -9;
        switch (code) {
            case ZIP_ER_TMPOPEN: return -175;
            case ZIP_ER_RENAME: return -189;
            case ZIP_ER_WRITE: return -50;
            case ZIP_ER_MEMORY: return -165;
            case ZIP_ER_OPEN:
            case ZIP_ER_READ: return -9;
            default: return -182;
        }
    }
    if (inTemp) {
        if (const int moved = PlaceArchive(work, archive); moved != 0) {
            zipped_.clear();
            return moved;
        }
        workCopy.keep = true;
    }
    // Made private while written, when a member was opened; else here.
    if (!newArchive.empty()) ::chmod(archive.c_str(), kPrivateFileMode);
    if (flags & kZipMove)
        for (const FileToAdd& file : files)
            if (std::find(zipped_.begin(), zipped_.end(), file.name) != zipped_.end()) fs::remove(file.path, ec);
    if ((flags & kZipLatestDate) && fs::exists(archive, ec)) {
        time_t newest = 0;
        zip_t* rz = zip_open(archive.c_str(), ZIP_RDONLY, &ze);
        if (rz) {
            zip_int64_t n = zip_get_num_entries(rz, 0);
            for (zip_int64_t i = 0; i < n; ++i) {
                zip_stat_t zs;
                if (zip_stat_index(rz, static_cast<zip_uint64_t>(i), 0, &zs) == 0 && (zs.valid & ZIP_STAT_MTIME))
                    newest = std::max(newest, zs.mtime);
            }
            zip_discard(rz);
        }
        if (newest) {
            struct timespec times[2] = {{newest, 0}, {newest, 0}};
            ::utimensat(AT_FDCWD, archive.c_str(), times, 0);
        }
    }
    return 0;
}

// --- unzip ---

int ZipLibrary::LSUZ_INIT(LibraryHook hook) {
    unzipHook_ = std::move(hook);
    return 1;
}

int32_t ZipLibrary::LSUZ_VER() const { return LSZIP_VER(); }

int ZipLibrary::LSUZ_ZIPNAME(const std::string& archive) {
    unzipArchive_ = Slashes(archive);
    int ze = 0;
    zip_t* za = zip_open(unzipArchive_.c_str(), ZIP_RDONLY, &ze);
    if (!za) return 0;
    zip_discard(za);
    return 1;
}

int ZipLibrary::LSUZ_INCLUDE(const std::string& spec) {
    bool bad = SplitSpecification(spec).empty() ||
               std::any_of(spec.begin(), spec.end(), [](char c) { return c == '\n' || c == '\r' || c == '\0'; });
    unzipSpec_ = bad ? std::string() : spec;
    return bad ? 0 : 1;
}

void ZipLibrary::LSUZ_EXTRACTTO(const std::string& folder) { extractTo_ = Slashes(folder); }
void ZipLibrary::LSUZ_PASSWORD(const std::string& password) { unzipPassword_ = password; }

void ZipLibrary::LSUZ_GETCMT(std::string& comment) { comment = unzipComment_.substr(0, 1023); }

int ZipLibrary::LSUZ_GETNEXT(char (&buffer)[kMemberRecordSize]) {
    if (next_ >= directory_.size()) return 1;
    PackMemberRecord(directory_[next_++], buffer);
    return 0;
}

void ZipLibrary::LSUZ_RESET() {
    unzipSpec_.clear();
    unzipPassword_.clear();
    directory_.clear();
    next_ = 0;
}

int ZipLibrary::LSUZ_EXECUTE(int action, int flags) {
    inUnzip_ = true;
    g_abort.store(false);
    readOnly_.clear();
    int rc = UnzipRun(action, flags);
    g_abort.store(false);
    inUnzip_ = false;
    return rc;
}

namespace {

// Where a member goes when extracted, or empty when its name is unsafe: "\"
// is read as "/"; an absolute name, a drive letter or a ".." part would
// write outside the destination.
std::string SafeMemberPath(const std::string& stored, bool junkPaths) {
    std::string n = Slashes(stored);
    if (junkPaths) {
        auto slash = n.find_last_of('/');
        n = slash == std::string::npos ? n : n.substr(slash + 1);
        if (n.empty() || n == "." || n == "..") return {};
        return n;
    }
    if (n.empty() || n[0] == '/') return {};
    if (n.size() >= 2 && n[1] == ':' && std::isalpha(static_cast<unsigned char>(n[0]))) return {};
    std::string out;
    size_t i = 0;
    while (i <= n.size()) {
        size_t end = n.find('/', i);
        if (end == std::string::npos) end = n.size();
        std::string part = n.substr(i, end - i);
        if (part == "..") return {};
        if (!part.empty() && part != ".") {
            if (!out.empty()) out += '/';
            out += part;
        }
        i = end + 1;
    }
    return out;
}

}  // namespace

int ZipLibrary::UnzipRun(int action, int flags) {
    int ze = 0;
    zip_t* za = zip_open(unzipArchive_.c_str(), ZIP_RDONLY, &ze);
    if (!za) return unzipArchive_.empty() ? -9 : MapOpenError(ze);
    struct Closer {
        zip_t* z;
        ~Closer() { zip_discard(z); }
    } closer{za};

    if (action == kUnzipComment) {
        int len = 0;
        const char* c = zip_get_archive_comment(za, &len, ZIP_FL_ENC_RAW);
        unzipComment_ = (c && len > 0) ? std::string(c, static_cast<size_t>(len)) : std::string();
        return unzipComment_.empty() ? 0 : 1;
    }
    zip_int64_t n = zip_get_num_entries(za, 0);
    if (action == kUnzipCount) {
        std::vector<CentralInfo> info = ReadCentralDirectory(unzipArchive_);
        directory_.clear();
        next_ = 0;
        for (zip_int64_t i = 0; i < n; ++i) {
            auto ui = static_cast<zip_uint64_t>(i);
            zip_stat_t zs;
            if (zip_stat_index(za, ui, ZIP_FL_ENC_RAW, &zs) != 0) continue;
            MemberRecord m;
            m.name = zs.name ? zs.name : "";
            m.index = static_cast<uint16_t>(i + 1);
            if (zs.valid & ZIP_STAT_MTIME) ToDos(zs.mtime, m.dosDate, m.dosTime);
            m.originalSize = static_cast<uint32_t>(zs.size);
            m.compressedSize = static_cast<uint32_t>(zs.comp_size);
            m.ratio = zs.size == 0 ? 0
                                   : static_cast<int16_t>(((static_cast<int64_t>(zs.size) - static_cast<int64_t>(zs.comp_size)) * 100 +
                                                           static_cast<int64_t>(zs.size) / 2) /
                                                          static_cast<int64_t>(zs.size));
            m.method = zs.comp_method;
            m.crc = zs.crc;
            zip_uint8_t opsys = 0;
            zip_uint32_t attr = 0;
            if (zip_file_get_external_attributes(za, ui, 0, &opsys, &attr) == 0) {
                uint32_t dos = attr & 0xff;
                if (opsys == ZIP_OPSYS_UNIX) {
                    mode_t mode = static_cast<mode_t>(attr >> 16);
                    if (S_ISDIR(mode)) dos |= 0x10;
                    if (mode && !(mode & S_IWUSR)) dos |= 0x01;
                }
                m.attributes = dos;
            }
            if (static_cast<size_t>(i) < info.size()) {
                m.flags = info[static_cast<size_t>(i)].flags;
                m.disk = info[static_cast<size_t>(i)].disk;
            } else {
                m.flags = zs.encryption_method != ZIP_EM_NONE ? 1 : 0;
            }
            zip_uint32_t clen = 0;
            const char* c = zip_file_get_comment(za, ui, &clen, ZIP_FL_ENC_RAW);
            if (c) m.comment.assign(c, std::min<size_t>(clen, 126));
            directory_.push_back(m);
        }
        return static_cast<int>(n);
    }
    if (action != kUnzipExtract && action != kUnzipTest) return -11;

    zip_set_default_password(za, unzipPassword_.empty() ? nullptr : unzipPassword_.c_str());
    std::vector<std::string> patterns = SplitSpecification(unzipSpec_);
    if (patterns.empty()) patterns.push_back("*");
    refused_.clear();
    bool junk = flags & kUnzipJunkPaths;
    bool overwrite = flags & kUnzipOverwrite;
    fs::path dest = extractTo_.empty() ? fs::path(".") : fs::path(extractTo_);
    std::error_code ec;
    if (action == kUnzipExtract) {
        fs::create_directories(dest, ec);
        if (!fs::is_directory(dest, ec)) {
            if (ec) NoteReadOnly(ec.value(), dest.string());
            return -9;
        }
    }

    int done = 0, matched = 0, firstError = 0;
    std::vector<char> buf(kChunk);
    for (zip_int64_t i = 0; i < n; ++i) {
        auto ui = static_cast<zip_uint64_t>(i);
        const char* rawName = zip_get_name(za, ui, ZIP_FL_ENC_RAW);
        if (!rawName) continue;
        std::string name = rawName;
        if (!std::any_of(patterns.begin(), patterns.end(), [&](const std::string& p) { return MatchMember(p, name); }))
            continue;
        ++matched;
        zip_stat_t zs;
        if (zip_stat_index(za, ui, 0, &zs) != 0) continue;
        bool isDir = !name.empty() && (name.back() == '/' || name.back() == '\\');
        zip_uint8_t opsys = 0;
        zip_uint32_t attr = 0;
        zip_file_get_external_attributes(za, ui, 0, &opsys, &attr);
        mode_t mode = opsys == ZIP_OPSYS_UNIX ? static_cast<mode_t>(attr >> 16) : 0;

        fs::path target;
        if (action == kUnzipExtract) {
            std::string rel = SafeMemberPath(name, junk);
            if (rel.empty() || (opsys == ZIP_OPSYS_UNIX && S_ISLNK(mode))) {
                if (!(isDir && junk)) refused_.push_back(name);
                continue;
            }
            target = dest / rel;
            if (isDir) {
                if (!junk) fs::create_directories(target, ec);
                continue;
            }
            if (fs::exists(fs::symlink_status(target, ec)) && !overwrite) continue;
        } else if (isDir) {
            continue;
        }

        Member(name);
        Percent(0);
        zip_file_t* zf = zip_fopen_index(za, ui, 0);
        if (!zf) {
            int code = MapReadError(zip_error_code_zip(zip_get_error(za)));
            if (!firstError) firstError = code;
            continue;
        }
        int out = -1;
        std::string temp;
        if (action == kUnzipExtract) {
            fs::create_directories(target.parent_path(), ec);
            temp = (target.parent_path() / ("." + target.filename().string() + ".vxwXXXXXX")).string();
            out = ::mkstemp(temp.data());
            if (out >= 0) ::flock(out, LOCK_EX);
            if (out < 0) {
                NoteReadOnly(errno, temp);
                zip_fclose(zf);
                if (!firstError) firstError = -9;
                continue;
            }
        }
        uint64_t got = 0;
        int error = 0;
        for (;;) {
            if (g_abort.load()) {
                error = -30;
                break;
            }
            zip_int64_t r = zip_fread(zf, buf.data(), buf.size());
            if (r < 0) {
                error = MapReadError(zip_error_code_zip(zip_file_get_error(zf)));
                break;
            }
            if (r == 0) break;
            if (out >= 0) {
                const char* p = buf.data();
                zip_int64_t left = r;
                while (left > 0) {
                    ssize_t w = ::write(out, p, static_cast<size_t>(left));
                    if (w <= 0) {
                        error = -50;
                        break;
                    }
                    p += w;
                    left -= w;
                }
                if (error) break;
            }
            got += static_cast<uint64_t>(r);
            if (zs.size > 0) Percent(static_cast<int>(std::min<uint64_t>(100, got * 100 / zs.size)));
        }
        zip_fclose(zf);
        if (out >= 0) {
            if (!error) {
                ::fchmod(out, mode ? (mode & 07777 & ~static_cast<mode_t>(S_ISUID | S_ISGID)) : kPrivateFileMode);
                if (zs.valid & ZIP_STAT_MTIME) {
                    struct timespec times[2] = {{zs.mtime, 0}, {zs.mtime, 0}};
                    ::futimens(out, times);
                }
            }
            ::close(out);
            if (!error && ::rename(temp.c_str(), target.c_str()) != 0) {
                NoteReadOnly(errno, target.string());
                error = -9;
            }
            if (error) ::unlink(temp.c_str());
        }
        if (error == -30) return -30;
        if (error) {
            if (!firstError) firstError = error;
            continue;
        }
        Percent(100);
        ++done;
    }
    if (firstError) return firstError;
    if (!refused_.empty()) return -51;
    if (matched == 0 && n > 0) return -1;
    return done;
}

}  // namespace kr::backup
