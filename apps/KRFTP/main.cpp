// KRFTP: the FTP transfer program that "File Actions" items run.
//   KRFTP U <local file> <remote path> <host> <user> <password>
//   KRFTP D <remote path> <local file> <host> <user> <password>
// Exits with 0 when the file was transferred, else with the transfer's
// error code (64 for a command line it cannot read), after a line on stderr.
#include <cstdio>
#include <string>

#include "platform/net/Transfer.h"

int main(int argc, char** argv) {
    auto arg = [&](int i) { return i < argc ? std::string(argv[i]) : std::string(); };
    const std::string how = arg(1);
    if (argc < 4 || (how != "U" && how != "u" && how != "D" && how != "d")) {
        std::fprintf(stderr,
                     "KRFTP: usage: KRFTP U <local file> <remote path> <host> [user] [password]\n"
                     "       KRFTP D <remote path> <local file> <host> [user] [password]\n");
        return 64;
    }
    const kr::net::TransferResult r = (how == "U" || how == "u")
                                          ? kr::net::FtpUpload(arg(2), arg(3), arg(4), arg(5), arg(6))
                                          : kr::net::FtpDownload(arg(2), arg(3), arg(4), arg(5), arg(6));
    if (r.code != 0) std::fprintf(stderr, "KRFTP: %s\n", r.message.c_str());
    return r.code;
}
