// One KR98 per data folder and user.
//
// Two copies on one data file would race for the same due tasks and show two
// tray icons. The first copy holds a lock named after the data folder and
// listens on a local socket beside it; a second copy finds the lock taken,
// asks the first one over the socket to bring its frame forward, and ends.
#pragma once

#include <QLocalServer>
#include <functional>
#include <memory>
#include <string>

namespace kr {

class SingleCopy {
public:
    SingleCopy() = default;
    ~SingleCopy();
    SingleCopy(const SingleCopy&) = delete;
    SingleCopy& operator=(const SingleCopy&) = delete;

    // Claims the folder for this process. True when no other copy runs on it
    // (from then on this copy listens and calls showFrame when asked); false
    // when another copy holds it, which has then been asked to show itself.
    bool Claim(const std::string& folder, std::function<void()> showFrame);

private:
    int lockFd_ = -1;
    std::unique_ptr<QLocalServer> server_;
    std::function<void()> showFrame_;
};

}  // namespace kr
