#include "scheduler/windows/SessionEnd.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>

namespace kr {

namespace {

// The signal handler only writes a byte; the notifier reads it on the GUI thread.
int g_signalPipe[2] = {-1, -1};
struct sigaction g_previousTerm;
bool g_handlerInstalled = false;

void OnTerm(int) {
    const int saved = errno;
    const char b = 1;
    if (g_signalPipe[1] >= 0) (void)!write(g_signalPipe[1], &b, 1);
    errno = saved;
}

}  // namespace

SessionEnd::SessionEnd() = default;

SessionEnd::~SessionEnd() { Kill(); }

void SessionEnd::Init(int answerQuery, int answerEnd, std::function<void()> endSession) {
    Kill();
    answerQuery_ = answerQuery;
    answerEnd_ = answerEnd;
    endSession_ = std::move(endSession);
    ending_ = false;
    active_ = true;

    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The question only; when the session then ends, Qt leaves the event
        // loop and the frame's Main runs the shutdown.
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager& manager) { QueryEndSession(&manager); });
    }

    if (g_signalPipe[0] < 0 && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        g_signalPipe[0] = g_signalPipe[1] = -1;
        return;
    }
    fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    notifier_ = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char buf[16];
        (void)!read(g_signalPipe[0], buf, sizeof buf);
        EndSession();
    });
    struct sigaction sa {};
    sa.sa_handler = OnTerm;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    if (!g_handlerInstalled && sigaction(SIGTERM, &sa, &g_previousTerm) == 0) g_handlerInstalled = true;
}

void SessionEnd::Kill() {
    if (!active_) return;
    active_ = false;
    if (g_handlerInstalled) {
        sigaction(SIGTERM, &g_previousTerm, nullptr);
        g_handlerInstalled = false;
    }
    delete notifier_;
    notifier_ = nullptr;
    if (QCoreApplication* app = QCoreApplication::instance()) disconnect(app, nullptr, this, nullptr);
}

bool SessionEnd::QueryEndSession(QSessionManager* manager) {
    const bool mayEnd = answerQuery_ != 0;
    if (!mayEnd && manager && manager->allowsInteraction()) {
        manager->cancel();
        manager->release();
    }
    return mayEnd;
}

void SessionEnd::EndSession() {
    if (!active_ || ending_ || answerEnd_ == 0) return;
    ending_ = true;
    if (endSession_) endSession_();
}

}  // namespace kr
