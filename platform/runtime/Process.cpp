#include "platform/runtime/Process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Strings.h"

extern char** environ;

namespace kr {

// ---------------------------------------------------------------- command lines

std::vector<std::string> SplitCommandLine(std::string_view s) {
    std::vector<std::string> out;
    std::size_t i = 0, n = s.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (i < n && blank(s[i])) ++i;
    if (i >= n) return out;
    // The program name: quoted up to the closing quote, else up to a blank.
    std::string program;
    if (s[i] == '"') {
        ++i;
        while (i < n && s[i] != '"') program += s[i++];
        if (i < n) ++i;
    }
    while (i < n && !blank(s[i])) program += s[i++];
    out.push_back(program);
    while (true) {
        while (i < n && blank(s[i])) ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        while (i < n) {
            char c = s[i];
            if (blank(c) && !quoted) break;
            if (c == '\\') {
                std::size_t k = i;
                while (k < n && s[k] == '\\') ++k;
                std::size_t count = k - i;
                if (k < n && s[k] == '"') {
                    arg.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        arg += '"';
                        i = k + 1;
                    } else {
                        i = k;  // the quote is read next
                    }
                } else {
                    arg.append(count, '\\');
                    i = k;
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < n && s[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += c;
            ++i;
        }
        out.push_back(arg);
    }
    return out;
}

// ---------------------------------------------------------------- finding programs

namespace {

std::mutex g_folderMutex;
std::string g_programFolder;

bool IsFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDir(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsExecutable(const std::string& path) { return IsFile(path) && ::access(path.c_str(), X_OK) == 0; }


// The entry of dir named name without regard to case; empty when none.
std::string MatchNoCase(const std::string& dir, const std::string& name) {
    if (name.empty()) return {};
    std::string exact = dir + "/" + name;
    struct stat st;
    if (::stat(exact.c_str(), &st) == 0) return exact;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return {};
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (std::strlen(e->d_name) == name.size() && EqualNoCase(e->d_name, name)) {
            found = dir + "/" + e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

bool EndsWithExe(const std::string& name) {
    return name.size() > 4 && EqualNoCase(std::string_view(name).substr(name.size() - 4), ".exe");
}

// Looks for name (and name without ".exe") in dir, without regard to case.
// Sets found to a file that exists even when it is not executable.
std::string FindInFolder(const std::string& dir, const std::string& name, std::string* found) {
    std::vector<std::string> names{name};
    if (EndsWithExe(name)) names.push_back(name.substr(0, name.size() - 4));
    for (const std::string& n : names) {
        std::string p = MatchNoCase(dir, n);
        if (p.empty() || !IsFile(p)) continue;
        if (IsExecutable(p)) return p;
        if (found && found->empty()) *found = p;
    }
    return {};
}

// Resolves a path with a folder part, each part matched without regard to case.
std::string ResolvePath(const std::string& base, const std::string& path) {
    std::string result = path.front() == '/' ? std::string() : base;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t slash = path.find('/', i);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(i, slash - i);
        i = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            std::size_t up = result.find_last_of('/');
            result = up == std::string::npos || up == 0 ? std::string() : result.substr(0, up);
            continue;
        }
        std::string m = MatchNoCase(result, part);  // result "" is the root: "" + "/" + part
        result = m.empty() ? (result + "/" + part) : m;
    }
    return result.empty() ? "/" : result;
}

std::string FindProgramImpl(std::string_view nameIn, std::string_view startFolder, std::string* notExecutable) {
    std::string name = Trim(nameIn);
    for (char& c : name)
        if (c == '\\') c = '/';
    if (name.empty()) return {};
    std::string start = Trim(startFolder);
    for (char& c : start)
        if (c == '\\') c = '/';
    std::string base = start.empty() ? CurrentFolder() : (start.front() == '/' ? start : CurrentFolder() + "/" + start);

    if (name.find('/') != std::string::npos) {
        std::string p = ResolvePath(base, name);
        std::size_t slash = p.find_last_of('/');
        std::string dir = slash == 0 ? "/" : p.substr(0, slash);
        return FindInFolder(dir, p.substr(slash + 1), notExecutable);
    }
    std::string own = ProgramFolder();
    if (!own.empty())
        if (std::string p = FindInFolder(own, name, notExecutable); !p.empty()) return p;
    if (std::string p = FindInFolder(base, name, notExecutable); !p.empty()) return p;
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::vector<std::string> names{name};
    if (EndsWithExe(name)) names.push_back(name.substr(0, name.size() - 4));
    for (const std::string& n : names) {
        std::size_t i = 0;
        while (i <= dirs.size()) {
            std::size_t colon = dirs.find(':', i);
            if (colon == std::string::npos) colon = dirs.size();
            std::string dir = dirs.substr(i, colon - i);
            i = colon + 1;
            if (dir.empty()) continue;  // an empty entry would mean the current folder: not searched
            std::string p = dir + "/" + n;
            if (IsExecutable(p)) return p;
            if (IsFile(p) && notExecutable && notExecutable->empty()) *notExecutable = p;
        }
    }
    return {};
}

// ---------------------------------------------------------------- the children

struct Child {
    bool running = true;
    int exitCode = 0;
    unsigned long generation = 0;
};

class Registry {
public:
    std::mutex mutex;
    std::condition_variable changed;
    std::unordered_map<int, Child> children;
    std::deque<std::pair<int, unsigned long>> finished;  // oldest first
    unsigned long generation = 0;
    int running = 0;
    bool reaperActive = false;

    static constexpr std::size_t kKeepFinished = 4096;

    void Add(int pid) {
        std::lock_guard<std::mutex> l(mutex);
        Child c;
        c.generation = ++generation;
        auto it = children.find(pid);
        if (it != children.end() && it->second.running) --running;  // cannot happen for a live pid
        children[pid] = c;
        ++running;
        if (!reaperActive) {
            reaperActive = true;
            std::thread([this] { Reap(); }).detach();
        }
    }

    // With the mutex held: asks once whether pid has ended.
    void TryReap(int pid, Child& c) {
        if (!c.running) return;
        int status = 0;
        pid_t r;
        do {
            r = ::waitpid(pid, &status, WNOHANG);
        } while (r < 0 && errno == EINTR);
        if (r == 0) return;
        if (r < 0) {
            c.exitCode = -1;  // reaped elsewhere: the code is lost
        } else if (WIFEXITED(status)) {
            c.exitCode = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            c.exitCode = 128 + WTERMSIG(status);
        } else {
            return;  // stopped or continued: still there
        }
        c.running = false;
        --running;
        finished.emplace_back(pid, c.generation);
        while (finished.size() > kKeepFinished) {
            auto [oldPid, gen] = finished.front();
            finished.pop_front();
            auto it = children.find(oldPid);
            if (it != children.end() && !it->second.running && it->second.generation == gen) children.erase(it);
        }
        changed.notify_all();
    }

    void ReapAll() {
        for (auto& [pid, c] : children) TryReap(pid, c);
    }

private:
    // The background reaper: runs while any child runs, ends when none does.
    void Reap() {
        std::unique_lock<std::mutex> l(mutex);
        while (true) {
            ReapAll();
            if (running <= 0) {
                reaperActive = false;
                return;
            }
            changed.wait_for(l, std::chrono::milliseconds(50));
        }
    }
};

Registry& Children() {
    static Registry* r = new Registry;  // never destroyed: the reaper may outlive static destruction
    return *r;
}

int ErrorFromErrno(int e) {
    switch (e) {
        case ENOENT: return kFileNotFound;
        case ENOTDIR: return kPathNotFound;
        case EACCES: case EPERM: return kAccessDenied;
        case ENOMEM: case E2BIG: return kInsufficientMemory;
        case EMFILE: case ENFILE: return kTooManyOpenFiles;
        case ENOEXEC: return kAccessDenied;
        default: return kAccessDenied;
    }
}

StartResult Failed(int code, std::string message) {
    StartResult r;
    r.error = code;
    r.message = std::move(message);
    return r;
}

int Spawn(const std::string& path, const std::vector<std::string>& args, const std::string& folder, pid_t& pid) {
    // A program named the Windows way ("KRMsg.EXE") runs under its own name
    // here: argv[0] is what the desktop shows as its process and window class.
    std::string name0;
    if (!args.empty()) {
        const std::string& a0 = args[0];
        const std::string file = path.substr(path.find_last_of('/') + 1);
        if (a0.size() > 4 && Upper(a0.substr(a0.size() - 4)) == ".EXE" && Upper(file.substr(file.size() >= 4 ? file.size() - 4 : 0)) != ".EXE")
            name0 = file;
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    if (!name0.empty()) argv[0] = const_cast<char*>(name0.c_str());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attr, &none);     // the child starts with no signal blocked
    posix_spawnattr_setsigdefault(&attr, &all);   // and none ignored (SIGPIPE, SIGCHLD)
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    // A file the kernel cannot run (ENOEXEC) is refused: it is never handed
    // to a shell, since documents on FAT, NTFS and SMB mounts carry the
    // execute bit too.
    int rc = posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

}  // namespace

std::string CurrentFolder() {
    char buf[PATH_MAX];
    if (::getcwd(buf, sizeof buf)) return buf;
    return ".";
}

std::string ProgramFolder() {
    {
        std::lock_guard<std::mutex> l(g_folderMutex);
        if (!g_programFolder.empty()) return g_programFolder;
    }
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string exe(buf, static_cast<std::size_t>(n));
    std::size_t slash = exe.find_last_of('/');
    return slash == std::string::npos ? std::string() : (slash == 0 ? "/" : exe.substr(0, slash));
}

void SetProgramFolder(std::string folder) {
    std::lock_guard<std::mutex> l(g_folderMutex);
    g_programFolder = std::move(folder);
}

std::string FindProgram(std::string_view name, std::string_view startFolder) {
    return FindProgramImpl(name, startFolder, nullptr);
}

StartResult StartProgram(std::string_view commandLine, std::string_view startFolder, bool wait) {
    StartOptions o;
    o.startFolder = std::string(startFolder);
    o.wait = wait;
    return StartProgram(commandLine, o);
}

bool IsProgramFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    char head[4] = {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const ssize_t n = regular ? ::read(fd, head, sizeof head) : 0;
    ::close(fd);
    if (n >= 2 && head[0] == '#' && head[1] == '!') return true;
    return n == 4 && head[0] == 0x7f && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
}

StartResult StartProgram(std::string_view commandLine, const StartOptions& options) {
    return StartProgramArgs(SplitCommandLine(commandLine), options);
}

StartResult StartProgramArgs(std::vector<std::string> args, const StartOptions& options) {
    if (args.empty() || Trim(args[0]).empty()) return Failed(kFileNotFound, "No program given");

    std::string folder = Trim(options.startFolder);
    for (char& c : folder)
        if (c == '\\') c = '/';
    if (!folder.empty()) {
        if (folder.front() != '/') folder = CurrentFolder() + "/" + folder;
        if (!IsDir(folder)) return Failed(kPathNotFound, "Start folder not found: " + options.startFolder);
    }

    std::string notExecutable;
    std::string path = FindProgramImpl(args[0], folder, &notExecutable);
    if (path.empty()) {
        if (!notExecutable.empty()) return Failed(kAccessDenied, "Not a program that can be run: " + notExecutable);
        return Failed(kFileNotFound, "Program not found: " + args[0]);
    }

    pid_t pid = 0;
    // A child that ends before it is registered stays a zombie until then,
    // so its exit code is not lost.
    int rc = Spawn(path, args, folder, pid);
    if (rc != 0) return Failed(ErrorFromErrno(rc), "Cannot start " + path + ": " + std::strerror(rc));
    Children().Add(pid);

    if (options.priority == ProgramPriority::Idle) ::setpriority(PRIO_PROCESS, static_cast<id_t>(pid), 19);
    if (options.priority == ProgramPriority::High) ::setpriority(PRIO_PROCESS, static_cast<id_t>(pid), -5);  // needs the right to; else stays normal

    StartResult r;
    r.pid = pid;
    if (options.wait) {
        ProgramState s = WaitForProgram(pid, -1);
        r.exitCode = s.exitCode;
    }
    return r;
}

int PollExitCode(int pid) {
    Registry& reg = Children();
    std::lock_guard<std::mutex> l(reg.mutex);
    auto it = reg.children.find(pid);
    if (it == reg.children.end()) return -1;
    reg.TryReap(pid, it->second);
    return it->second.running ? kStillActive : it->second.exitCode;
}

ProgramState WaitForProgram(int pid, int timeoutMs) {
    Registry& reg = Children();
    std::unique_lock<std::mutex> l(reg.mutex);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    while (true) {
        auto it = reg.children.find(pid);
        if (it == reg.children.end()) return ProgramState{};
        reg.TryReap(pid, it->second);
        if (!it->second.running) return ProgramState{true, false, it->second.exitCode};
        auto now = std::chrono::steady_clock::now();
        if (timeoutMs >= 0 && now >= deadline) return ProgramState{true, true, 0};
        // Ask again shortly; the reaper's notices wake this sooner.
        auto step = std::chrono::milliseconds(10);
        if (timeoutMs >= 0 && deadline - now < step)
            reg.changed.wait_until(l, deadline);
        else
            reg.changed.wait_for(l, step);
    }
}

void ForgetProgram(int pid) {
    Registry& reg = Children();
    std::lock_guard<std::mutex> l(reg.mutex);
    auto it = reg.children.find(pid);
    if (it != reg.children.end() && !it->second.running) reg.children.erase(it);
}

}  // namespace kr
