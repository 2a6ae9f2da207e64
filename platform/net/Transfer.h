// File transfers for the transfer programs KRFTP and HTTPGET: an FTP upload
// or download and an HTTP(S) download, on libcurl.
//
// A download is written beside its target and renamed over it when whole,
// so a failed transfer never leaves half a file or spoils an older one.
// Results are curl's error codes (0 success; 7 could not connect, 9 or 67
// refused login or access, 22 an HTTP error status, 23 the local file could
// not be written, 26 the local file could not be read, 78 no such remote
// file), so a script can test the program's exit code.
#pragma once

#include <string>

namespace kr::net {

struct TransferResult {
    int code = 0;         // 0 success, else curl's error code
    std::string message;  // what went wrong, for the program's stderr line
};

// host: "name", "name:port" or an "ftp://" address; remote: the path on the
// server ("\" read as "/"), or a whole "ftp://" address (the host is then
// not used). An upload to a remote path ending in "/" keeps the local name;
// a download to an empty or folder target keeps the remote name.
TransferResult FtpUpload(const std::string& localFile, const std::string& remote, const std::string& host,
                         const std::string& user, const std::string& password);
TransferResult FtpDownload(const std::string& remote, const std::string& localFile, const std::string& host,
                           const std::string& user, const std::string& password);
// url: "http://" or "https://" (a bare host name is taken as http); an
// empty target is the last part of the address ("index.html" when none).
TransferResult HttpDownload(const std::string& url, const std::string& localFile);

// The address an FTP transfer uses (for messages and tests).
std::string FtpUrl(const std::string& host, const std::string& remote);

}  // namespace kr::net
