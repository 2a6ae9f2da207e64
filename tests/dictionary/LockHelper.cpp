// A second program for the lock tests: opens a table of the data file in the
// folder given and locks the file (LOCK), or with "exclusive" opens it
// denying all others; holds it for the seconds given (or until its standard
// input closes when 0), then lets go and ends.
//   dictionary_lock_helper <folder> <seconds> <kdf-iterations> [exclusive]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    if (chdir(argv[1]) != 0) return 3;
    const int seconds = std::atoi(argv[2]);
    if (argc > 3) kr::data::SetKeyDerivationIterations(std::atoi(argv[3]));
    const bool exclusive = argc > 4 && std::string(argv[4]) == "exclusive";
    const int mode = exclusive ? kr::data::kModeExclusive : kr::data::kModeShared;
    kr::data::Table& t = kr::data::TableOf(kr::ConfigurationDef());
    int err = t.Open(mode);
    if (err == 2) {
        if (t.Create() != 0) return 4;
        err = t.Open(mode);
    }
    if (err != 0) return 5;
    if (!exclusive && t.Lock() != 0) return 6;
    std::printf("locked\n");
    std::fflush(stdout);
    if (seconds > 0) {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
    } else {
        char c;
        while (read(0, &c, 1) > 0) {
        }
    }
    if (!exclusive) t.Unlock();
    t.Close();
    return 0;
}
