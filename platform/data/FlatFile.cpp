// The line drivers: ASCII (each record one line of its fields side by side
// at fixed widths, CR LF), BASIC (comma-delimited, texts in double quotes)
// and DOS (records of raw bytes, no separators). No keys: records are read in
// file order and the position is the record's byte offset (plus one, so that
// 0 means "no record").
//
// Each ADD is one write() on a descriptor opened with O_APPEND, so several
// programs can append to one file (the event log) without mixing lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/data/Errors.h"
#include "platform/data/Names.h"
#include "platform/data/TableImpl.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/PrivateFiles.h"
#include "platform/runtime/Strings.h"

namespace kr::data {

namespace {

int AsciiWidth(const FieldDef& f) {
    switch (f.type) {
    case FieldType::Byte: return 3;
    case FieldType::Short: return 6;
    case FieldType::Long: return 11;
    case FieldType::Real: return 20;
    default: return f.size;
    }
}

int ErrnoCode(int err) {
    switch (err) {
    case ENOENT: return kFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kAccessDenied;
    case EMFILE:
    case ENFILE: return kTooManyOpenFiles;
    default: return kDriverError;
    }
}

int FailErrno(int err) {
    int code = ErrnoCode(err);
    return SetLastError(code, std::to_string(err), std::strerror(err));
}

class FlatImpl : public Table::Impl {
public:
    FlatImpl(Table& t, const TableDef& d) : Impl(t, d) {
        for (const FieldDef& f : d.fields)
            if (!f.isGroup()) fields_.push_back(&f);
        for (const FieldDef* f : fields_) recordBytes_ += f->size;
        if (recordBytes_ <= 0) recordBytes_ = 1;
    }
    ~FlatImpl() override { closeFds(); }

    std::string file() const {
        std::lock_guard<std::mutex> l(m);
        return SplitTableName(name, def.driver).file;
    }
    std::string filePath() const override { return ResolveFilePath(file()); }
    std::string diskName() const override {
        std::string p = filePath();
        char buf[PATH_MAX];
        if (!p.empty() && p[0] != '/' && ::getcwd(buf, sizeof buf)) p = std::string(buf) + "/" + p;
        return p;
    }

    bool lines() const { return def.driver != Driver::Dos; }

    // Encoding.

    std::string encode(const void* rec) const {
        std::string out;
        switch (def.driver) {
        case Driver::Ascii:
            for (const FieldDef* f : fields_) {
                int w = AsciiWidth(*f);
                std::string v = f->get(rec).toText();
                if (!f->isText()) {
                    if (static_cast<int>(v.size()) < w) v = std::string(static_cast<std::size_t>(w) - v.size(), ' ') + v;
                }
                if (static_cast<int>(v.size()) > w) v.resize(static_cast<std::size_t>(w));
                v.append(static_cast<std::size_t>(w) - v.size(), ' ');
                out += v;
            }
            break;
        case Driver::Basic:
            for (std::size_t i = 0; i < fields_.size(); ++i) {
                const FieldDef* f = fields_[i];
                if (i) out += ',';
                std::string v = f->get(rec).toText();
                if (f->isText()) {
                    out += '"';
                    for (char c : ClipRight(v)) {
                        if (c == '"') out += '"';
                        out += c;
                    }
                    out += '"';
                } else {
                    out += v;
                }
            }
            break;
        default:
            for (const FieldDef* f : fields_) {
                Value v = f->get(rec);
                auto putInt = [&](int64_t x, int bytes) {
                    for (int b = 0; b < bytes; ++b) out += static_cast<char>((x >> (8 * b)) & 0xff);
                };
                switch (f->type) {
                case FieldType::Byte: putInt(v.toInt(), 1); break;
                case FieldType::Short: putInt(v.toInt(), 2); break;
                case FieldType::Long: putInt(v.toInt(), 4); break;
                case FieldType::Real: {
                    double x = v.toReal();
                    char b[8];
                    std::memcpy(b, &x, 8);
                    out.append(b, 8);
                    break;
                }
                case FieldType::String: {
                    std::string s = v.toText();
                    s.resize(static_cast<std::size_t>(f->size), ' ');
                    out += s;
                    break;
                }
                default: {
                    std::string s = v.toText();
                    s.resize(static_cast<std::size_t>(f->size), '\0');
                    out += s;
                    break;
                }
                }
            }
            break;
        }
        return out;
    }

    static std::vector<std::string> SplitCsv(const std::string& line) {
        std::vector<std::string> out;
        std::string cur;
        bool quoted = false, inQuotes = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (inQuotes) {
                if (c == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        cur += '"';
                        ++i;
                    } else {
                        inQuotes = false;
                    }
                } else {
                    cur += c;
                }
            } else if (c == '"' && !quoted && Trim(cur).empty()) {
                cur.clear();
                quoted = inQuotes = true;
            } else if (c == ',') {
                out.push_back(quoted ? cur : Trim(cur));
                cur.clear();
                quoted = false;
            } else if (!quoted) {
                cur += c;
            }
        }
        out.push_back(quoted ? cur : Trim(cur));
        return out;
    }

    void decode(const std::string& data, void* rec) const {
        switch (def.driver) {
        case Driver::Ascii: {
            std::size_t pos = 0;
            for (const FieldDef* f : fields_) {
                std::size_t w = static_cast<std::size_t>(AsciiWidth(*f));
                std::string v = pos < data.size() ? data.substr(pos, w) : std::string();
                pos += w;
                f->set(rec, f->isText() ? Value(v) : Value(Trim(v)));
            }
            break;
        }
        case Driver::Basic: {
            std::vector<std::string> parts = SplitCsv(data);
            for (std::size_t i = 0; i < fields_.size(); ++i)
                fields_[i]->set(rec, Value(i < parts.size() ? parts[i] : std::string()));
            break;
        }
        default: {
            std::size_t pos = 0;
            auto byte = [&](std::size_t i) -> int64_t {
                return i < data.size() ? static_cast<unsigned char>(data[i]) : 0;
            };
            for (const FieldDef* f : fields_) {
                std::size_t n = static_cast<std::size_t>(f->size);
                switch (f->type) {
                case FieldType::Byte: f->set(rec, Value(byte(pos))); break;
                case FieldType::Short: f->set(rec, Value(static_cast<int64_t>(static_cast<int16_t>(byte(pos) | (byte(pos + 1) << 8))))); break;
                case FieldType::Long: {
                    uint32_t x = static_cast<uint32_t>(byte(pos) | (byte(pos + 1) << 8) | (byte(pos + 2) << 16) | (byte(pos + 3) << 24));
                    f->set(rec, Value(static_cast<int64_t>(static_cast<int32_t>(x))));
                    break;
                }
                case FieldType::Real: {
                    double x = 0;
                    if (pos + 8 <= data.size()) std::memcpy(&x, data.data() + pos, 8);
                    f->set(rec, Value(x));
                    break;
                }
                case FieldType::String: f->set(rec, Value(pos < data.size() ? data.substr(pos, n) : std::string())); break;
                default: {
                    std::string s = pos < data.size() ? data.substr(pos, n) : std::string();
                    std::size_t z = s.find('\0');
                    if (z != std::string::npos) s.resize(z);
                    f->set(rec, Value(s));
                    break;
                }
                }
                pos += n;
            }
            break;
        }
        }
    }

    // Files.

    void closeFds() {
        if (fd_ >= 0) ::close(fd_);
        if (appendFd_ >= 0) ::close(appendFd_);
        fd_ = appendFd_ = -1;
    }

    int open(int openMode) override {
        std::string path = filePath();
        bool write = (openMode & 0x0f) != kReadOnly;
        std::lock_guard<std::mutex> l(io_);
        int fd = ::open(path.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        if (fd < 0) return FailErrno(errno);
        int afd = -1;
        if (write) {
            afd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
            if (afd < 0) {
                int e = errno;
                ::close(fd);
                return FailErrno(e);
            }
        }
        closeFds();
        fd_ = fd;
        appendFd_ = afd;
        path_ = path;
        return 0;
    }

    void close() override {
        std::lock_guard<std::mutex> l(io_);
        closeFds();
    }

    int create() override {
        std::string path = filePath();
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kPrivateFileMode);
        if (fd < 0) return FailErrno(errno);
        ::close(fd);
        return 0;
    }

    int remove() override {
        std::string path = filePath();
        if (::unlink(path.c_str()) != 0) return FailErrno(errno);
        return 0;
    }

    int attach() override { return FileExists(file()) ? 0 : SetLastError(kFileNotFound); }

    int64_t size() const {
        struct stat st {};
        return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? st.st_size : 0;
    }

    // Reads the record starting at `offset`: its bytes without the line end
    // and the offset after it. False at the end of the file.
    bool readAt(int64_t offset, std::string& data, int64_t& end) {
        int64_t sz = size();
        if (offset < 0 || offset >= sz) return false;
        if (!lines()) {
            int64_t n = std::min<int64_t>(recordBytes_, sz - offset);
            data.resize(static_cast<std::size_t>(n));
            ssize_t got = ::pread(fd_, data.data(), static_cast<std::size_t>(n), offset);
            if (got <= 0) return false;
            data.resize(static_cast<std::size_t>(got));
            end = offset + got;
            return true;
        }
        data.clear();
        char buf[4096];
        int64_t pos = offset;
        while (pos < sz) {
            ssize_t got = ::pread(fd_, buf, sizeof buf, pos);
            if (got <= 0) break;
            const char* nl = static_cast<const char*>(std::memchr(buf, '\n', static_cast<std::size_t>(got)));
            if (nl) {
                data.append(buf, static_cast<std::size_t>(nl - buf));
                end = pos + (nl - buf) + 1;
                if (!data.empty() && data.back() == '\r') data.pop_back();
                return true;
            }
            data.append(buf, static_cast<std::size_t>(got));
            pos += got;
        }
        end = sz;
        if (!data.empty() && data.back() == '\r') data.pop_back();
        return true;
    }

    // The start of the record that ends at `end` (exclusive); -1 at the start.
    int64_t startBefore(int64_t end) {
        if (end <= 0) return -1;
        if (!lines()) return ((end - 1) / recordBytes_) * recordBytes_;
        int64_t pos = end;
        // Skip the line end of the record itself.
        char c;
        if (::pread(fd_, &c, 1, pos - 1) == 1 && c == '\n') --pos;
        char buf[4096];
        while (pos > 0) {
            int64_t from = std::max<int64_t>(0, pos - static_cast<int64_t>(sizeof buf));
            ssize_t got = ::pread(fd_, buf, static_cast<std::size_t>(pos - from), from);
            if (got <= 0) return 0;
            for (ssize_t i = got - 1; i >= 0; --i)
                if (buf[i] == '\n') return from + i + 1;
            pos = from;
        }
        return 0;
    }

    void take(ThreadState& s, int64_t offset, int64_t end, const std::string& data) {
        decode(data, s.buffer.get());
        s.seq = ThreadState::Seq::At;
        s.row = offset + 1;
        s.values = {Value(end)};
        s.current = offset + 1;
        s.currentIsSeq = false;
        s.currentValues.clear();
    }

    int next(ThreadState& s, bool forward) override {
        std::lock_guard<std::mutex> l(io_);
        int64_t offset;
        std::string data;
        int64_t end = 0;
        if (forward) {
            if (s.seq == ThreadState::Seq::Start) offset = 0;
            else if (s.seq == ThreadState::Seq::Boundary) offset = s.row - 1;
            else offset = s.values.empty() ? s.row - 1 : s.values.front().toInt();
        } else {
            int64_t before;
            if (s.seq == ThreadState::Seq::Start) before = size();
            else if (s.seq == ThreadState::Seq::Boundary) {
                int64_t at = s.row - 1, e;
                if (readAt(at, data, e)) {
                    take(s, at, e, data);
                    return 0;
                }
                before = size();
            } else before = s.row - 1;
            offset = startBefore(before);
            if (offset < 0) return SetLastError(kRecordNotAvailable);
        }
        if (!readAt(offset, data, end)) return SetLastError(kRecordNotAvailable);
        take(s, offset, end, data);
        return 0;
    }

    int get(ThreadState&, const KeyDef*) override { return SetLastError(kUnsupported); }

    int reget(ThreadState& s, const Position& p) override {
        std::lock_guard<std::mutex> l(io_);
        std::string data;
        int64_t end;
        if (!readAt(p.row - 1, data, end)) return SetLastError(kRecordNotFound);
        decode(data, s.buffer.get());
        s.current = p.row;
        return 0;
    }

    int add(ThreadState& s) override {
        std::string rec = encode(s.buffer.get());
        if (lines()) rec += "\r\n";
        std::lock_guard<std::mutex> l(io_);
        ssize_t n = ::write(appendFd_, rec.data(), rec.size());
        if (n < 0) return FailErrno(errno);
        if (static_cast<std::size_t>(n) != rec.size())
            return SetLastError(kDriverError, std::to_string(ENOSPC), "Disk full");
        off_t after = ::lseek(appendFd_, 0, SEEK_CUR);
        s.current = after - static_cast<off_t>(rec.size()) + 1;
        return 0;
    }

    int addAuto(ThreadState& s, const KeyDef*) override { return add(s); }

    int put(ThreadState& s) override {
        std::string rec = encode(s.buffer.get());
        std::lock_guard<std::mutex> l(io_);
        int64_t offset = s.current - 1;
        std::string old;
        int64_t end;
        if (!readAt(offset, old, end)) return SetLastError(kRecordNotAvailable);
        if (old.size() == rec.size()) {
            ssize_t n = ::pwrite(fd_, rec.data(), rec.size(), offset);
            if (n != static_cast<ssize_t>(rec.size())) return FailErrno(n < 0 ? errno : ENOSPC);
            return 0;
        }
        // A record of another length: the file is written anew beside the old
        // one and put in its place, so a failure leaves it as it was.
        int64_t sz = size();
        std::string all(static_cast<std::size_t>(sz), '\0');
        if (::pread(fd_, all.data(), all.size(), 0) != static_cast<ssize_t>(all.size())) return FailErrno(errno);
        all.replace(static_cast<std::size_t>(offset), old.size(), rec);
        // A name of its own, made afresh (O_EXCL: a name planted there,
        // a symbolic link among them, is never followed), with the file's
        // own permissions.
        std::string tmp = path_ + ".XXXXXX";
        int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
        if (fd < 0) return FailErrno(errno);
        struct stat st {};
        ssize_t n = -1;
        bool ok = ::fstat(fd_, &st) == 0 && ::fchmod(fd, st.st_mode & 07777) == 0;
        if (ok) {
            n = ::write(fd, all.data(), all.size());
            ok = n == static_cast<ssize_t>(all.size()) && ::fsync(fd) == 0;
        }
        int err = errno;
        ::close(fd);
        if (!ok || ::rename(tmp.c_str(), path_.c_str()) != 0) {
            ::unlink(tmp.c_str());
            return FailErrno(ok ? errno : (n >= 0 ? ENOSPC : err));
        }
        int write = appendFd_ >= 0;
        closeFds();
        fd_ = ::open(path_.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        if (write) appendFd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        return fd_ >= 0 ? 0 : FailErrno(errno);
    }

    int del(ThreadState&) override { return SetLastError(kUnsupported); }

    int64_t records(const KeyDef*) override {
        std::lock_guard<std::mutex> l(io_);
        int64_t sz = size();
        if (!lines()) return recordBytes_ ? (sz + recordBytes_ - 1) / recordBytes_ : 0;
        int64_t count = 0;
        char buf[65536];
        char last = '\n';
        for (int64_t pos = 0; pos < sz;) {
            ssize_t got = ::pread(fd_, buf, sizeof buf, pos);
            if (got <= 0) break;
            for (ssize_t i = 0; i < got; ++i)
                if (buf[i] == '\n') ++count;
            last = buf[got - 1];
            pos += got;
        }
        if (sz > 0 && last != '\n') ++count;
        return count;
    }

    int hold(ThreadState&, int) override { return 0; }
    int release(ThreadState&, int) override { return 0; }
    void releaseAll(int) override {}
    bool held(ThreadState&) override { return false; }
    int build(const ProgressFn& progress) override {
        if (progress) progress(100, nullptr);
        return 0;
    }
    int pack(const ProgressFn& progress) override { return build(progress); }
    int lock() override { return 0; }
    int unlock() override { return 0; }
    int storedVersion() override { return 0; }
    std::string storedLayout() override { return {}; }
    int convert(int, const std::vector<std::pair<std::string, std::string>>&, const void*) override { return 0; }
    int forEachMatch(const KeyDef*, const std::vector<const FieldDef*>&, const std::vector<Value>&,
                     const std::function<bool(int64_t, const void*)>&) override {
        return 0;
    }
    int deleteRow(int64_t) override { return SetLastError(kUnsupported); }
    int updateRowFields(int64_t, const std::vector<const FieldDef*>&, const std::vector<Value>&) override {
        return SetLastError(kUnsupported);
    }
    int readRow(int64_t row, void* record) override {
        std::lock_guard<std::mutex> l(io_);
        std::string data;
        int64_t end;
        if (fd_ < 0 || !readAt(row - 1, data, end)) return SetLastError(kRecordNotFound);
        decode(data, record);
        return 0;
    }
    void fillStatistics(TableStatistics& s) override {
        struct stat st {};
        if (::stat(filePath().c_str(), &st) == 0) s.fileBytes = st.st_size;
        if (fd_ >= 0) s.records = records(nullptr);
    }

private:
    std::vector<const FieldDef*> fields_;
    int64_t recordBytes_ = 0;
    std::mutex io_;
    int fd_ = -1;
    int appendFd_ = -1;
    std::string path_;
};

}  // namespace

std::unique_ptr<Table::Impl> MakeFlatImpl(Table& t, const TableDef& def) {
    return std::make_unique<FlatImpl>(t, def);
}

}  // namespace kr::data
