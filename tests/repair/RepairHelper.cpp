// A second program for the repair tests, working on Schedule in the data
// folder given:
//   repair_test_helper open <folder> <kdf>   opens it shared, says "open" and
//                                            keeps it until standard input closes
//   repair_test_helper hold <folder> <kdf>   holds the first record, says
//                                            "held" and ends without letting go
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    if (chdir(argv[2]) != 0) return 3;
    kr::data::SetKeyDerivationIterations(std::atoi(argv[3]));
    const std::string mode = argv[1];
    kr::data::Table& t = kr::data::TableOf(kr::ScheduleDef());
    if (t.Open(kr::data::kModeShared) != 0) return 4;
    if (mode == "hold") {
        t.Set(nullptr);
        if (t.Next() != 0 || t.Hold() != 0) return 5;
        std::printf("held\n");
        std::fflush(stdout);
        _exit(0);  // as a crashed program: the mark stays
    }
    std::printf("open\n");
    std::fflush(stdout);
    char c;
    while (read(0, &c, 1) > 0) {
    }
    t.Close();
    return 0;
}
