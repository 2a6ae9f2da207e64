// The line drivers: any bytes as a fixed-width line file, a comma-delimited
// file and a raw record file, read forwards and backwards, one record
// rewritten (of another length, so the file is written anew) and counted.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/data/Table.h"
#include "tests/data/TestTables.h"

namespace {

void Write(const std::string& name, const uint8_t* data, size_t size) {
    if (FILE* f = std::fopen(name.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

template <class R>
void Exercise(const kr::data::TableDef& def, const uint8_t* data, size_t size, void (*change)(R&)) {
    Write(def.storedAs, data, size);
    kr::data::Table& t = kr::data::TableOf(def);
    t.SetName(def.storedAs);
    if (t.Open() != 0) return;
    (void)t.Records();
    t.Set();
    for (int i = 0; i < 64 && t.Next() == 0; ++i) {
        if (i == 1) {
            change(t.Rec<R>());
            (void)t.Put();
        }
    }
    t.Set();
    for (int i = 0; i < 64 && t.Previous() == 0; ++i) {
    }
    (void)t.Records();
    t.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool entered = [] {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kr-fuzz-lines-XXXXXX";
        const char* made = ::mkdtemp(tmpl.data());
        return made && ::chdir(made) == 0;
    }();
    if (!entered) return 0;
    using namespace kr::test;
    Exercise<LogLine>(LogDef(), data, size, [](LogLine& r) { r.Data = "changed"; });
    Exercise<Row3>(CsvDef(), data, size, [](Row3& r) { r.Text = "a \"quoted\", longer text"; });
    Exercise<Row3>(RawDef(), data, size, [](Row3& r) { r.Count = -1; });
    return 0;
}
