// The end of the desktop session and SIGTERM, answered as the frame wants.
//
// The session manager first asks whether the session may end: the answer is
// the query answer (1: it may; 0: the end is cancelled). When it does end,
// and when the process gets SIGTERM (what a session or a service manager
// sends at the end; platform/ui/SessionEnding.h cancels the open boxes and
// modal windows first), the frame's normal shutdown runs: the callback given
// to Init, on the GUI thread. Kill puts the previous end action back.
#pragma once

#include <QObject>
#include <functional>

class QSessionManager;

namespace kr {

class SessionEnd : public QObject {
public:
    SessionEnd();
    ~SessionEnd() override;
    SessionEnd(const SessionEnd&) = delete;
    SessionEnd& operator=(const SessionEnd&) = delete;

    void Init(int answerQuery, int answerEnd, std::function<void()> endSession);
    void Kill();
    bool Active() const { return active_; }

    // The session manager's question (also what tests call): true when the
    // session may end.
    bool QueryEndSession(QSessionManager* manager);
    // The session ends: the normal shutdown, when the end answer allows it.
    void EndSession();

private:
    std::function<void()> endSession_;
    std::function<void()> previousAction_;
    bool ownsWatch_ = false;
    int answerQuery_ = 1;
    int answerEnd_ = 1;
    bool active_ = false;
    bool ending_ = false;
};

}  // namespace kr
