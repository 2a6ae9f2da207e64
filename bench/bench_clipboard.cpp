// bench-libs: kr_organiser_windows
// The Clipboard Manager over 10,000 entries of 8 KB each (an encrypted data
// file), offscreen: the time to open the window and to scroll it (to the
// end, then 30 pages up), and how many entries' contents were read for it.
// Only the rows on show read their contents; the list itself reads the
// fields.
//
//   bench_clipboard [entries]
#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dictionary/Dictionary.h"
#include "dictionary/OpenTable.h"
#include "dictionary/Settings.h"
#include "organiser/windows/ClipboardWindows.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/ui/Application.h"
#include "platform/ui/ProcedureThread.h"
#include "scheduler/ClipboardMonitor.h"

using namespace kr;

namespace {

void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

double Ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::atoi(argv[1]) : 10000;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    Application app(argc, argv);
    char tmpl[] = "/tmp/kr-bench-clip-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::filesystem::path dir = tmpl;
    std::filesystem::current_path(dir);
    ScriptedResponder quiet;
    InstallMessageService(&quiet);
    DictionaryInit();
    OpenTable(ConfigurationDef());
    data::Table& t = data::TableOf(ClipboardDef());
    OpenTable(t);

    auto start = std::chrono::steady_clock::now();
    data::Logout({&t});
    ClipboardRecord& r = t.Rec<ClipboardRecord>();
    std::string body(8192, 'x');
    for (int i = 0; i < entries; ++i) {
        const std::string head = "Entry " + std::to_string(i) + " http://x.test/" + std::to_string(i) + " ";
        r = ClipboardRecord();
        r.ClipContents = head + body.substr(head.size());
        r.ClipHashKey = ClipboardEntryKey(head);
        r.Category = i % 3 ? "General" : "Work";
        r.ClipDate = MakeDate(1, 1, 2024) + i / 100;
        r.ClipTime = 1 + i % 100 * 6000;
        t.Add();
    }
    data::Commit();
    std::printf("filled %d entries of 8 KB: %.0f ms\n", entries, Ms(start));
    PutSetting(kClipKeyRuleSetting, kClipKeyRule);

    BrowseClipboardWindow* w = nullptr;
    start = std::chrono::steady_clock::now();
    Start(kBrowseClipboardProcedure, [&w] { w = BrowseClipboard(); });
    while (!(w && w->IsOpen())) QCoreApplication::processEvents();
    Pump(50);
    const double openMs = Ms(start);
    QTableView* view = w->Layout().list;
    const int shown = view->viewport()->height() / std::max(1, view->verticalHeader()->defaultSectionSize());
    std::printf("open: %.1f ms (with 50 ms of events), %lld rows listed, %d on show, contents read: %lld\n", openMs,
                static_cast<long long>(w->List().Records()), shown, static_cast<long long>(w->Contents().reads()));

    const int64_t before = w->Contents().reads();
    start = std::chrono::steady_clock::now();
    view->scrollToBottom();
    view->viewport()->repaint();
    QCoreApplication::processEvents();
    std::printf("scroll to the end: %.1f ms, contents read: %lld\n", Ms(start),
                static_cast<long long>(w->Contents().reads() - before));
    const int64_t before2 = w->Contents().reads();
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < 30; ++i) {
        view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
        view->viewport()->repaint();
        QCoreApplication::processEvents();
    }
    std::printf("30 pages up: %.1f ms, contents read: %lld\n", Ms(start),
                static_cast<long long>(w->Contents().reads() - before2));

    w->CloseNow();
    Pump(20);
    t.Close();
    data::TableOf(ConfigurationDef()).Close();
    DictionaryKill();
    data::CloseIdleFiles();
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    return 0;
}
