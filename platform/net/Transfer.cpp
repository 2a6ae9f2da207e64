#include "platform/net/Transfer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kr::net {

namespace {

std::string Trimmed(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    const std::size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

std::string Slashes(std::string s) {
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    return s.size() >= n && strncasecmp(s.c_str(), prefix, n) == 0;
}

// Escapes what may not stand in an address path; "/" and an existing
// "%xx" stay.
std::string EscapePath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (std::isalnum(c) || std::strchr("-._~/!$&'()*+,;=:@", c) ||
            (c == '%' && i + 2 < path.size() && std::isxdigit(static_cast<unsigned char>(path[i + 1])) &&
             std::isxdigit(static_cast<unsigned char>(path[i + 2])))) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string BaseName(const std::string& p) {
    const std::size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

bool IsFolder(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

void Common(CURL* c, char* errorBuffer) {
    static CurlGlobal global;
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
    // A transfer that stalls (under one byte a second for two minutes) ends
    // with an error instead of holding the script.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 120L);
}

TransferResult Failed(CURLcode code, const char* errorBuffer, const std::string& what) {
    TransferResult r;
    r.code = static_cast<int>(code);
    r.message = what + ": " + (errorBuffer[0] ? std::string(errorBuffer) : std::string(curl_easy_strerror(code)));
    return r;
}

// Downloads into a file beside the target, renamed over it when whole.
TransferResult Download(CURL* c, const std::string& url, const std::string& target, char* errorBuffer) {
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        return {static_cast<int>(CURLE_WRITE_ERROR), target + ": " + std::strerror(e)};
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    FILE* out = ::fdopen(fd, "wb");
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_WRITEDATA, out);
    CURLcode code = curl_easy_perform(c);
    if (std::fflush(out) != 0 || ::fsync(fd) != 0) {
        if (code == CURLE_OK) code = CURLE_WRITE_ERROR;
    }
    std::fclose(out);
    if (code == CURLE_OK && std::rename(temp.c_str(), target.c_str()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        return {static_cast<int>(CURLE_WRITE_ERROR), target + ": " + std::strerror(e)};
    }
    if (code != CURLE_OK) {
        ::unlink(temp.c_str());
        return Failed(code, errorBuffer, url);
    }
    return {};
}

void Login(CURL* c, const std::string& user, const std::string& password) {
    if (user.empty() && password.empty()) return;  // anonymous
    curl_easy_setopt(c, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
}

}  // namespace

std::string FtpUrl(const std::string& host, const std::string& remote) {
    const std::string r = Slashes(Trimmed(remote));
    if (StartsWithNoCase(r, "ftp://") || StartsWithNoCase(r, "ftps://")) return r;
    std::string h = Trimmed(host);
    if (StartsWithNoCase(h, "ftp://")) h = h.substr(6);
    while (!h.empty() && h.back() == '/') h.pop_back();
    std::string path = r;
    while (!path.empty() && path.front() == '/') path.erase(0, 1);
    return "ftp://" + h + "/" + EscapePath(path);
}

TransferResult FtpUpload(const std::string& localFile, const std::string& remote, const std::string& host,
                         const std::string& user, const std::string& password) {
    const std::string local = Slashes(Trimmed(localFile));
    std::string url = FtpUrl(host, remote);
    if (!url.empty() && url.back() == '/') url += EscapePath(BaseName(local));
    FILE* in = std::fopen(local.c_str(), "rb");
    if (!in) return {static_cast<int>(CURLE_READ_ERROR), local + ": " + std::strerror(errno)};
    struct stat st {};
    ::fstat(::fileno(in), &st);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* c = curl_easy_init();
    if (!c) {
        std::fclose(in);
        return {static_cast<int>(CURLE_FAILED_INIT), "the transfer library could not start"};
    }
    Common(c, errorBuffer);
    Login(c, user, password);
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READDATA, in);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(st.st_size));
    const CURLcode code = curl_easy_perform(c);
    curl_easy_cleanup(c);
    std::fclose(in);
    if (code != CURLE_OK) return Failed(code, errorBuffer, url);
    return {};
}

TransferResult FtpDownload(const std::string& remote, const std::string& localFile, const std::string& host,
                           const std::string& user, const std::string& password) {
    const std::string url = FtpUrl(host, remote);
    std::string local = Slashes(Trimmed(localFile));
    std::string name = BaseName(Slashes(Trimmed(remote)));
    if (name.empty()) return {static_cast<int>(CURLE_URL_MALFORMAT), url + ": no file named"};
    if (local.empty()) local = name;
    else if (IsFolder(local)) local += "/" + name;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* c = curl_easy_init();
    if (!c) return {static_cast<int>(CURLE_FAILED_INIT), "the transfer library could not start"};
    Common(c, errorBuffer);
    Login(c, user, password);
    const TransferResult r = Download(c, url, local, errorBuffer);
    curl_easy_cleanup(c);
    return r;
}

TransferResult HttpDownload(const std::string& address, const std::string& localFile) {
    std::string url = Trimmed(address);
    if (url.find("://") == std::string::npos) url = "http://" + url;
    std::string local = Slashes(Trimmed(localFile));
    if (local.empty() || IsFolder(local)) {
        std::string path = url.substr(url.find("://") + 3);
        const std::size_t cut = path.find_first_of("?#");
        if (cut != std::string::npos) path.resize(cut);
        const std::size_t slash = path.find('/');
        std::string name = slash == std::string::npos ? "" : BaseName(path.substr(slash));
        if (name.empty()) name = "index.html";
        local = local.empty() ? name : local + "/" + name;
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* c = curl_easy_init();
    if (!c) return {static_cast<int>(CURLE_FAILED_INIT), "the transfer library could not start"};
    Common(c, errorBuffer);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#endif
    const TransferResult r = Download(c, url, local, errorBuffer);
    curl_easy_cleanup(c);
    return r;
}

}  // namespace kr::net
