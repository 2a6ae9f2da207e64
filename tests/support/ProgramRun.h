// Running the suite's built programs from a test: a temporary folder of the
// test's own, one of the programs (KR98 unless named) started on it with a
// home and settings folders inside it, the test's message responses, what it
// writes kept in files for failure messages, and the program ended when the
// test is done. Display-free: the window side is tests/desktop/ProgramDesktop.h.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "WaitUntil.h"

namespace kr::test {

// A whole file as text ("" when it is missing).
inline std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A fresh folder under /tmp, removed with all it holds when the object goes.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& prefix) {
        std::string tmpl = "/tmp/" + prefix + "-XXXXXX";
        if (mkdtemp(tmpl.data())) path_ = tmpl;
    }
    ~TemporaryFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Ended: no such process, or one only waiting to be reaped.
inline bool ProcessGone(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return true;
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

// One line of a program's event log: its label and its text, trailing
// blanks cut.
struct EventLogEntry {
    std::string label;
    std::string text;
};

inline std::vector<EventLogEntry> ReadEventLog(const std::filesystem::path& folder) {
    auto clip = [](std::string s) { return s.erase(s.find_last_not_of(' ') + 1); };
    std::vector<EventLogEntry> out;
    std::ifstream in(folder / "KR98Evnt.LOG", std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 54) continue;
        out.push_back({clip(line.substr(22, 32)), clip(line.substr(54))});
    }
    return out;
}

// One run of a built program. Its environment is the test's, with
// HOME, XDG_CONFIG_HOME and XDG_DATA_HOME in the given folder ("home",
// "config", "xdg"), so no setting of the user's reaches it; no test hook is
// set unless the test sets it. It starts in that folder unless told another.
// Its standard output and error go to files in its home (one pair a run): nothing it starts
// holds the test's own output open after the test ends.
class ProgramRun {
public:
    explicit ProgramRun(std::string program = "KR98") : program_(std::move(program)) {
        static int runs = 0;
        outputName_ = program_ + "-" + std::to_string(++runs);
    }
    ~ProgramRun() { Stop(); }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Sets up the environment for a run on folder, on the given Qt platform.
    void Prepare(const std::filesystem::path& folder, const std::string& platform = "xcb") {
        folder_ = folder;
        workingFolder_ = folder;
        std::filesystem::create_directories(folder / "home");
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("QT_QPA_PLATFORM", QString::fromStdString(platform));
        env_.insert("HOME", Path(folder / "home"));
        env_.insert("XDG_CONFIG_HOME", Path(folder / "config"));
        env_.insert("XDG_DATA_HOME", Path(folder / "xdg"));
        env_.remove("KR_TEST_EXIT_AFTER_STARTUP");
        env_.remove("KR_TEST_RESPONSES");
        env_.remove("KR_TEST_WRITE_FAULT");
    }
    // The message responder's script (a file, made empty when missing): its
    // answers, and what was asked logged beside it ("<file>.log").
    void SetResponses(const std::filesystem::path& file) {
        if (!std::filesystem::exists(file)) std::ofstream(file).close();
        responses_ = file;
        env_.insert("KR_TEST_RESPONSES", Path(file));
    }
    void SetEnv(const std::string& name, const std::string& value) {
        env_.insert(QString::fromStdString(name), QString::fromStdString(value));
    }
    void SetWorkingFolder(const std::filesystem::path& folder) { workingFolder_ = folder; }
    // The program is taken from this folder instead of the build's (an
    // installed copy).
    void SetProgramFolder(const std::filesystem::path& folder) { programFolder_ = folder; }

    bool Start(const QStringList& arguments = {}) {
        const std::filesystem::path home = folder_ / "home";
        p_.setProcessEnvironment(env_);
        p_.setWorkingDirectory(Path(workingFolder_));
        p_.setStandardOutputFile(Path(home / (outputName_ + ".out")));
        p_.setStandardErrorFile(Path(home / (outputName_ + ".err")));
        p_.start(Path(programFolder_ / program_), arguments);
        return p_.waitForStarted(10000);
    }
    // Asks it to end, and kills it when it does not within a while.
    void Stop() {
        if (p_.state() == QProcess::NotRunning) return;
        p_.terminate();
        if (!p_.waitForFinished(10000)) p_.kill();
        p_.waitForFinished();
    }
    void Kill() {
        if (p_.state() == QProcess::NotRunning) return;
        p_.kill();
        p_.waitForFinished();
    }
    bool WaitForEnd(int ms) { return p_.waitForFinished(ms); }
    bool Running() const { return p_.state() != QProcess::NotRunning; }
    qint64 pid() const { return p_.processId(); }
    // Its exit code, -1 after a crash.
    int ExitCode() const { return p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1; }
    QProcess& process() { return p_; }

    // What it wrote so far.
    std::string Output() const { return ReadText(folder_ / "home" / (outputName_ + ".out")); }
    std::string Errors() const { return ReadText(folder_ / "home" / (outputName_ + ".err")); }
    // The messages it showed, as the responder logged them.
    std::string Asked() const { return responses_.empty() ? std::string() : ReadText(responses_.string() + ".log"); }
    // Both outputs for a failure message.
    std::string Said() const { return program_ + " wrote:\n" + Output() + Errors(); }

private:
    static QString Path(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

    std::string program_, outputName_;
    std::filesystem::path folder_, workingFolder_, responses_, programFolder_{KR_BIN_DIR};
    QProcessEnvironment env_;
    QProcess p_;
};

}  // namespace kr::test
