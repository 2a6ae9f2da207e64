#include "platform/net/SmtpClient.h"

#include <curl/curl.h>

#include <cctype>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_set>

#include "platform/net/Dialogue.h"

namespace kr::net {

namespace {

std::once_flag gCurlInit;
bool gCurlInitOk = false;

constexpr std::size_t kMaxReply = 500;

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

bool IsUsableHost(std::string_view host) {
    if (host.empty() || host.size() > 253) return false;
    for (unsigned char c : host)
        if (!(std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == ':')) return false;
    return true;
}

// What one transfer keeps while it runs: the message source, the server's
// replies, the trace and the cancel state.
struct Transfer {
    MimeSource* source = nullptr;
    const SmtpProgress* progress = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    bool cancelled = false;

    std::string replyLines;   // the reply being received
    std::string lastReply;    // the last complete reply
    bool masking = false;     // between AUTH and its final reply
    bool quitting = false;    // QUIT sent: its reply is not what the send ended on
    std::uint64_t dataOut = 0;

    bool tracing = false;
    std::string trace;

    void TraceLine(const char* tag, std::string_view line) {
        if (!tracing) return;
        trace += tag;
        trace.append(line);
        if (trace.empty() || trace.back() != '\n') trace += '\n';
    }

    void ServerLine(std::string_view line) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
        TraceLine("< ", line);
        if (!replyLines.empty()) replyLines += ' ';
        replyLines.append(line);
        bool last = line.size() < 4 || line[3] != '-';
        if (last) {
            if (masking && !(line.size() >= 3 && line.substr(0, 3) == "334")) masking = false;
            if (!quitting)
                lastReply = replyLines.size() > kMaxReply ? replyLines.substr(0, kMaxReply) : replyLines;
            replyLines.clear();
        }
    }

    void ClientLine(std::string_view line) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
        if (StartsWithNoCase(line, "AUTH ")) {
            masking = true;
            std::size_t mech = line.find(' ', 5);
            if (mech == std::string_view::npos) {
                TraceLine("> ", line);
            } else {
                std::string shown(line.substr(0, mech));
                shown += " ****";
                TraceLine("> ", shown);
            }
        } else if (masking) {
            TraceLine("> ", "****");
        } else {
            if (StartsWithNoCase(line, "QUIT")) quitting = true;
            TraceLine("> ", line);
        }
    }

    bool ShouldStop() {
        if (cancelled) return true;
        if (cancel && cancel->load()) cancelled = true;
        return cancelled;
    }
};

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* userp) {
    auto* t = static_cast<Transfer*>(userp);
    std::string_view text(data, size);
    switch (type) {
    case CURLINFO_HEADER_IN: {
        // One call may carry several lines.
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t nl = text.find('\n', start);
            std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line != "\r\n" && line != "\n") t->ServerLine(line);
            start = end;
        }
        break;
    }
    case CURLINFO_HEADER_OUT:
        t->ClientLine(text);
        break;
    case CURLINFO_TEXT:
        if (t->tracing) t->TraceLine("* ", text);
        break;
    case CURLINFO_DATA_OUT:
        t->dataOut += size;
        break;
    default:
        break;
    }
    return 0;
}

size_t OnRead(char* buffer, size_t size, size_t nitems, void* userp) {
    auto* t = static_cast<Transfer*>(userp);
    if (t->ShouldStop()) return CURL_READFUNC_ABORT;
    std::size_t got = t->source->Read(buffer, size * nitems);
    if (t->source->readFailed()) return CURL_READFUNC_ABORT;
    return got;
}

int OnProgress(void* userp, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(userp);
    if (t->ShouldStop()) return 1;
    if (t->progress && *t->progress && !(*t->progress)(t->source->produced(), t->source->totalSize())) {
        t->cancelled = true;
        return 1;
    }
    return 0;
}

long Seconds(long ms) { return ms <= 0 ? 0 : (ms + 999) / 1000; }

SmtpResult Fail(SmtpStatus status, std::string detail) {
    SmtpResult r;
    r.status = status;
    r.detail = std::move(detail);
    return r;
}

}  // namespace

SmtpStatus StatusForCurlCode(int code, bool connected, bool uploading, long responseCode) {
    switch (static_cast<CURLcode>(code)) {
    case CURLE_OK:
        return SmtpStatus::Sent;
    case CURLE_OUT_OF_MEMORY:
        return SmtpStatus::OutOfMemory;
    case CURLE_FAILED_INIT:
        return SmtpStatus::InitFailed;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_BAD_FUNCTION_ARGUMENT:
        return SmtpStatus::InvalidArguments;
    case CURLE_COULDNT_RESOLVE_PROXY:
        return SmtpStatus::ProxyResolveFailed;
    case CURLE_COULDNT_RESOLVE_HOST:
        return SmtpStatus::ResolveFailed;
    case CURLE_COULDNT_CONNECT:
        return SmtpStatus::ConnectFailed;
    case CURLE_OPERATION_TIMEDOUT:
        if (!connected) return SmtpStatus::ConnectFailed;
        return uploading ? SmtpStatus::SendFailed : SmtpStatus::ReceiveFailed;
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR:
        return SmtpStatus::AuthFailed;
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return SmtpStatus::TlsFailed;
    case CURLE_ABORTED_BY_CALLBACK:
        return SmtpStatus::Cancelled;
    case CURLE_READ_ERROR:
        return SmtpStatus::MessageReadFailed;
    default:
        break;
    }
    // libcurl reports a refused command (MAIL, RCPT, DATA, the end of the
    // data) as a send error or an unexpected reply; the reply code tells.
    if (responseCode >= 400) return SmtpStatus::ServerRefused;
    switch (static_cast<CURLcode>(code)) {
    case CURLE_SEND_ERROR:
        return SmtpStatus::SendFailed;
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_PARTIAL_FILE:
        return connected ? SmtpStatus::ReceiveFailed : SmtpStatus::ConnectFailed;
    default:
        return SmtpStatus::Unknown;
    }
}

MailHost ParseMailHost(std::string_view text) {
    MailHost r;
    std::size_t b = text.find_first_not_of(" \t");
    if (b == std::string_view::npos) return r;
    text = text.substr(b, text.find_last_not_of(" \t") - b + 1);
    if (StartsWithNoCase(text, "smtps://")) {
        r.implicitTls = true;
        r.schemeGiven = true;
        text.remove_prefix(8);
    } else if (StartsWithNoCase(text, "smtp://")) {
        r.schemeGiven = true;
        text.remove_prefix(7);
    }
    if (!text.empty() && text.back() == '/') text.remove_suffix(1);
    std::string_view portText;
    bool portExpected = false;
    if (!text.empty() && text.front() == '[') {
        std::size_t close = text.find(']');
        if (close == std::string_view::npos) return r;
        r.host = std::string(text.substr(1, close - 1));
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return r;
            portText = rest.substr(1);
            portExpected = true;
        }
    } else {
        std::size_t colon = text.find(':');
        if (colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos) {
            r.host = std::string(text.substr(0, colon));
            portText = text.substr(colon + 1);
            portExpected = true;
        } else {
            r.host = std::string(text);  // a name, or an IPv6 address without brackets
        }
    }
    if (portExpected) {
        if (portText.empty() || portText.size() > 5) return r;
        int port = 0;
        for (char c : portText) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return r;
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) return r;
        r.port = port;
    }
    r.valid = IsUsableHost(r.host);
    return r;
}

SmtpResult SendMail(const MailMessage& message, const SmtpOptions& options, const SmtpProgress& progress,
                    const std::atomic<bool>* cancel) {
    if (!IsUsableHost(options.host)) return Fail(SmtpStatus::InvalidArguments, "No usable mail host given");
    if (options.port < 0 || options.port > 65535)
        return Fail(SmtpStatus::InvalidArguments, "The mail port is out of range");

    // The envelope: the return path, else the From address; recipients of
    // To, Cc and Bcc, each once.
    std::string envelopeFrom = !message.returnPath.empty() ? message.returnPath : message.from.address;
    if (!envelopeFrom.empty() && !IsUsableAddress(envelopeFrom))
        return Fail(SmtpStatus::InvalidArguments, "The sender address cannot be used: " + envelopeFrom);
    std::vector<std::string> recipients;
    std::unordered_set<std::string> seen;
    for (const auto* list : {&message.to, &message.cc, &message.bcc}) {
        for (const MailAddress& a : *list) {
            if (!IsUsableAddress(a.address))
                return Fail(SmtpStatus::InvalidArguments, "The recipient address cannot be used: " + a.address);
            if (seen.insert(Lower(a.address)).second) recipients.push_back(a.address);
        }
    }
    if (recipients.empty()) return Fail(SmtpStatus::NoRecipients, "No recipients");

    MimeSource source(message);
    if (!source.ok()) return Fail(SmtpStatus::AttachmentUnreadable, source.error());

    std::call_once(gCurlInit, [] { gCurlInitOk = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    if (!gCurlInitOk) return Fail(SmtpStatus::InitFailed, "The transfer library could not start");
    CURL* curl = curl_easy_init();
    if (!curl) return Fail(SmtpStatus::InitFailed, "The transfer library could not start");

    Transfer t;
    t.source = &source;
    t.progress = &progress;
    t.cancel = cancel;
    t.tracing = !options.traceFile.empty();

    bool tls = options.security == SmtpSecurity::Tls;
    int port = options.port != 0 ? options.port : (tls ? 465 : 25);
    std::string host = options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
    std::string url = std::string(tls ? "smtps://" : "smtp://") + host + ":" + std::to_string(port);
    if (t.tracing) {
        t.trace = "Mail send " + MailDate(static_cast<std::int64_t>(std::time(nullptr))) + " to " + url + "\n";
    }

    curl_slist* rcpt = nullptr;
    for (const std::string& r : recipients) {
        curl_slist* next = curl_slist_append(rcpt, ("<" + r + ">").c_str());
        if (!next) {
            curl_slist_free_all(rcpt);
            curl_easy_cleanup(curl);
            return Fail(SmtpStatus::OutOfMemory, "Out of memory");
        }
        rcpt = next;
    }
    std::string mailFrom = "<" + envelopeFrom + ">";
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, OnRead);
    curl_easy_setopt(curl, CURLOPT_READDATA, &t);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(source.totalSize()));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, OnDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &t);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, Seconds(options.responseTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, options.totalTimeoutMs);
    if (options.stallTimeoutMs > 0) {
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, Seconds(options.stallTimeoutMs));
    }
    if (options.security == SmtpSecurity::StartTls) curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    if (!options.verifyPeer) {
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    if (!options.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, options.caFile.c_str());
    if (!options.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, options.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, options.password.c_str());
    }

    CURLcode code = curl_easy_perform(curl);

    SmtpResult result;
    result.curlCode = static_cast<int>(code);
    long responseCode = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &responseCode);
    curl_off_t connectTime = 0;
    curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectTime);
    result.responseCode = responseCode;
    result.serverReply = t.lastReply;
    bool connected = connectTime > 0 || !t.lastReply.empty();
    bool uploading = source.produced() > 0 && source.produced() < source.totalSize();

    if (code == CURLE_ABORTED_BY_CALLBACK && !t.cancelled && source.readFailed())
        result.status = SmtpStatus::MessageReadFailed;
    else
        result.status = StatusForCurlCode(static_cast<int>(code), connected, uploading, responseCode);
    if (code != CURLE_OK) result.detail = errorBuffer[0] ? errorBuffer : curl_easy_strerror(code);
    if (result.status == SmtpStatus::MessageReadFailed) result.detail = "Reading an attachment failed";

    if (t.tracing) {
        t.trace += "* message data: " + std::to_string(source.produced()) + " bytes\n";
        t.trace += code == CURLE_OK ? std::string("* sent\n") : "* failed: " + result.detail + "\n";
        WriteTraceFile(options.traceFile, t.trace);
    }

    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    return result;
}

}  // namespace kr::net
