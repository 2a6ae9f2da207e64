#include "scheduler/windows/SessionEnd.h"

#include <QGuiApplication>
#include <QSessionManager>

#include "platform/ui/SessionEnding.h"

namespace kr {

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

    // The program's watch of the end (its main sets it up; a frame made
    // without one, as in the tests, sets up its own). Once the boxes and
    // modal windows are cancelled, the frame closes as its session end does.
    if (!WatchingSessionEnding()) {
        WatchSessionEnding();
        ownsWatch_ = true;
    }
    previousAction_ = SetSessionEndAction([this] { EndSession(); });
}

void SessionEnd::Kill() {
    if (!active_) return;
    active_ = false;
    SetSessionEndAction(std::move(previousAction_));
    previousAction_ = nullptr;
    if (ownsWatch_) {
        StopWatchingSessionEnding();
        ownsWatch_ = false;
    }
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
