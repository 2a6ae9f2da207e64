// bench-libs: kr_scriptedit_core
// Timing of the script text form with 10,000 lines: reading the text and
// writing it back (in memory), and storing the items of a text in a task
// over a real data file (the delete and every add in one transaction).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "scriptedit/ScriptText.h"

using namespace kr;

namespace {

constexpr int kLines = 10000;

std::string BigText() {
    std::string text;
    for (int i = 0; i < kLines; ++i) {
        switch (i % 5) {
            case 0: text += "KEYS line " + std::to_string(i) + ", with commas [ENTER]\r\n"; break;
            case 1: text += "IFWINDOW \"Untitled - Notepad\" Edit\r\n"; break;
            case 2: text += "START \"/usr/bin/gedit\" \"/tmp\" WAIT=86400 PRIORITY=3 ACTION=Print\r\n"; break;
            case 3: text += "END\r\n"; break;
            default: text += "FILE \"FTP Upload\" \"/a b\" /c host user secret\r\n"; break;
        }
    }
    return text;
}

void BM_ReadAndWriteText(benchmark::State& state) {
    const std::string text = BigText();
    for (auto _ : state) {
        const ParsedScriptText parsed = ParseScriptText(text, 1);
        benchmark::DoNotOptimize(ScriptItemsToText(parsed.items));
    }
}
BENCHMARK(BM_ReadAndWriteText)->Unit(benchmark::kMillisecond);

void BM_StoreTextItems(benchmark::State& state) {
    char tmpl[] = "/tmp/kr-bench-text-XXXXXX";
    const std::filesystem::path dir = mkdtemp(tmpl);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    DictionaryInit();
    Scripting_File().Open();
    const std::vector<Scripting> items = ParseScriptText(BigText(), 1).items;
    for (auto _ : state) benchmark::DoNotOptimize(ReplaceScriptItems(1, items));
    Scripting_File().Close();
    DictionaryKill();
    data::CloseIdleFiles();
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_StoreTextItems)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
