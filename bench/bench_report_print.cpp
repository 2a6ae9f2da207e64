// bench-libs: kr_report kr_reports_windows
// One schedule report run through the report windows, offscreen, as a
// report procedure runs it: memory, pages a second and the longest the
// GUI thread's event loop went without turning.
//
//   bench_report_print brief [daily] preview|straight [keep.pdf]
//   bench_report_print full [tasks] preview|straight [keep.pdf]
//
// "brief": `daily` daily tasks (10,000), the work file of their
// occurrences over 30 days built through its two progress windows, then
// the brief schedule from it. "full": `tasks` tasks (100,000), the full
// schedule in date order. "preview" opens the preview and presses its Print
// as soon as it shows; "straight" prints without the preview. Printing
// writes a PDF file. Data files, PDF and kept pages go under $TMPDIR.
//
// Peak resident memory (VmHWM) is reset (clear_refs) before the work file
// and again before the report, so each step's peak is its own; the whole
// process's peak is the largest of them. A timer firing every millisecond
// on the GUI thread gives the longest interval between its firings, and
// the step it fell in (KR_BENCH_GAPS=ms also lists every interval longer
// than that as it ends). One run per process: a driver takes turns
// between two builds and takes medians.
//
// "brief" first builds the work file once more and presses the progress
// window's Cancel KR_BENCH_CANCEL_S seconds (default 5; 0 leaves this out)
// into the build, from another thread as a user's click would come: the
// Cancel answer is the time from that moment to the window's end, whatever
// step or commit the GUI thread was in. That build's longest gap is given
// too; the report's figures are those of the second, whole run.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/ui/Application.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "reports/ReportCriteria.h"
#include "reports/Workfile.h"
#include "reports/windows/PrintRun.h"
#include "reports/windows/ReportLayouts.h"
#include "reports/windows/ReportWindows.h"

#include "BenchSupport.h"

using namespace kr;

namespace {

using SteadyClock = std::chrono::steady_clock;
double Seconds(SteadyClock::duration d) { return std::chrono::duration<double>(d).count(); }

// The plan RunPrint takes, whatever it is called in the tree built against.
template <typename F>
struct FirstArgument;
template <typename R, typename A, typename... Rest>
struct FirstArgument<R (*)(A, Rest...)> {
    using type = std::remove_cvref_t<A>;
};
using Plan = FirstArgument<decltype(&reports::RunPrint)>::type::element_type;

// VmHWM or VmRSS of this process in MB.
double StatusMb(const char* field) { return bench::StatusKb(field) / 1024.0; }
using bench::ResetPeak;

// Any message a run shows is answered with its default and counted: the
// runs are meant to ask nothing.
class Answerer : public MessageService {
public:
    int Show(const MessageRequest& r) override {
        std::fprintf(stderr, "message: %s (%s)\n", r.text.c_str(), r.title.c_str());
        ++shown;
        if (r.defaultButton) return r.defaultButton;
        for (int b = 1; b <= r.buttons; b <<= 1)
            if (r.buttons & b) return b;
        return kButtonOk;
    }
    int shown = 0;
};

// The longest interval between firings of a 1 ms precise timer.
class LoopWatch {
public:
    LoopWatch() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start(const char* step) {
        step_ = step;
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    void Step(const char* step) {
        Tick();
        step_ = step;
        if (trace_ > 0) std::fprintf(stderr, "%.3f s: %s\n", clock_.nsecsElapsed() / 1e9, step);
    }
    void Stop() {
        Tick();
        timer_.stop();
    }
    double longest = 0, at = 0;
    std::string longestStep;
    int over100 = 0, over250 = 0;

private:
    void Tick() {
        const qint64 now = clock_.nsecsElapsed();
        const double gap = (now - last_) / 1e6;
        if (gap > longest) {
            longest = gap;
            at = now / 1e9;
            longestStep = step_;
        }
        if (gap > 100) ++over100;
        if (gap > 250) ++over250;
        // KR_BENCH_GAPS=ms lists every interval longer than that as it ends.
        if (trace_ > 0 && gap > trace_) std::fprintf(stderr, "gap %.1f ms ending at %.3f s in %s\n", gap, now / 1e9, step_);
        last_ = now;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    const char* step_ = "";
    const double trace_ = std::getenv("KR_BENCH_GAPS") ? std::atof(std::getenv("KR_BENCH_GAPS")) : 0;
};

int PdfPages(const std::string& file) {
    QProcess p;
    p.start("pdfinfo", {QString::fromStdString(file)});
    p.waitForFinished(600000);
    const QString info = QString::fromUtf8(p.readAllStandardOutput());
    for (const QString& line : info.split('\n'))
        if (line.startsWith("Pages:")) return line.mid(6).trimmed().toInt();
    return -1;
}

struct Figures {
    SteadyClock::time_point start, built, previewShown, printPressed, printed, end;
    double hwmSetup = 0, hwmWorkfile = 0, hwmReport = 0, rssEnd = 0;
    int rows = 0, response = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string kind = argc > 1 ? argv[1] : "brief";
    const bool brief = kind == "brief";
    const int tasks = argc > 2 ? std::atoi(argv[2]) : brief ? 10000 : 100000;
    const std::string how = argc > 3 ? argv[3] : "straight";
    const bool preview = how == "preview";
    const std::string keep = argc > 4 ? argv[4] : "";
    if ((kind != "brief" && kind != "full") || (how != "preview" && how != "straight") || tasks < 1) {
        std::fprintf(stderr, "usage: %s brief|full [tasks] preview|straight [keep.pdf]\n", argv[0]);
        return 2;
    }
    Application app(argc, argv);
    Answerer answerer;
    ScopedMessageService messages(&answerer);

    const std::filesystem::path previous = std::filesystem::current_path();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("bench_report_print." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    const std::string pdf = keep.empty() ? (dir / "out.pdf").string() : keep;
    reports::SetReportOutputFile(pdf);

    const int32_t today = Today();
    const auto setup0 = SteadyClock::now();
    bench::AddTasks(tasks, today, brief);
    const double setupSeconds = Seconds(SteadyClock::now() - setup0);
    if (brief) {
        reports::CriteriaEntries e;
        reports::ApplyCriteriaDefaults(e, today);
        e.dateRange = reports::kSelected;
        e.to = today + 29;
        reports::ApplyCriteriaOk(e, true, reports::Report());
    }

    Figures f;
    LoopWatch watch;
    std::function<void()> release;  // the report thread's hold
    bool pressed = false;
    // Presses the preview's Print as soon as the preview shows.
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [&] {
        if (pressed) return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || !w->windowTitle().startsWith("Print Preview")) continue;
            auto* print = w->findChild<QPushButton*>("print");
            if (!print) continue;
            f.previewShown = SteadyClock::now();
            watch.Step("painting kept pages");
            pressed = true;
            f.printPressed = SteadyClock::now();
            print->click();
            return;
        }
    });

    auto finish = [&](int response) {
        f.end = SteadyClock::now();
        f.response = response;
        f.hwmReport = StatusMb("VmHWM");
        f.rssEnd = StatusMb("VmRSS");
        watch.Stop();
        presser.stop();
        if (release) release();
        QTimer::singleShot(0, &app, [&app] { app.quit(); });
    };
    auto runReport = [&, brief, preview] {
        auto plan = std::make_shared<Plan>();
        if (brief) {
            const reports::ReportVariables& v = reports::Report();
            plan->procedure = "PrintCompleteScheduleBrief";
            plan->layout = reports::BriefLayout("Complete Schedule in Brief", true);
            plan->file = &ScheduleWorkfile_File();
            plan->tableName = "ScheduleWorkfile";
            plan->keyName = reports::ReportKeyName(v.ReportOrder.str(), true);
            plan->filter = reports::WorkfileFilter(v.ReportFilter.str());
            plan->bindReportNames = true;
            plan->batchSize = 50;
        } else {
            plan->procedure = "Print:SCH:AllDateOrder";
            plan->layout = reports::FullTaskLayout();
            plan->file = &Schedule_File();
            plan->tableName = "Schedule";
            plan->keyName = "SCH:KeyDate";
        }
        plan->preview = preview;
        watch.Step(preview ? "laying out pages (kept)" : "laying out and painting pages");
        f.hwmWorkfile = StatusMb("VmHWM");
        ResetPeak();
        f.built = SteadyClock::now();
        if (preview) presser.start(20);
        reports::RunPrint(plan, [&, brief](int response) {
            f.printed = SteadyClock::now();
            if (brief) {
                watch.Step("removing the work file");
                reports::RemoveWorkfile();
            }
            finish(response);
        });
    };

    // The whole report: the work file (brief), then the report itself.
    auto runWhole = [&, brief] {
        f.hwmSetup = std::max(f.hwmSetup, StatusMb("VmHWM"));
        if (!ResetPeak()) std::fprintf(stderr, "cannot reset the peak through /proc/self/clear_refs\n");
        f.start = SteadyClock::now();
        watch.Start(brief ? "work file" : "laying out pages");
        if (!brief) return runReport();
        reports::SetWorkfileName(reports::WorkfileNameFor(ClockTime()));
        reports::CreateWorkfile([&](int response) {
            if (response != kRequestCompleted) {
                std::fprintf(stderr, "the work file was not built\n");
                reports::RemoveWorkfile();
                return finish(response);
            }
            runReport();
        });
    };

    // The cancelled build: Cancel pressed from another thread at a moment
    // the GUI thread does not choose.
    const double cancelAfter = std::getenv("KR_BENCH_CANCEL_S") ? std::atof(std::getenv("KR_BENCH_CANCEL_S")) : 5;
    LoopWatch cancelWatch;
    std::thread canceller;
    SteadyClock::time_point cancelPressed{}, cancelAnswered{};
    bool cancelFound = false;
    auto pressCancel = [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || w->windowTitle() != "Processing Records") continue;
            auto* user = w->findChild<QLabel*>("userText");
            auto* cancel = w->findChild<QPushButton*>("cancel");
            if (!user || !cancel || !user->text().startsWith("Creating")) continue;
            cancelFound = true;
            cancel->click();
            return;
        }
    };
    auto runCancelled = [&] {
        cancelWatch.Start("cancelled work file");
        reports::SetWorkfileName(reports::WorkfileNameFor(ClockTime()));
        const auto begun = SteadyClock::now();
        canceller = std::thread([&, begun] {
            std::this_thread::sleep_until(begun + std::chrono::duration_cast<SteadyClock::duration>(
                                                      std::chrono::duration<double>(cancelAfter)));
            cancelPressed = SteadyClock::now();
            QMetaObject::invokeMethod(&app, pressCancel, Qt::QueuedConnection);
        });
        reports::CreateWorkfile([&](int) {
            cancelAnswered = SteadyClock::now();
            cancelWatch.Stop();
            reports::RemoveWorkfile();
            canceller.join();
            QTimer::singleShot(0, &app, runWhole);
        });
    };

    QTimer::singleShot(0, &app, [&, brief] {
        kr::Start(brief ? "PrintScheduleBrief" : "Print:SCH:AllDateOrder", [&, brief] {
            release = reports::HoldReportThread(brief ? "PrintScheduleBrief" : "Print:SCH:AllDateOrder");
            if (brief && cancelAfter > 0) return runCancelled();
            runWhole();
        });
    });
    app.exec();
    if (canceller.joinable()) canceller.join();

    const int pages = PdfPages(pdf);
    const double hwmProcess = std::max({f.hwmSetup, f.hwmWorkfile, f.hwmReport});
    // The report: from its start to its end, the work file's removal left out.
    const double report = Seconds(f.printed - f.built);
    std::printf("%s %s %s tasks=%d setup_s=%.1f", argv[0], kind.c_str(), how.c_str(), tasks, setupSeconds);
    if (brief) std::printf(" workfile_s=%.2f hwm_workfile_mb=%.1f", Seconds(f.built - f.start), f.hwmWorkfile);
    std::printf(" pages=%d report_s=%.2f pages_per_s=%.1f", pages, report, pages / report);
    if (preview && pressed)
        std::printf(" to_preview_s=%.2f printing_s=%.2f", Seconds(f.previewShown - f.built),
                    Seconds(f.printed - f.printPressed));
    if (brief) std::printf(" remove_workfile_s=%.2f", Seconds(f.end - f.printed));
    std::printf(" hwm_report_mb=%.1f hwm_process_mb=%.1f rss_end_mb=%.1f longest_gap_ms=%.1f gap_step=\"%s\" "
                "gap_at_s=%.2f gaps_over_100ms=%d gaps_over_250ms=%d",
                f.hwmReport, hwmProcess, f.rssEnd, watch.longest, watch.longestStep.c_str(), watch.at,
                watch.over100, watch.over250);
    if (brief && cancelAfter > 0) {
        // -1: the build had ended before Cancel came.
        const double answer = cancelFound ? std::chrono::duration<double, std::milli>(cancelAnswered - cancelPressed).count() : -1;
        std::printf(" cancel_at_s=%.1f cancel_answer_ms=%.1f cancel_build_gap_ms=%.1f", cancelAfter, answer,
                    cancelWatch.longest);
    }
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) == 3) std::printf(" loadavg=%.2f/%.2f/%.2f", load[0], load[1], load[2]);
    std::printf(" response=%d messages=%d\n", f.response, answerer.shown);
    std::fflush(stdout);

    DictionaryKill();
    data::CloseIdleFiles();
    std::filesystem::current_path(previous);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return f.response == kRequestCompleted ? 0 : 1;
}
