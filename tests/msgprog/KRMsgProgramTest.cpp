// KRMsg run as a program in a temporary data folder on a real X server: bad
// command lines end with a clear message and no window; two copies started at
// once for two records each show their own message under its title and
// take their record out of MsgLink, and end normally at the end of the
// session (SIGTERM).
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <chrono>
#include <thread>

#include "MsgProgFixture.h"
#include "platform/desktop/X11Windows.h"

namespace kr::test {
namespace {

struct ProgramRun {
    int code = -1;
    std::string err;
};

class KRMsgProgramTest : public MsgProgTest {
protected:
    QString Program() const { return QString(KR_BIN_DIR) + "/KRMsg"; }
    void Prepare(QProcess& p) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains("DISPLAY")) env.insert("QT_QPA_PLATFORM", "offscreen");
        else env.insert("QT_QPA_PLATFORM", "xcb");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(dir_.string()));
    }
    ProgramRun RunToEnd(const QStringList& args) {
        data::CloseIdleFiles();
        QProcess p;
        Prepare(p);
        p.start(Program(), args);
        ProgramRun r;
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.err = p.readAllStandardError().toStdString();
        return r;
    }
    static bool WaitUntil(const std::function<bool()>& cond, int ms = 15000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!cond()) {
            if (std::chrono::steady_clock::now() > end) return cond();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }
    static bool HasWindowTitled(const std::string& title) {
        for (const DesktopWindow& w : TopLevelWindows())
            if (w.title == title) return true;
        return false;
    }
};

TEST_F(KRMsgProgramTest, BadCommandLinesEndClearly) {
    ProgramRun r = RunToEnd({"ID=abc"});
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("ID=abc"), std::string::npos) << r.err;
    r = RunToEnd({});  // no argument and no message at all
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("no message"), std::string::npos) << r.err;
    AddLink(5, "Kept");
    r = RunToEnd({"ID=9"});  // none at or above 9
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("ID 9"), std::string::npos) << r.err;
    EXPECT_EQ(LinkIDs(), (std::vector<int32_t>{5}));
}

TEST_F(KRMsgProgramTest, TwoCopiesEachShowTheirOwnMessage) {
    if (!HaveX11Display()) GTEST_SKIP() << "needs an X display";
    AddLink(5, "Dentist", "At three");
    AddLink(6, "Advanced Warning: rent", "Due Friday");
    data::CloseIdleFiles();
    QProcess a, b;
    Prepare(a);
    Prepare(b);
    a.start(Program(), {"ID=5"});
    b.start(Program(), {"ID=6"});
    ASSERT_TRUE(a.waitForStarted() && b.waitForStarted());
    EXPECT_TRUE(WaitUntil([] { return HasWindowTitled("Message:  Dentist"); }));
    EXPECT_TRUE(WaitUntil([] { return HasWindowTitled("Advanced Warning: rent"); }));
    EXPECT_TRUE(LinkIDs().empty());
    EXPECT_EQ(a.state(), QProcess::Running);
    EXPECT_EQ(b.state(), QProcess::Running);
    // The end of the session closes both down normally, writing the font.
    for (QProcess* p : {&a, &b}) {
        p->terminate();
        if (!p->waitForFinished(5000)) {
            p->kill();
            p->waitForFinished();
        }
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
    }
    IniFile ini(msgprog::kIniFileName);
    EXPECT_FALSE(ini.Fetch(msgprog::kPreservedSection, "CurrentFont:Font").empty());
}

}  // namespace
}  // namespace kr::test
