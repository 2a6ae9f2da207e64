// List formats come from ".\POSITION.INI", which users and other versions
// write: any format text must parse, and what is built from the parse must
// read back to the same text; any saved layout must restore over a list's
// columns and be saved again.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "xplore/ListFormat.h"
#include "xplore/Xplore.h"

namespace {

bool EnterScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kr-fuzz-format-XXXXXX";
    const char* made = ::mkdtemp(tmpl.data());
    return made && ::chdir(made) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool entered = EnterScratchFolder();
    if (!entered) return 0;
    FuzzedDataProvider in(data, size);
    const std::string format = in.ConsumeRandomLengthString(2000);
    const std::string layout = in.ConsumeRemainingBytesAsString();

    using kr::xplore::ListFormat;
    const std::string once = ListFormat::Parse(format).Build();
    if (ListFormat::Parse(once).Build() != once) __builtin_trap();

    // The saved layout of a list with a few columns.
    if (FILE* f = std::fopen("POSITION.INI", "wb")) {
        std::fwrite(layout.data(), 1, layout.size(), f);
        std::fclose(f);
    }
    kr::xplore::Xplore x;
    x.Attach(">Header", "POSITION.INI");
    std::vector<kr::xplore::ColumnDef> columns(4);
    const char* fields[] = {"SCH:Date", "SCH:Time", "SCH:Description", "SCH:Category"};
    for (int i = 0; i < 4; ++i) {
        columns[static_cast<size_t>(i)].field = fields[i];
        columns[static_cast<size_t>(i)].width = 40 + 10 * i;
        columns[static_cast<size_t>(i)].header = fields[i] + 4;
        columns[static_cast<size_t>(i)].picture = i == 0 ? "@d6" : i == 1 ? "@t7" : "@s40";
        columns[static_cast<size_t>(i)].sortable = i != 1;
    }
    x.Init(columns);
    x.AddSortOrder(1);
    kr::xplore::ListGeometry look;
    x.RestoreFormat("BrowseSchedule", "", "@D2", look);
    x.ParseFormat(format);
    (void)x.BuildFormat();
    x.SaveFormat("BrowseSchedule", "", look);
    return 0;
}
