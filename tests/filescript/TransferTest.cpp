// KRFTP and HTTPGET run from a script against real servers on 127.0.0.1:
// Python's HTTP server and pyftpdlib, each on a free port. The script's
// transfer items become waited program starts, so EXITCODE is the program's.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QThread>
#include <fstream>

#include "scheduler/StartScript.h"
#include "scriptedit/ScriptExchange.h"
#include "tests/script/ScriptTestSupport.h"

namespace kr {
namespace {

namespace fs = std::filesystem;

int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(s);
    return ntohs(a.sin_port);
}

bool Accepting(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

// A Python with the FTP server module: the system's first, as it is where
// the distribution's package goes.
std::string PythonWithFtp() {
    for (const char* p : {"/usr/bin/python3", "python3"})
        if (std::system((std::string(p) + " -c 'import pyftpdlib' >/dev/null 2>&1").c_str()) == 0) return p;
    return {};
}

class Server {
public:
    Server(const std::string& python, std::vector<std::string> args, const fs::path& folder, int port) {
        pid_ = ::fork();
        if (pid_ == 0) {
            if (::chdir(folder.c_str()) != 0) _exit(127);
            std::vector<char*> argv{const_cast<char*>(python.c_str())};
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            _exit(127);
        }
        QElapsedTimer t;
        t.start();
        while (!Accepting(port) && t.elapsed() < 15000) QThread::msleep(50);
        up_ = Accepting(port);
    }
    ~Server() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool up() const { return up_; }

private:
    pid_t pid_ = -1;
    bool up_ = false;
};

class TransferTest : public test::ScriptFixture {
protected:
    void SetUp() override {
        ScriptFixture::SetUp();
        SetProgramFolder(KR_BIN_DIR);
    }
    static Scripting Transfer(const char* type, const std::string& from, const std::string& to,
                              const std::string& host = {}, const std::string& user = {},
                              const std::string& password = {}) {
        Scripting s = Item("File Actions");
        s.DDEType = type;
        s.Command = from;
        s.Path = to;
        s.DDEApplicationName = host;
        std::string login = user;
        login.resize(128, ' ');
        s.DDEApplicationTopic = login + password;
        return s;
    }
    // Runs the queue with the real programs: ticks until it is empty, waiting
    // for real time while a program runs.
    void RunWithPrograms() {
        QElapsedTimer t;
        t.start();
        while (!ScriptQueue().Empty() && t.elapsed() < 60000) {
            Tick();
            QThread::msleep(20);
        }
        ASSERT_TRUE(ScriptQueue().Empty());
    }
};

TEST_F(TransferTest, HttpgetDownloadsAndARefusedConnectionGivesACode) {
    const fs::path www = dir_ / "www";
    fs::create_directories(www);
    std::ofstream(www / "page.txt", std::ios::binary) << "served page";
    const int port = FreePort();
    Server http("python3", {"-m", "http.server", std::to_string(port), "--bind", "127.0.0.1"}, www, port);
    ASSERT_TRUE(http.up()) << "python3 -m http.server did not start";

    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    QueueTask(1, {Transfer("HTTP Download", base + "/page.txt", (dir_ / "got.txt").string()),
                  Set("FIRST", "[EXITCODE]"),
                  Transfer("HTTP Download", base + "/missing.txt", (dir_ / "missing.txt").string()),
                  Set("SECOND", "[EXITCODE]"),
                  Transfer("HTTP Download", "http://127.0.0.1:" + std::to_string(FreePort()) + "/x",
                           (dir_ / "x.txt").string()),
                  Set("THIRD", "[EXITCODE]")});
    RunWithPrograms();
    EXPECT_EQ(Value("FIRST"), "0");
    std::ifstream in(dir_ / "got.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "served page");
    EXPECT_EQ(Value("SECOND"), "22");  // the server's 404
    EXPECT_EQ(Value("THIRD"), "7");    // nobody listening
    EXPECT_FALSE(fs::exists(dir_ / "missing.txt") || fs::exists(dir_ / "x.txt"));
}

TEST_F(TransferTest, EveryCharacterOfTheLoginReachesKrftpAndThePasswordIsNotLogged) {
    // A KRFTP of the test's own, in the programs' folder, that writes down
    // the arguments it was given.
    const fs::path programs = dir_ / "programs";
    Script(programs / "KRFTP", "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"" + (dir_ / "args.txt").string() +
                                   "\"");
    SetProgramFolder(programs.string());
    const std::string password = "se\"cr\\\"et \\x\\";
    QueueTask(1, {Transfer("FTP Upload", (dir_ / "up load.txt").string(), "/in\\", "host", "b\"ob", password)});
    RunWithPrograms();
    std::ifstream in(dir_ / "args.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "[U]\n[" + (dir_ / "up load.txt").string() + "]\n[/in\\]\n[host]\n[b\"ob]\n[" + password + "]\n");
    bool started = false;
    for (const auto& line : Log()) {
        EXPECT_EQ(line.text.find("se\"cr"), std::string::npos) << line.label << ": " << line.text;
        if (line.label == "Run Program" && line.text.find("KRFTP U ") == 0) {
            started = true;
            EXPECT_NE(line.text.find(" ********"), std::string::npos) << line.text;
        }
    }
    EXPECT_TRUE(started);
}

TEST_F(TransferTest, KrftpUploadsAndDownloadsFromAScriptFile) {
    const std::string python = PythonWithFtp();
    if (python.empty()) GTEST_SKIP() << "pyftpdlib is not installed (scripts/setup installs python3-pyftpdlib)";
    const fs::path root = dir_ / "ftproot";
    fs::create_directories(root);
    const int port = FreePort();
    const std::string password = "pass word!";
    Server ftp(python, {"-m", "pyftpdlib", "-i", "127.0.0.1", "-p", std::to_string(port), "-w", "-d", root.string(),
                        "-u", "bob", "-P", password},
               root, port);
    ASSERT_TRUE(ftp.up()) << "pyftpdlib did not start";

    std::ofstream(dir_ / "up load.txt", std::ios::binary) << "to the server";
    const std::string host = "127.0.0.1:" + std::to_string(port);
    // The transfers come from a script file, as a Start Script step reads them.
    auto line = [](const Scripting& s) {
        Export row;
        WriteExchangeRow(s, row);
        return FormatExchangeLine(row);
    };
    std::ofstream(dir_ / "ftp.krs", std::ios::binary)
        << line(Transfer("FTP Upload", (dir_ / "up load.txt").string(), "/", host, "bob", password))
        << line(Set("UP", "[EXITCODE]"))
        << line(Transfer("FTP Download", "up load.txt", (dir_ / "back.txt").string(), host, "bob", password))
        << line(Set("DOWN", "[EXITCODE]"))
        << line(Transfer("FTP Download", "up load.txt", (dir_ / "denied.txt").string(), host, "bob", "wrong"))
        << line(Set("DENIED", "[EXITCODE]"));
    StartScriptRunner runner;
    InstallStartScriptService(&runner);
    Scripting start = Item("Start Script");
    start.Command = (dir_ / "ftp.krs").string();
    start.Path = "Jump to";
    QueueTask(1, {start});
    RunWithPrograms();

    EXPECT_EQ(Value("UP"), "0");
    std::ifstream up(root / "up load.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(up), {}), "to the server");
    EXPECT_EQ(Value("DOWN"), "0");
    std::ifstream back(dir_ / "back.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(back), {}), "to the server");
    EXPECT_NE(Value("DENIED"), "0");
    EXPECT_FALSE(fs::exists(dir_ / "denied.txt"));
}

}  // namespace
}  // namespace kr
