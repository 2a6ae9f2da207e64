// bench-libs: kr_runtime
// The runtime's hot paths: dates, pictures, filters evaluated per record,
// and INI reads of a list layout.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/Expression.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"

using namespace kr;

static void BM_MakeDateAndParts(benchmark::State& state) {
    int d = 0;
    for (auto _ : state) {
        int32_t date = MakeDate(1 + d % 12, 1 + d % 28, 1950 + d % 100);
        benchmark::DoNotOptimize(DateYear(date) + DateMonth(date) + DateDay(date));
        ++d;
    }
}
BENCHMARK(BM_MakeDateAndParts);

static void BM_FormatDate(benchmark::State& state) {
    int32_t date = MakeDate(10, 31, 1959);
    for (auto _ : state) benchmark::DoNotOptimize(Format(Value(int64_t{date}), "@D2"));
}
BENCHMARK(BM_FormatDate);

static void BM_FormatNumber(benchmark::State& state) {
    double v = 1234567.891;
    for (auto _ : state) benchmark::DoNotOptimize(Format(Value(v), "@N-15.2"));
}
BENCHMARK(BM_FormatNumber);

static void BM_DeformatDate(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(Deformat("10/31/1959", "@D2"));
}
BENCHMARK(BM_DeformatDate);

static void BM_CompiledFilterPerRecord(benchmark::State& state) {
    Bindings b;
    int64_t date = 81000;
    b.Bind("SCH:Date", [&] { return Value(date); });
    b.BindValue("SCH:Description", "Weekly backup of the data folder");
    b.BindValue("SelectedDay", int64_t{81000});
    CompiledExpression c =
        CompiledExpression::Compile("SCH:Date = SelectedDay AND INSTRING('BACKUP', UPPER(SCH:Description)) > 0");
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.Evaluate(b).value.truthy());
        date ^= 1;
    }
}
BENCHMARK(BM_CompiledFilterPerRecord);

static void BM_IniFetch(benchmark::State& state) {
    char tmpl[] = "/tmp/kr_bench_XXXXXX";
    if (!mkdtemp(tmpl)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    std::string file = std::string(tmpl) + "/POSITION.INI";
    IniFile ini(file);
    {
        IniFile::Batch batch(ini);
        for (int s = 0; s < 30; ++s)
            for (int k = 0; k < 20; ++k)
                ini.Update("Browse" + std::to_string(s), "XploreKey" + std::to_string(k) + "-?List", "40L(2)|M~Col~@s20@");
    }
    for (auto _ : state) benchmark::DoNotOptimize(ini.Fetch("Browse17", "XploreKey13-?List"));
    unlink(file.c_str());
    rmdir(tmpl);
}
BENCHMARK(BM_IniFetch);
