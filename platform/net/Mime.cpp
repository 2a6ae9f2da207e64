#include "platform/net/Mime.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <ctime>
#include <random>

namespace kr::net {

namespace {

constexpr const char* kCrLf = "\r\n";
// Raw bytes per base64 line (57 bytes make 76 characters) and per read.
constexpr std::size_t kBase64LineBytes = 57;
constexpr std::size_t kReadChunk = kBase64LineBytes * 64;

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// Length of the valid UTF-8 sequence starting at s[i], 0 when none.
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) n = 3;
    else if (c >= 0xF0 && c <= 0xF4) n = 4;
    else return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    unsigned char c1 = static_cast<unsigned char>(s[i + 1]);
    if (c == 0xE0 && c1 < 0xA0) return 0;  // overlong
    if (c == 0xED && c1 > 0x9F) return 0;  // surrogates
    if (c == 0xF0 && c1 < 0x90) return 0;  // overlong
    if (c == 0xF4 && c1 > 0x8F) return 0;  // above U+10FFFF
    return n;
}

std::string SanitizeHeader(std::string_view s) {
    std::string r(s);
    for (char& c : r) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) c = ' ';
    }
    return r;
}

std::string RandomHex(std::size_t digits) {
    static thread_local std::mt19937_64 gen{std::random_device{}() ^
                                           static_cast<std::uint64_t>(std::time(nullptr))};
    static const char* hex = "0123456789abcdef";
    std::string r;
    r.reserve(digits);
    while (r.size() < digits) {
        std::uint64_t v = gen();
        for (int i = 0; i < 16 && r.size() < digits; ++i, v >>= 4) r.push_back(hex[v & 15]);
    }
    return r;
}

std::string DomainOf(std::string_view address) {
    std::size_t at = address.rfind('@');
    if (at == std::string_view::npos || at + 1 >= address.size()) return {};
    return std::string(address.substr(at + 1));
}

// Text body with every line ending as CR LF, ending in CR LF.
std::string NormaliseLineEnds(std::string_view s) {
    std::string r;
    r.reserve(s.size() + s.size() / 32 + 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\r') {
            r += kCrLf;
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            r += kCrLf;
        } else {
            r.push_back(c);
        }
    }
    if (r.size() < 2 || r.compare(r.size() - 2, 2, kCrLf) != 0) r += kCrLf;
    return r;
}

bool FitsSevenBit(std::string_view crlfText) {
    std::size_t lineLength = 0;
    for (unsigned char c : crlfText) {
        if (c >= 0x80 || c == 0) return false;
        if (c == '\n') lineLength = 0;
        else if (++lineLength > 998) return false;
    }
    return true;
}

// A header "name: items" with the items joined by commas, folded so that
// lines stay near 78 characters.
std::string FoldedList(const std::string& name, const std::vector<std::string>& items) {
    std::string r = name + ": ";
    std::size_t lineLength = r.size();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string& item = items[i];
        if (i > 0) {
            if (lineLength + 2 + item.size() > 78) {
                r += ",\r\n ";
                lineLength = 1;
            } else {
                r += ", ";
                lineLength += 2;
            }
        }
        r += item;
        lineLength += item.size();
    }
    return r + kCrLf;
}

std::string QuoteParameter(const std::string& value) {
    std::string r = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') r.push_back('\\');
        r.push_back(c);
    }
    return r + "\"";
}

// Content-Type and Content-Disposition parameters for a file name: plain
// quoted for ASCII, RFC 2231 for the rest (with an encoded-word name= for
// older readers).
std::string AttachmentHeaders(const std::string& fileName, const std::string& type) {
    std::string name = ToValidUtf8(SanitizeHeader(fileName));
    if (IsAscii(name)) {
        return "Content-Type: " + type + "; name=" + QuoteParameter(name) + kCrLf +
               "Content-Transfer-Encoding: base64\r\n" +
               "Content-Disposition: attachment; filename=" + QuoteParameter(name) + kCrLf;
    }
    std::string pct;
    static const char* hex = "0123456789ABCDEF";
    for (unsigned char c : name) {
        if (std::isalnum(c) || std::strchr("!#$&+-.^_`|~", c)) {
            pct.push_back(static_cast<char>(c));
        } else {
            pct.push_back('%');
            pct.push_back(hex[c >> 4]);
            pct.push_back(hex[c & 15]);
        }
    }
    return "Content-Type: " + type + "; name=\"" + EncodeHeaderText(name, 40) + "\"\r\n" +
           "Content-Transfer-Encoding: base64\r\n" +
           "Content-Disposition: attachment; filename*=UTF-8''" + pct + kCrLf;
}

std::string LastPathPart(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::uint64_t Base64LinesSize(std::uint64_t bytes) {
    if (bytes == 0) return 0;
    std::uint64_t chars = 4 * ((bytes + 2) / 3);
    std::uint64_t lines = (chars + 75) / 76;
    return chars + 2 * lines;
}

void AppendBase64Lines(std::string& out, const unsigned char* data, std::size_t n) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t line = 0; line < n; line += kBase64LineBytes) {
        std::size_t end = line + kBase64LineBytes < n ? line + kBase64LineBytes : n;
        for (std::size_t i = line; i < end; i += 3) {
            std::uint32_t v = static_cast<std::uint32_t>(data[i]) << 16;
            if (i + 1 < end) v |= static_cast<std::uint32_t>(data[i + 1]) << 8;
            if (i + 2 < end) v |= data[i + 2];
            out.push_back(alphabet[(v >> 18) & 63]);
            out.push_back(alphabet[(v >> 12) & 63]);
            out.push_back(i + 1 < end ? alphabet[(v >> 6) & 63] : '=');
            out.push_back(i + 2 < end ? alphabet[v & 63] : '=');
        }
        out += kCrLf;
    }
}

}  // namespace

std::string ToValidUtf8(std::string_view s) {
    std::string r;
    r.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = Utf8SequenceLength(s, i);
        if (n > 0) {
            r.append(s.substr(i, n));
            i += n;
        } else {
            unsigned char c = static_cast<unsigned char>(s[i++]);
            r.push_back(static_cast<char>(0xC0 | (c >> 6)));
            r.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return r;
}

std::string Base64(std::string_view data) {
    std::string lines;
    AppendBase64Lines(lines, reinterpret_cast<const unsigned char*>(data.data()), data.size());
    std::string r;
    r.reserve(lines.size());
    for (char c : lines)
        if (c != '\r' && c != '\n') r.push_back(c);
    return r;
}

std::string EncodeHeaderText(std::string_view textIn, std::size_t used) {
    std::string text = ToValidUtf8(SanitizeHeader(textIn));
    if (IsAscii(text)) {
        // Fold long texts at blanks; a word longer than a line stays whole.
        std::string r;
        std::size_t lineLength = used;
        std::size_t i = 0;
        while (i < text.size()) {
            std::size_t sp = text.find(' ', i + 1);
            std::size_t end = sp == std::string::npos ? text.size() : sp;
            std::size_t len = end - i;
            if (i > 0 && text[i] == ' ' && lineLength + len > 78) {
                r += kCrLf;
                lineLength = 0;
            }
            r.append(text, i, len);
            lineLength += len;
            i = end;
        }
        return r;
    }
    // Encoded words of at most 75 characters, never splitting a character.
    std::string r;
    std::size_t room = used + 12 < 76 ? 76 - used - 12 : 16;
    std::size_t i = 0;
    bool first = true;
    while (i < text.size()) {
        std::size_t maxBytes = (room / 4) * 3;
        if (maxBytes < 4) maxBytes = 4;
        std::size_t end = i;
        while (end < text.size()) {
            std::size_t n = Utf8SequenceLength(text, end);
            if (n == 0) n = 1;
            if (end + n - i > maxBytes) break;
            end += n;
        }
        if (end == i) end = i + 1;
        if (!first) r += "\r\n ";
        r += "=?UTF-8?B?" + Base64(std::string_view(text).substr(i, end - i)) + "?=";
        first = false;
        i = end;
        room = 63;
    }
    return r;
}

std::string FormatAddress(const MailAddress& a) {
    std::string address = SanitizeHeader(a.address);
    std::string name = ToValidUtf8(SanitizeHeader(a.name));
    std::size_t b = name.find_first_not_of(' ');
    name = b == std::string::npos ? std::string() : name.substr(b, name.find_last_not_of(' ') - b + 1);
    if (name.empty()) return address;
    std::string shown = IsAscii(name) ? QuoteParameter(name) : EncodeHeaderText(name, 40);
    return address.empty() ? shown : shown + " <" + address + ">";
}

MailAddress ParseAddress(std::string_view textIn) {
    auto trim = [](std::string_view s) {
        std::size_t b = s.find_first_not_of(" \t");
        if (b == std::string_view::npos) return std::string();
        std::size_t e = s.find_last_not_of(" \t");
        return std::string(s.substr(b, e - b + 1));
    };
    std::string text = trim(textIn);
    MailAddress r;
    if (text.empty()) return r;
    std::size_t lt = text.rfind('<');
    if (text.back() == '>' && lt != std::string::npos) {
        r.address = trim(std::string_view(text).substr(lt + 1, text.size() - lt - 2));
        std::string name = trim(std::string_view(text).substr(0, lt));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
            std::string unq;
            for (std::size_t i = 1; i + 1 < name.size(); ++i) {
                if (name[i] == '\\' && i + 2 < name.size()) ++i;
                unq.push_back(name[i]);
            }
            name = unq;
        }
        r.name = name;
        return r;
    }
    if (text.find('@') != std::string::npos && text.find(' ') == std::string::npos) r.address = text;
    else r.name = text;
    return r;
}

bool IsUsableAddress(std::string_view address) {
    if (address.empty() || address.size() > 320) return false;
    for (unsigned char c : address)
        if (c <= 0x20 || c == 0x7F || c == '<' || c == '>') return false;
    return true;
}

std::string MailDate(std::int64_t unixSeconds) {
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    long offset = tm.tm_gmtoff / 60;
    char sign = offset < 0 ? '-' : '+';
    if (offset < 0) offset = -offset;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[tm.tm_wday % 7],
                  tm.tm_mday, months[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  sign, offset / 60, offset % 60);
    return buf;
}

std::string ContentTypeFor(std::string_view fileName) {
    struct Entry {
        const char* ext;
        const char* type;
    };
    static const Entry table[] = {
        {"txt", "text/plain"},        {"log", "text/plain"},        {"ini", "text/plain"},
        {"csv", "text/csv"},          {"htm", "text/html"},         {"html", "text/html"},
        {"xml", "application/xml"},   {"pdf", "application/pdf"},   {"zip", "application/zip"},
        {"rtf", "application/rtf"},   {"doc", "application/msword"}, {"xls", "application/vnd.ms-excel"},
        {"jpg", "image/jpeg"},        {"jpeg", "image/jpeg"},       {"png", "image/png"},
        {"gif", "image/gif"},         {"bmp", "image/bmp"},         {"wav", "audio/wav"},
    };
    std::size_t dot = fileName.rfind('.');
    std::size_t slash = fileName.find_last_of('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return "application/octet-stream";
    std::string ext;
    for (char c : fileName.substr(dot + 1)) ext.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    for (const Entry& e : table)
        if (ext == e.ext) return e.type;
    return "application/octet-stream";
}

std::string QuotedPrintable(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string r;
    r.reserve(text.size() + text.size() / 8);
    std::size_t lineLength = 0;
    auto emit = [&](const char* s, std::size_t n) {
        if (lineLength + n > 75) {
            r += "=\r\n";
            lineLength = 0;
        }
        r.append(s, n);
        lineLength += n;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            r += kCrLf;
            lineLength = 0;
            ++i;
            continue;
        }
        bool atLineEnd = i + 1 >= text.size() || text[i + 1] == '\r';
        bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !atLineEnd);
        if (literal) {
            char ch = static_cast<char>(c);
            emit(&ch, 1);
        } else {
            char enc[3] = {'=', hex[c >> 4], hex[c & 15]};
            emit(enc, 3);
        }
    }
    return r;
}

MimeSource::MimeSource(const MailMessage& m, MimeParams params) : params_(std::move(params)) {
    MailAddress from = m.from;
    std::string returnPath = SanitizeHeader(m.returnPath);
    if (from.address.empty()) from.address = returnPath;
    if (params_.date.empty()) params_.date = MailDate(static_cast<std::int64_t>(std::time(nullptr)));
    if (params_.messageId.empty()) {
        std::string domain = DomainOf(!returnPath.empty() ? returnPath : from.address);
        if (domain.empty()) domain = "localhost";
        params_.messageId = RandomHex(16) + "." + std::to_string(std::time(nullptr)) + "@" + domain;
    }
    if (params_.boundary.empty()) params_.boundary = "=_KR_" + RandomHex(24);

    std::string h;
    h += "Date: " + params_.date + kCrLf;
    if (!from.address.empty() || !from.name.empty()) h += "From: " + FormatAddress(from) + kCrLf;
    if (!returnPath.empty()) h += "Reply-To: " + returnPath + kCrLf;
    if (!m.organization.empty()) h += "Organization: " + EncodeHeaderText(m.organization, 14) + kCrLf;
    bool news = !m.newsgroups.empty();
    if (!m.mailer.empty())
        h += news ? "X-Newsreader: " + EncodeHeaderText(m.mailer, 14) + kCrLf
                  : "X-Mailer: " + EncodeHeaderText(m.mailer, 10) + kCrLf;
    if (m.priority != 3 && m.priority >= 1 && m.priority <= 5)
        h += "X-Priority: " + std::to_string(m.priority) + kCrLf;
    std::vector<std::string> list;
    if (news) {
        for (const std::string& g : m.newsgroups) list.push_back(SanitizeHeader(g));
        std::string groups;
        for (const std::string& g : list) groups += (groups.empty() ? "" : ",") + g;
        h += "Newsgroups: " + groups + kCrLf;
    } else {
        for (const MailAddress& a : m.to) list.push_back(FormatAddress(a));
        if (list.empty()) h += "To: undisclosed-recipients:;\r\n";
        else h += FoldedList("To", list);
        list.clear();
        for (const MailAddress& a : m.cc) list.push_back(FormatAddress(a));
        if (!list.empty()) h += FoldedList("Cc", list);
    }
    if (!m.subject.empty()) h += "Subject: " + EncodeHeaderText(m.subject, 9) + kCrLf;
    h += "Message-ID: <" + params_.messageId + ">\r\n";
    h += "MIME-Version: 1.0\r\n";

    std::string body = NormaliseLineEnds(ToValidUtf8(m.body));
    std::string bodyHeaders = "Content-Type: text/plain; charset=UTF-8\r\n";
    if (FitsSevenBit(body)) {
        bodyHeaders += "Content-Transfer-Encoding: 7bit\r\n";
    } else {
        bodyHeaders += "Content-Transfer-Encoding: quoted-printable\r\n";
        body = QuotedPrintable(body);
        if (body.size() < 2 || body.compare(body.size() - 2, 2, kCrLf) != 0) body += kCrLf;
    }

    if (m.attachments.empty()) {
        segments_.push_back({h + bodyHeaders + kCrLf + body, {}});
    } else {
        const std::string& b = params_.boundary;
        h += "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n";
        h += "This is a multi-part message in MIME format.\r\n";
        h += "--" + b + kCrLf + bodyHeaders + kCrLf + body;
        segments_.push_back({h, {}});
        for (const MailAttachment& a : m.attachments) {
            struct stat st {};
            if (::stat(a.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(a.path.c_str(), R_OK) != 0) {
                error_ = "Cannot read the attachment " + a.path;
                return;
            }
            std::string shownName = a.fileName.empty() ? LastPathPart(a.path) : a.fileName;
            std::string type = a.contentType.empty() ? ContentTypeFor(shownName) : a.contentType;
            std::string partHead = "--" + b + kCrLf + AttachmentHeaders(shownName, type) + kCrLf;
            if (st.st_size == 0) partHead += kCrLf;
            segments_.push_back({partHead, {}});
            segments_.push_back({{}, a.path});
            total_ += Base64LinesSize(static_cast<std::uint64_t>(st.st_size));
        }
        segments_.push_back({"--" + b + "--\r\n", {}});
    }
    for (const Segment& s : segments_) total_ += s.text.size();
}

MimeSource::~MimeSource() {
    if (file_) std::fclose(file_);
}

bool MimeSource::FillPending() {
    pending_.clear();
    pendingPos_ = 0;
    while (next_ < segments_.size()) {
        Segment& s = segments_[next_];
        if (s.path.empty()) {
            pending_.swap(s.text);
            ++next_;
            if (!pending_.empty()) return true;
            continue;
        }
        if (!file_) {
            file_ = std::fopen(s.path.c_str(), "rb");
            if (!file_) {
                readFailed_ = true;
                return false;
            }
        }
        unsigned char buf[kReadChunk];
        std::size_t got = std::fread(buf, 1, sizeof buf, file_);
        if (got > 0) {
            AppendBase64Lines(pending_, buf, got);
            return true;
        }
        bool failed = std::ferror(file_) != 0;
        std::fclose(file_);
        file_ = nullptr;
        if (failed) {
            readFailed_ = true;
            return false;
        }
        ++next_;
    }
    return false;
}

std::size_t MimeSource::Read(char* dst, std::size_t n) {
    std::size_t written = 0;
    while (written < n && !readFailed_) {
        if (pendingPos_ >= pending_.size() && !FillPending()) break;
        std::size_t take = pending_.size() - pendingPos_;
        if (take > n - written) take = n - written;
        std::memcpy(dst + written, pending_.data() + pendingPos_, take);
        pendingPos_ += take;
        written += take;
    }
    if (readFailed_) return 0;
    produced_ += written;
    return written;
}

std::string MimeSource::ReadAll() {
    std::string r;
    char buf[16384];
    for (;;) {
        std::size_t got = Read(buf, sizeof buf);
        if (got == 0) break;
        r.append(buf, got);
    }
    return r;
}

}  // namespace kr::net
