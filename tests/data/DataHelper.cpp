// A second program for the engine's tests. Commands:
//   add <folder> <count> <tag>   adds <count> auto-numbered records to Person
//   create <folder>              creates Person empty
//   hold-exclusive <folder>      opens Person exclusively, prints "ready",
//                                and keeps it open until standard input ends
//   log <folder> <count> <tag>   appends <count> lines to the event log
// Exits 0 when every step succeeded, else the first error code.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "TestTables.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"

using namespace kr::data;
using namespace kr::test;

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::string cmd = argv[1];
    if (::chdir(argv[2]) != 0) return 3;
    SetKeyDerivationIterations(4);
    SetBusyTimeout(20000);
    if (cmd == "add" && argc >= 5) {
        int count = std::atoi(argv[3]);
        std::string tag = argv[4];
        Table& t = TableOf(PersonDef());
        if (int e = t.Open()) return e;
        for (int i = 0; i < count; ++i) {
            t.Clear();
            Person& p = t.Rec<Person>();
            p.Name = tag;
            p.City = tag + std::to_string(i);
            p.Code = tag + std::to_string(i);
            if (int e = t.AddAutoNumbered(PersonDef().key("PER:KeyID"))) {
                std::fprintf(stderr, "add: %d %s\n", e, LastFileErrorText().c_str());
                return e;
            }
        }
        t.Close();
        return 0;
    }
    if (cmd == "create") return TableOf(PersonDef()).Create();
    if (cmd == "hold-exclusive") {
        Table& t = TableOf(PersonDef());
        if (int e = t.Open(kModeExclusive)) return e;
        std::cout << "ready" << std::endl;
        std::string line;
        while (std::getline(std::cin, line)) {
        }
        t.Close();
        return 0;
    }
    if (cmd == "log" && argc >= 5) {
        int count = std::atoi(argv[3]);
        std::string tag = argv[4];
        Table& t = TableOf(LogDef());
        if (int e = t.Open(kModeShared)) return e;
        for (int i = 0; i < count; ++i) {
            t.Clear();
            LogLine& l = t.Rec<LogLine>();
            l.Label = tag;
            l.Data = tag + " line " + std::to_string(i);
            if (int e = t.Add()) return e;
        }
        t.Close();
        return 0;
    }
    return 2;
}
