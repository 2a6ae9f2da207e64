// A print service of the test's own: Debian's cupsd in the foreground as a
// plain process, its folders (server root, spool, temporary, cache, state,
// logs) in a temporary folder, listening on a Unix socket there and on no
// port. The test process and every process it starts reach it through
// CUPS_SERVER and a private HOME, so a system cupsd and its queues are never
// seen. Queues print through cups-pdf, which reads its output folder from its
// compiled-in configuration folder only: the server writes one
// "cups-pdf-<queue>.conf" there and removes it again.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kr::test {

class CupsServer {
public:
    static constexpr const char* kPdfPpd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
    static constexpr const char* kCupsPdfConfFolder = "/etc/cups";

    // Why the server cannot run here ("" when it can).
    static std::string Unavailable() {
        namespace fs = std::filesystem;
        for (const char* f : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/lib/cups/backend/cups-pdf", kPdfPpd})
            if (!fs::exists(f)) return std::string(f) + " is missing (scripts/setup installs it)";
        if (::geteuid() != 0) return "cups-pdf writes its files only when run as root";
        return {};
    }

    CupsServer() {
        char tmpl[] = "/tmp/kr-cups-XXXXXX";
        if (!::mkdtemp(tmpl)) return;
        dir_ = tmpl;
        // Searchable by the lp user the filters run as.
        for (const char* d : {"", "/spool", "/tmp", "/cache", "/state", "/log", "/home", "/out", "/cpspool"}) {
            std::filesystem::create_directories(dir_ + d);
            ::chmod((dir_ + d).c_str(), 0755);
        }
        ::chmod((dir_ + "/tmp").c_str(), 01777);
        std::ofstream(dir_ + "/cupsd.conf") << "Listen " << socket() << "\n"
                                            << "Browsing No\nWebInterface No\nLogLevel warn\nDefaultAuthType None\n"
                                            << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                            << "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n";
        std::ofstream(dir_ + "/cups-files.conf")
            << "ServerRoot " << dir_ << "\nRequestRoot " << dir_ << "/spool\nTempDir " << dir_ << "/tmp\n"
            << "CacheDir " << dir_ << "/cache\nStateDir " << dir_ << "/state\n"
            << "AccessLog " << dir_ << "/log/access_log\nErrorLog " << dir_ << "/log/error_log\n"
            << "PageLog " << dir_ << "/log/page_log\nSystemGroup root\n"
            << "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n";
        // This process and everything it starts see this server only.
        ::setenv("CUPS_SERVER", socket().c_str(), 1);
        ::setenv("HOME", (dir_ + "/home").c_str(), 1);
        cupsd_.setProgram("/usr/sbin/cupsd");
        cupsd_.setArguments({"-f", "-c", QString::fromStdString(dir_ + "/cupsd.conf"), "-s",
                             QString::fromStdString(dir_ + "/cups-files.conf")});
        cupsd_.setProcessChannelMode(QProcess::MergedChannels);
        cupsd_.setStandardOutputFile(QString::fromStdString(dir_ + "/log/cupsd.out"));
        cupsd_.start();
        if (!cupsd_.waitForStarted(10000)) return;
        for (int i = 0; i < 200 && !Answers(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~CupsServer() {
        if (cupsd_.state() != QProcess::NotRunning) {
            cupsd_.terminate();
            if (!cupsd_.waitForFinished(10000)) {
                cupsd_.kill();
                cupsd_.waitForFinished(5000);
            }
        }
        for (const std::string& f : confFiles_) std::filesystem::remove(f);
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }

    bool running() const { return cupsd_.state() == QProcess::Running && Answers(); }
    std::string socket() const { return dir_ + "/cups.sock"; }
    std::string outFolder() const { return dir_ + "/out"; }
    std::string errorLog() const {
        std::ifstream in(dir_ + "/log/error_log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // A cups-pdf queue writing into outFolder(); false when lpadmin failed.
    bool AddPdfQueue(const std::string& queue) {
        const std::string conf = std::string(kCupsPdfConfFolder) + "/cups-pdf-" + queue + ".conf";
        std::ofstream(conf) << "Out " << outFolder() << "\nSpool " << dir_ << "/cpspool\nLog " << dir_ << "/log\n";
        confFiles_.push_back(conf);
        // The default renderer turns Qt's fonts into shapes pdftotext reads
        // as symbols.
        return Run("lpadmin", {"-p", queue, "-v", "cups-pdf:/" + queue, "-P", kPdfPpd, "-o",
                               "pdftops-renderer-default=pdftocairo", "-E"}) == 0;
    }

    // The PDF files in the output folder.
    std::set<std::string> Pdfs() const {
        std::set<std::string> out;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(outFolder(), ec))
            if (e.path().extension() == ".pdf") out.insert(e.path().string());
        return out;
    }

    static int Run(const std::string& program, const std::vector<std::string>& args, std::string* output = nullptr) {
        QProcess p;
        QStringList a;
        for (const std::string& s : args) a << QString::fromStdString(s);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QString::fromStdString(program), a);
        if (!p.waitForFinished(60000)) return -1;
        if (output) *output = p.readAll().toStdString();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

private:
    bool Answers() const {
        std::string out;
        return std::filesystem::exists(socket()) && Run("lpstat", {"-r"}, &out) == 0 &&
               out.find("is running") != std::string::npos;
    }

    std::string dir_;
    QProcess cupsd_;
    std::vector<std::string> confFiles_;
};

}  // namespace kr::test
