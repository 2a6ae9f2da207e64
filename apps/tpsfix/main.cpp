// tpsfix: rebuilds a damaged data file from every row it can still read.
//
//   tpsfix <data file>?<password> ?<password> /E:<example>?<password> /K
//
// The report (what was saved and lost per table, where the original was
// kept) goes to standard output and to "<data file>.fix.txt", where the
// repair program reads it. Exit codes: 0 nothing lost, 1 repaired with rows
// lost, 2 not repaired (the file is unchanged), 3 no file named.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/runtime/PrivateFiles.h"
#include "repair/RepairRun.h"
#include "repair/Salvage.h"

int main(int argc, char** argv) {
    std::string error;
    const auto options = kr::repair::ParseFixCommandLine(std::vector<std::string>(argv + 1, argv + argc), &error);
    if (!options) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kr::repair::kSalvageUsage;
    }
    const kr::repair::SalvageResult result = kr::repair::SalvageDataFile(*options);
    const std::string report = result.Report(options->source);
    std::fputs(report.c_str(), stdout);
    // The report names the data file's tables and folders: owner-only, as
    // the data file is.
    if (std::FILE* f = kr::OpenPrivateStream(kr::repair::FixReportName(options->source), "w")) {
        std::fwrite(report.data(), 1, report.size(), f);
        std::fclose(f);
    }
    return result.code;
}
