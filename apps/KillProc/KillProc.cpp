// KillProc NAME: ends the running programs called NAME.
//
// The "Close Program" script step starts "KillProc " followed by the item's
// program. The name may be written the Windows way ("notepad.exe",
// "C:\Apps\Tool.EXE") or as a Linux path: only its last part counts, without
// regard to case and without ".exe". A process matches when that name equals
// its program name (/proc/PID/comm, which the kernel cuts to 15 characters),
// the last part of its executable, or the last part of its first argument.
//
// The kernel's short name is compared only when NAME fits in it: a longer
// NAME must match the executable or the first argument whole, so
// "longprogramname-one" never ends "longprogramname-two".
//
// Each match gets SIGTERM, the polite request; those still running after a
// grace period of three seconds get SIGKILL. KillProc never ends itself, any
// program it was started under (its parent, that one's parent, and so on),
// the main program KR98, nor a process of another user (also when run as
// root), whatever NAME says.
//
// Exit codes: 0 when every match has ended, 1 when no process matched,
// 2 for a missing name, 3 when a match could not be ended (no permission).
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr auto kGrace = std::chrono::seconds(3);
constexpr auto kPoll = std::chrono::milliseconds(50);

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The last part of a path written with "/" or "\", lower case, without ".exe".
std::string ProgramName(const std::string& path) {
    std::string s = path;
    while (!s.empty() && (s.back() == ' ' || s.back() == '"')) s.pop_back();
    const std::size_t slash = s.find_last_of("/\\");
    if (slash != std::string::npos) s = s.substr(slash + 1);
    while (!s.empty() && s.front() == '"') s.erase(0, 1);
    s = Lower(s);
    if (s.size() > 4 && s.compare(s.size() - 4, 4, ".exe") == 0) s.resize(s.size() - 4);
    return s;
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The kernel's short name (cut to 15 characters), then the last parts of the
// executable and of the first argument.
std::vector<std::string> Names(pid_t pid) {
    const std::string base = "/proc/" + std::to_string(pid);
    std::vector<std::string> names;
    names.push_back(ProgramName(ReadFirstLine(base + "/comm")));
    char exe[4096];
    const ssize_t n = readlink((base + "/exe").c_str(), exe, sizeof exe - 1);
    if (n > 0) {
        std::string e(exe, static_cast<std::size_t>(n));
        const std::string deleted = " (deleted)";
        if (e.size() > deleted.size() && e.compare(e.size() - deleted.size(), deleted.size(), deleted) == 0)
            e.resize(e.size() - deleted.size());
        names.push_back(ProgramName(e));
    }
    std::ifstream cmd(base + "/cmdline", std::ios::binary);
    std::string argv0;
    std::getline(cmd, argv0, '\0');
    if (!argv0.empty()) names.push_back(ProgramName(argv0));
    return names;
}

// True while the process exists and is not a zombie (ended, not yet reaped).
bool Running(pid_t pid) {
    const std::string stat = ReadFirstLine("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t paren = stat.rfind(')');
    if (stat.empty() || paren == std::string::npos || paren + 2 >= stat.size()) return false;
    const char state = stat[paren + 2];
    return state != 'Z' && state != 'X';
}

// /proc/PID/comm holds at most 15 characters of the name.
constexpr std::size_t kShortName = 15;

bool Matches(const std::vector<std::string>& names, const std::string& wanted) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty()) continue;
        if (i == 0 && wanted.size() > kShortName) continue;  // the short name cannot tell
        if (names[i] == wanted) return true;
    }
    return false;
}

pid_t ParentOf(pid_t pid) {
    const std::string stat = ReadFirstLine("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t paren = stat.rfind(')');
    if (paren == std::string::npos || paren + 4 >= stat.size()) return 0;
    return static_cast<pid_t>(std::strtol(stat.c_str() + paren + 4, nullptr, 10));
}

// This process and every process it runs under, up to the first.
std::set<pid_t> Ancestors() {
    std::set<pid_t> chain;
    for (pid_t p = getpid(); p > 1 && chain.insert(p).second;) p = ParentOf(p);
    return chain;
}

bool OwnedByUs(pid_t pid) {
    struct stat st {};
    return ::stat(("/proc/" + std::to_string(pid)).c_str(), &st) == 0 && st.st_uid == getuid();
}

// Never ended, before their names are read: the first process, those this
// one runs under, and other users' processes.
bool Protected(pid_t pid, const std::set<pid_t>& ancestors) {
    return pid <= 1 || ancestors.count(pid) || !OwnedByUs(pid);
}

bool IsMainProgram(const std::vector<std::string>& names) {
    return std::find(names.begin(), names.end(), "kr98") != names.end();
}

}  // namespace

int main(int argc, char** argv) {
    // The name may hold blanks; the caller passes it unquoted.
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) joined += ' ';
        joined += argv[i];
    }
    const std::string wanted = ProgramName(joined);
    if (wanted.empty()) {
        std::fprintf(stderr, "Usage: KillProc PROGRAM\n");
        return 2;
    }
    const std::set<pid_t> ancestors = Ancestors();
    std::vector<pid_t> targets;
    if (DIR* d = opendir("/proc")) {
        while (dirent* e = readdir(d)) {
            char* end = nullptr;
            const long pid = std::strtol(e->d_name, &end, 10);
            if (pid <= 0 || *end != '\0') continue;
            const auto p = static_cast<pid_t>(pid);
            if (Protected(p, ancestors) || !Running(p)) continue;
            const std::vector<std::string> names = Names(p);  // three files of /proc, read once
            if (IsMainProgram(names) || !Matches(names, wanted)) continue;
            targets.push_back(p);
        }
        closedir(d);
    }
    if (targets.empty()) {
        std::fprintf(stderr, "KillProc: no running program called %s\n", joined.c_str());
        return 1;
    }

    bool refused = false;
    for (pid_t p : targets)
        if (kill(p, SIGTERM) != 0 && errno == EPERM) refused = true;

    const auto deadline = std::chrono::steady_clock::now() + kGrace;
    auto alive = [&] {
        return std::any_of(targets.begin(), targets.end(), [](pid_t p) { return Running(p); });
    };
    while (alive() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(kPoll);
    for (pid_t p : targets)
        if (Running(p) && kill(p, SIGKILL) != 0 && errno == EPERM) refused = true;
    const auto killDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (alive() && std::chrono::steady_clock::now() < killDeadline) std::this_thread::sleep_for(kPoll);

    if (refused || alive()) {
        std::fprintf(stderr, "KillProc: could not end every program called %s\n", joined.c_str());
        return 3;
    }
    return 0;
}
