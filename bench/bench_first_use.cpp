// bench-libs: kr_runtime kr_desktop kr_net Qt6::Gui
// What the first use of a feature loaded on first use costs more than it
// would if its libraries had been loaded at the start: opening the sound
// player module (Qt Multimedia, PulseAudio, the codecs), the AT-SPI reader
// module, and libcurl. Each is timed once in a fresh process, since a
// library is opened once per process; the program runs itself `runs`
// times (7 by default) and prints min and median of each.
//
//   bench_first_use [runs]
//
// Run by hand; the tests never run it.
#include <curl/curl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/desktop/Modules.h"
#include "platform/desktop/Sound.h"

namespace {

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// One process: the three first uses, printed as "sound atspi curl" in ms.
int Once(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    auto t = std::chrono::steady_clock::now();
    const bool player = kr::ModuleFunction("kr_sound_player", "kr_sound_have_output") != nullptr;
    const double sound = MsSince(t);
    t = std::chrono::steady_clock::now();
    const bool reader = kr::ModuleFunction("kr_accessibility", "kr_accessible_texts") != nullptr;
    const double atspi = MsSince(t);
    t = std::chrono::steady_clock::now();
    const bool curl = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    const double transfer = MsSince(t);
    if (!player || !reader || !curl) return 1;
    std::printf("%.2f %.2f %.2f\n", sound, atspi, transfer);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--once") return Once(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    std::vector<double> sound, atspi, curl;
    for (int r = 0; r <= runs; ++r) {
        FILE* p = popen((self + " --once").c_str(), "r");
        double s = 0, a = 0, c = 0;
        const bool read = p && std::fscanf(p, "%lf %lf %lf", &s, &a, &c) == 3;
        if (p) pclose(p);
        if (!read) {
            std::fprintf(stderr, "bench_first_use: a run failed (modules in lib/kairoll? libcurl.so.4?)\n");
            return 1;
        }
        if (r == 0) continue;  // the first run brings the libraries into the page cache
        sound.push_back(s);
        atspi.push_back(a);
        curl.push_back(c);
    }
    auto report = [](const char* what, std::vector<double> v) {
        std::sort(v.begin(), v.end());
        std::printf("%-44s %7.1f / %-7.1f\n", what, v.front(), v[v.size() / 2]);
    };
    std::printf("%-44s %17s\n", "opened on first use (ms)", "min / median");
    report("sound player module (Qt Multimedia)", sound);
    report("AT-SPI reader module", atspi);
    report("libcurl (with curl_global_init)", curl);
    return 0;
}
