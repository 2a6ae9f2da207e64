// HTTPGET: the download program that "File Actions" items run.
//   HTTPGET <address> <file> [/AUTO]
// /AUTO (always given by the script step) means no questions; the program
// never asks any. Exits with 0 when the file was saved, else with the
// transfer's error code (22 for an error status of the server, 64 for a
// command line it cannot read), after a line on stderr.
#include <cstdio>
#include <string>
#include <strings.h>

#include "platform/net/Transfer.h"

int main(int argc, char** argv) {
    std::string url, file;
    int plain = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcasecmp(argv[i], "/AUTO") == 0) continue;
        if (plain == 0) url = argv[i];
        else if (plain == 1) file = argv[i];
        ++plain;
    }
    if (url.empty() || plain > 2) {
        std::fprintf(stderr, "HTTPGET: usage: HTTPGET <address> <file> [/AUTO]\n");
        return 64;
    }
    const kr::net::TransferResult r = kr::net::HttpDownload(url, file);
    if (r.code != 0) std::fprintf(stderr, "HTTPGET: %s\n", r.message.c_str());
    return r.code;
}
