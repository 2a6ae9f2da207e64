#include "xplore/Export.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/data/ListQuery.h"
#include "platform/runtime/PrivateFiles.h"

namespace kr::xplore {

namespace {

constexpr std::size_t kCountOffset = 10;  // the digits of "# Records=9999999"
constexpr std::size_t kMaxValue = 255;    // bytes of a cell value

}  // namespace

std::string CsvCell(std::string_view v, char sep) {
    // A line break inside a cell would end its row: the cell is quoted as
    // one holding the separator is.
    const bool hasSep = v.find(sep) != std::string_view::npos || v.find_first_of("\r\n") != std::string_view::npos;
    const bool hasDouble = v.find('"') != std::string_view::npos;
    const bool hasSingle = v.find('\'') != std::string_view::npos;
    if (hasSep && hasDouble && hasSingle) {
        std::string out = "\"";
        for (char c : v) {
            if (c == '"') out += '"';
            out += c;
        }
        return out + "\"";
    }
    if (hasDouble) return "'" + std::string(v) + "'";
    if (hasSep) return "\"" + std::string(v) + "\"";
    return std::string(v);
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\t':
        case '\n':
        case '\r': out += c; break;
        default:
            // NUL and the other control characters have no place in a page
            // (a browser may cut the text at them): the replacement
            // character stands in for each.
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) out += "&#xFFFD;";
            else out += c;
        }
    }
    return out;
}

std::string ExportValue(std::string_view s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    std::size_t e = s.find_last_not_of(' ');
    std::string v(s.substr(b, e - b + 1));
    if (v.size() > kMaxValue) {
        // Cut before the character that would not fit whole: never inside
        // the bytes of one UTF-8 character.
        std::size_t cut = kMaxValue;
        while (cut > 0 && (static_cast<unsigned char>(v[cut]) & 0xC0) == 0x80) --cut;
        v.resize(cut);
    }
    return v;
}

uint32_t OpenerFailureCode(int exitStatus) {
    switch (exitStatus) {
    case 2: return 2;  // a file passed does not exist
    case 1:            // a bad command line
    case 3:            // a tool it needs is missing
    case 4: return 31;  // the opening failed: no program for the file
    default: return 0;
    }
}

ListExport::ListExport(data::ListQuery& query, std::vector<std::function<std::string(const data::ListRow&)>> cells,
                       Options options)
    : query_(query), cells_(std::move(cells)), o_(std::move(options)) {}

ListExport::~ListExport() {
    if (f_) std::fclose(f_);
}

void ListExport::Write(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), f_);
    std::fputc('\n', f_);
}

bool ListExport::Open(std::string* error) {
    f_ = OpenPrivateStream(o_.file, "w+b");
    if (!f_) {
        if (error) *error = std::strerror(errno);
        state_ = State::Failed;
        return false;
    }
    buffer_.resize(1 << 16);
    std::setvbuf(f_, buffer_.data(), _IOFBF, buffer_.size());
    if (o_.kind == Kind::Csv) {
        Write("# Records=9999999");
        if (o_.headers) {
            std::string h;
            for (std::size_t i = 0; i < o_.headerTexts.size(); ++i) {
                if (i) h += o_.separator;
                h += ExportValue(o_.headerTexts[i]);
            }
            Write(h);
        }
    } else {
        const std::string title = HtmlEscape(ExportValue(o_.title));
        Write("<HTML>");
        // The texts are UTF-8; the page says so, or a browser guesses.
        Write("<HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\"><TITLE>" + title +
              "</TITLE></HEAD>");
        Write("<H1>" + title + "</H1><P>");
        Write("<TABLE BORDER=2>");
        if (o_.headers) {
            std::string h = "<TR> ";
            for (const std::string& t : o_.headerTexts) {
                std::string v = ExportValue(t);
                h += "<TD>" + (v.empty() ? std::string("&nbsp") : HtmlEscape(v)) + "</TD> ";
            }
            Write(h + "</TR>");
        }
    }
    return true;
}

ListExport::State ListExport::Step(int ms) {
    if (state_ != State::Writing || !f_) return state_;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::vector<data::ListRow> rows;
    const bool csv = o_.kind == Kind::Csv;
    while (true) {
        rows.clear();
        // A read error ends the export as the end of the view does: what was
        // written so far is counted and kept.
        if (query_.Page(anchor_.get(), true, 500, rows) != 0 || rows.empty()) {
            Finish();
            return state_;
        }
        for (const data::ListRow& r : rows) {
            line_.clear();
            if (!csv) line_ = "<TR> ";
            for (std::size_t i = 0; i < cells_.size(); ++i) {
                std::string v = ExportValue(cells_[i](r));
                if (csv) {
                    if (i) line_ += o_.separator;
                    line_ += CsvCell(v, o_.separator);
                } else {
                    line_ += "<TD>" + (v.empty() ? std::string("&nbsp") : HtmlEscape(v)) + "</TD> ";
                }
            }
            if (!csv) line_ += "</TR>";
            Write(line_);
            ++rows_;
        }
        if (!anchor_) anchor_ = std::make_unique<data::ListRow>();
        *anchor_ = std::move(rows.back());
        if (std::chrono::steady_clock::now() >= until) return state_;
    }
}

ListExport::State ListExport::Run() {
    while (Step(1000) == State::Writing) {
    }
    return state_;
}

void ListExport::Finish() {
    if (!f_) return;
    bool ok = true;
    if (o_.kind == Kind::Csv) {
        char digits[24];
        std::snprintf(digits, sizeof digits, "%07lld", static_cast<long long>(std::min<int64_t>(rows_, 9999999)));
        ok = std::fseek(f_, static_cast<long>(kCountOffset), SEEK_SET) == 0 && std::fwrite(digits, 1, 7, f_) == 7;
    } else {
        Write("</TABLE>");
        Write("</HTML>");
    }
    ok = std::fflush(f_) == 0 && ok;
    ok = std::fclose(f_) == 0 && ok;
    f_ = nullptr;
    state_ = ok ? State::Done : State::Failed;
}

}  // namespace kr::xplore
