#include "repair/PageSalvage.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace kr::repair {

namespace {

constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kIvSize = 16;
constexpr std::size_t kHmacSize = 20;
constexpr unsigned char kHmacSaltMask = 0x3a;
constexpr int kHmacKdfIterations = 2;
constexpr unsigned char kTableInterior = 0x05, kTableLeaf = 0x0D, kIndexInterior = 0x02, kIndexLeaf = 0x0A;
// SQLite's storage classes (sqlite3.h is not needed for five numbers).
constexpr int kInteger = 1, kFloat = 2, kText = 3, kBlob = 4, kNull = 5;

uint32_t Be32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint16_t Be16(const unsigned char* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

// A varint of at most 9 bytes within [p, end); 0 bytes used when it runs off.
uint64_t Varint(const unsigned char* p, const unsigned char* end, int& used) {
    uint64_t v = 0;
    for (used = 1; used <= 9; ++used, ++p) {
        if (p >= end) {
            used = 0;
            return 0;
        }
        if (used == 9) return (v << 8) | *p;
        v = (v << 7) | (*p & 0x7f);
        if (!(*p & 0x80)) return v;
    }
    return v;
}

// The file's pages, decrypted; a page that failed its check is empty.
class PageFile {
public:
    bool Load(const std::string& path, const std::string& password, const PageFormat& f, PageScan& scan) {
        format_ = f;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return false;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || f.pageSize <= 0) {
            ::close(fd);
            return false;
        }
        const std::size_t size = static_cast<std::size_t>(f.pageSize);
        const int64_t count = st.st_size / f.pageSize;
        scan.pages = count;
        pages_.resize(static_cast<std::size_t>(count));
        std::vector<unsigned char> raw(size);
        bool keyed = !f.encrypted;
        for (int64_t p = 1; p <= count; ++p) {
            if (::pread(fd, raw.data(), size, (p - 1) * f.pageSize) != static_cast<ssize_t>(size)) break;
            if (p == 1 && f.encrypted) keyed = DeriveKeys(password, raw.data());
            if (!keyed) break;
            if (f.encrypted ? Decrypt(raw, p) : true) {
                pages_[static_cast<std::size_t>(p - 1)] = f.encrypted ? decrypted_ : raw;
                ++scan.readablePages;
            }
        }
        ::close(fd);
        scan.keyed = keyed;
        return keyed;
    }

    int64_t count() const { return static_cast<int64_t>(pages_.size()); }
    const unsigned char* Page(int64_t p) const {
        if (p < 1 || p > count()) return nullptr;
        const auto& page = pages_[static_cast<std::size_t>(p - 1)];
        return page.empty() ? nullptr : page.data();
    }
    // Bytes of a page the b-tree uses (the rest is the reserve).
    int usable() const { return format_.pageSize - format_.reserve; }

private:
    bool DeriveKeys(const std::string& password, const unsigned char* salt) {
        unsigned char hmacSalt[kSaltSize];
        if (!PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), salt, kSaltSize,
                                    format_.kdfIterations, sizeof key_, key_))
            return false;
        for (std::size_t i = 0; i < kSaltSize; ++i) hmacSalt[i] = salt[i] ^ kHmacSaltMask;
        return PKCS5_PBKDF2_HMAC_SHA1(reinterpret_cast<const char*>(key_), sizeof key_, hmacSalt, kSaltSize,
                                      kHmacKdfIterations, sizeof hmacKey_, hmacKey_) == 1;
    }

    // The page decrypted into decrypted_ when its HMAC (over the encrypted
    // bytes, the IV and the page number, little-endian) matches.
    bool Decrypt(const std::vector<unsigned char>& raw, int64_t p) {
        const std::size_t size = raw.size(), reserve = static_cast<std::size_t>(format_.reserve);
        if (reserve < kIvSize + kHmacSize || size <= reserve + kSaltSize) return false;
        const std::size_t from = p == 1 ? kSaltSize : 0, end = size - reserve;
        std::vector<unsigned char> input(raw.begin() + static_cast<long>(from),
                                         raw.begin() + static_cast<long>(end + kIvSize));
        for (int i = 0; i < 4; ++i) input.push_back(static_cast<unsigned char>(static_cast<uint32_t>(p) >> (8 * i)));
        unsigned char mac[EVP_MAX_MD_SIZE];
        std::size_t macSize = 0;
        if (!EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA1", nullptr, hmacKey_, sizeof hmacKey_, input.data(),
                       input.size(), mac, sizeof mac, &macSize) ||
            macSize < kHmacSize || std::memcmp(mac, raw.data() + end + kIvSize, kHmacSize) != 0)
            return false;
        decrypted_ = raw;
        std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
        int n = 0, tail = 0;
        if (!ctx || !EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key_, raw.data() + end) ||
            !EVP_CIPHER_CTX_set_padding(ctx.get(), 0) ||
            !EVP_DecryptUpdate(ctx.get(), decrypted_.data() + from, &n, raw.data() + from,
                               static_cast<int>(end - from)) ||
            !EVP_DecryptFinal_ex(ctx.get(), decrypted_.data() + from + n, &tail))
            return false;
        if (p == 1) std::memcpy(decrypted_.data(), "SQLite format 3", 16);
        return true;
    }

    PageFormat format_;
    unsigned char key_[32] = {};
    unsigned char hmacKey_[32] = {};
    std::vector<unsigned char> decrypted_;
    std::vector<std::vector<unsigned char>> pages_;
};

// A b-tree page: its type, cells and children, or nothing when the bytes
// are not one.
struct BTreePage {
    unsigned char type = 0;
    std::vector<int> cells;         // offsets of the cells
    std::vector<int64_t> children;  // interior pages: left children, then the right-most
};

std::optional<BTreePage> ReadBTree(const PageFile& file, int64_t p) {
    const unsigned char* d = file.Page(p);
    if (!d) return std::nullopt;
    const int usable = file.usable();
    const int head = p == 1 ? 100 : 0;
    BTreePage b;
    b.type = d[head];
    const bool interior = b.type == kTableInterior || b.type == kIndexInterior;
    if (!interior && b.type != kTableLeaf && b.type != kIndexLeaf) return std::nullopt;
    const int headerSize = interior ? 12 : 8;
    const int cells = Be16(d + head + 3);
    if (head + headerSize + 2 * cells > usable) return std::nullopt;
    for (int c = 0; c < cells; ++c) {
        const int at = Be16(d + head + headerSize + 2 * c);
        if (at < head + headerSize + 2 * cells || at >= usable) return std::nullopt;
        b.cells.push_back(at);
        if (interior) {
            if (at + 4 > usable) return std::nullopt;
            b.children.push_back(Be32(d + at));
        }
    }
    if (interior) b.children.push_back(Be32(d + head + 8));
    for (int64_t c : b.children)
        if (c < 1 || c > file.count()) return std::nullopt;
    return b;
}

// The payload of a cell that starts at `at` with its size: the local part
// and the overflow chain, as SQLite splits them. False when the chain runs
// into a damaged page or out of the file.
bool Payload(const PageFile& file, const unsigned char* d, int at, uint64_t size, bool index, std::string& out) {
    const int64_t u = file.usable();
    const int64_t maxLocal = index ? (u - 12) * 64 / 255 - 23 : u - 35;
    const int64_t minLocal = (u - 12) * 32 / 255 - 23;
    int64_t local = static_cast<int64_t>(size);
    if (local > maxLocal) {
        const int64_t k = minLocal + (static_cast<int64_t>(size) - minLocal) % (u - 4);
        local = k <= maxLocal ? k : minLocal;
    }
    const bool overflows = local < static_cast<int64_t>(size);
    if (at + local + (overflows ? 4 : 0) > u) return false;
    out.assign(reinterpret_cast<const char*>(d + at), static_cast<std::size_t>(local));
    if (!overflows) return true;
    int64_t next = Be32(d + at + local);
    for (int64_t hops = 0; out.size() < size; ++hops) {
        const unsigned char* o = file.Page(next);
        if (!o || hops > file.count()) return false;
        const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(u - 4), size - out.size());
        out.append(reinterpret_cast<const char*>(o + 4), take);
        next = Be32(o);
    }
    return true;
}

// A record's fields; false when its header or body does not hold together.
bool DecodeRecord(const std::string& payload, std::vector<PageValue>& out) {
    out.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(payload.data());
    const unsigned char* end = p + payload.size();
    int used = 0;
    const uint64_t headerSize = Varint(p, end, used);
    if (!used || headerSize > payload.size() || headerSize < static_cast<uint64_t>(used)) return false;
    const unsigned char* h = p + used;
    const unsigned char* body = p + headerSize;
    while (h < p + headerSize) {
        const uint64_t t = Varint(h, p + headerSize, used);
        if (!used) return false;
        h += used;
        PageValue v;
        static const int widths[] = {0, 1, 2, 3, 4, 6, 8};
        if (t == 0) {
            v.type = kNull;
        } else if (t <= 6) {
            const int w = widths[t];
            if (body + w > end) return false;
            int64_t x = (body[0] & 0x80) ? -1 : 0;
            for (int i = 0; i < w; ++i) x = static_cast<int64_t>((static_cast<uint64_t>(x) << 8) | body[i]);
            v.type = kInteger;
            v.i = x;
            body += w;
        } else if (t == 7) {
            if (body + 8 > end) return false;
            uint64_t bits = 0;
            for (int i = 0; i < 8; ++i) bits = (bits << 8) | body[i];
            std::memcpy(&v.r, &bits, sizeof v.r);
            v.type = kFloat;
            body += 8;
        } else if (t == 8 || t == 9) {
            v.type = kInteger;
            v.i = t == 9 ? 1 : 0;
        } else if (t >= 12) {
            const uint64_t n = (t - 12) / 2;
            if (n > static_cast<uint64_t>(end - body)) return false;
            v.type = (t & 1) ? kText : kBlob;
            v.s.assign(reinterpret_cast<const char*>(body), static_cast<std::size_t>(n));
            body += n;
        } else {
            return false;
        }
        out.push_back(std::move(v));
    }
    return body == end;
}

bool Fits(const std::vector<PageValue>& values, const PageTableShape& t) {
    if (values.size() != t.columns.size()) return false;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const PageValue& v = values[i];
        const PageColumn& c = t.columns[i];
        if (v.type == kNull) {
            if (c.notNull) return false;
            continue;
        }
        // SQLite stores a whole REAL value as an integer.
        if (c.kind == 'i' && v.type != kInteger) return false;
        if (c.kind == 'r' && v.type != kInteger && v.type != kFloat) return false;
        if (c.kind == 't' && v.type != kText) return false;
    }
    return true;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A row of the schema (type, name, tbl_name, rootpage, sql), as SQLite
// keeps one for each table and index.
struct SchemaRow {
    std::string type, name, table, sql;
    int64_t root = 0;
};

std::optional<SchemaRow> AsSchemaRow(const std::vector<PageValue>& v) {
    if (v.size() != 5 || v[0].type != kText || v[1].type != kText || v[2].type != kText || v[3].type != kInteger)
        return std::nullopt;
    if (v[0].s != "table" && v[0].s != "index") return std::nullopt;
    if (v[4].type != kText && v[4].type != kNull) return std::nullopt;
    SchemaRow r{v[0].s, v[1].s, v[2].s, v[4].s, v[3].i};
    return r;
}

// The cells of a leaf page, each with its rowid (tables) and its record.
struct Cell {
    int64_t rowid = 0;
    std::vector<PageValue> values;
};

std::vector<Cell> Cells(const PageFile& file, int64_t p, const BTreePage& b) {
    std::vector<Cell> out;
    const unsigned char* d = file.Page(p);
    const unsigned char* end = d + file.usable();
    const bool table = b.type == kTableLeaf;
    for (int at : b.cells) {
        int pos = at;
        if (b.type == kIndexInterior) pos += 4;
        int used = 0;
        const uint64_t size = Varint(d + pos, end, used);
        if (!used) continue;
        pos += used;
        Cell c;
        if (table) {
            c.rowid = static_cast<int64_t>(Varint(d + pos, end, used));
            if (!used) continue;
            pos += used;
        }
        std::string payload;
        if (!Payload(file, d, pos, size, !table, payload) || !DecodeRecord(payload, c.values)) continue;
        out.push_back(std::move(c));
    }
    return out;
}

}  // namespace

PageScan ScanPages(const std::string& path, const std::string& password, const PageFormat& format,
                   const std::vector<PageTableShape>& tables) {
    PageScan scan;
    PageFile file;
    if (!file.Load(path, password, format, scan)) return scan;
    const int64_t count = file.count();
    for (int64_t p = 2; p <= count; ++p)
        if (!file.Page(p)) ++scan.damagedPages;

    std::map<std::string, const PageTableShape*> byName;
    for (const PageTableShape& t : tables) {
        byName[Lower(t.name)] = &t;
        scan.tables[t.name];
    }
    std::vector<std::optional<BTreePage>> pages(static_cast<std::size_t>(count + 1));
    for (int64_t p = 1; p <= count; ++p) pages[static_cast<std::size_t>(p)] = ReadBTree(file, p);

    // The schema's rows wherever a page of it survived.
    std::vector<SchemaRow> schema;
    for (int64_t p = 1; p <= count; ++p) {
        const auto& b = pages[static_cast<std::size_t>(p)];
        if (!b || b->type != kTableLeaf) continue;
        for (const Cell& c : Cells(file, p, *b))
            if (auto row = AsSchemaRow(c.values)) schema.push_back(*row);
    }

    // What each tree reached from a known root holds.
    std::vector<char> reached(static_cast<std::size_t>(count + 1), 0);
    std::vector<char> damagedCounted(static_cast<std::size_t>(count + 1), 0);
    std::set<int64_t> seenRoots;
    auto walk = [&](int64_t root, PageTableRows* rows, const PageTableShape* shape, bool& whole) {
        std::vector<int64_t> todo{root};
        whole = true;
        while (!todo.empty()) {
            const int64_t p = todo.back();
            todo.pop_back();
            if (p < 1 || p > count || reached[static_cast<std::size_t>(p)]) {
                whole = false;
                continue;
            }
            reached[static_cast<std::size_t>(p)] = 1;
            const auto& b = pages[static_cast<std::size_t>(p)];
            if (!b) {
                whole = false;
                if (!damagedCounted[static_cast<std::size_t>(p)] && rows && shape) ++rows->damagedPages;
                damagedCounted[static_cast<std::size_t>(p)] = 1;
                continue;
            }
            for (int64_t c : b->children) todo.push_back(c);
            if (!rows) continue;
            if (shape && b->type == kTableLeaf) {
                for (Cell& c : Cells(file, p, *b)) {
                    if (Fits(c.values, *shape)) rows->rows.push_back(PageRow{c.rowid, std::move(c.values), true});
                    else ++scan.unplacedRows;
                }
            } else if (!shape && (b->type == kIndexLeaf || b->type == kIndexInterior)) {
                for (const Cell& c : Cells(file, p, *b))
                    if (!c.values.empty() && c.values.back().type == kInteger) rows->listed.insert(c.values.back().i);
            }
        }
    };
    // Tables first, so each index's pages are not taken for a table's.
    for (int pass = 0; pass < 2; ++pass) {
        for (const SchemaRow& s : schema) {
            if ((pass == 0) != (s.type == "table")) continue;
            auto t = byName.find(Lower(s.table));
            if (t == byName.end() || !seenRoots.insert(s.root).second) continue;
            PageTableRows& rows = scan.tables[t->second->name];
            bool whole = false;
            walk(s.root, &rows, pass == 0 ? t->second : nullptr, whole);
            if (pass == 1 && whole && Lower(s.sql).find(" where ") == std::string::npos) rows.wholeIndex = true;
        }
    }

    // The leaves no known root reached: grouped under their highest readable
    // ancestor, each group going to the one table all its rows fit.
    std::vector<int64_t> parent(static_cast<std::size_t>(count + 1), 0);
    for (int64_t p = 1; p <= count; ++p)
        if (const auto& b = pages[static_cast<std::size_t>(p)]; b && !reached[static_cast<std::size_t>(p)])
            for (int64_t c : b->children)
                if (!parent[static_cast<std::size_t>(c)]) parent[static_cast<std::size_t>(c)] = p;
    auto top = [&](int64_t p) {
        for (int64_t hops = 0; parent[static_cast<std::size_t>(p)] && hops < count; ++hops)
            p = parent[static_cast<std::size_t>(p)];
        return p;
    };
    std::map<int64_t, std::vector<int64_t>> groups;
    for (int64_t p = 2; p <= count; ++p) {
        const auto& b = pages[static_cast<std::size_t>(p)];
        if (b && b->type == kTableLeaf && !reached[static_cast<std::size_t>(p)]) groups[top(p)].push_back(p);
    }
    for (const auto& [head, leaves] : groups) {
        if (head == 1) continue;  // the schema's own leaves
        std::vector<Cell> cells;
        for (int64_t p : leaves)
            for (Cell& c : Cells(file, p, *pages[static_cast<std::size_t>(p)])) cells.push_back(std::move(c));
        const PageTableShape* only = nullptr;
        int fitting = 0;
        for (const PageTableShape& t : tables) {
            bool all = !cells.empty();
            for (const Cell& c : cells) all = all && Fits(c.values, t);
            if (all) {
                only = &t;
                ++fitting;
            }
        }
        bool schemaRows = !cells.empty();
        for (const Cell& c : cells) schemaRows = schemaRows && AsSchemaRow(c.values).has_value();
        if (schemaRows) continue;
        if (fitting != 1) {
            scan.unplacedRows += static_cast<int64_t>(cells.size());
            continue;
        }
        PageTableRows& rows = scan.tables[only->name];
        for (Cell& c : cells) rows.rows.push_back(PageRow{c.rowid, std::move(c.values), false});
    }
    // Damaged pages no tree pointed to (the first page is the schema's).
    for (int64_t p = 2; p <= count; ++p)
        if (!file.Page(p) && !damagedCounted[static_cast<std::size_t>(p)]) ++scan.unplacedDamagedPages;
    return scan;
}

}  // namespace kr::repair
