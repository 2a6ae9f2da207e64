// One KR98 per data folder and user, and the channel to it.
//
// Two copies on one data file would race for the same due tasks and show two
// tray icons. The first copy holds a lock named after the data folder and
// listens on a local socket beside it; a second copy finds the lock taken,
// asks the first one over the socket to bring its frame forward, and ends.
//
// Other programs of the suite use the same channel: the backup launcher asks
// the copy that holds a folder who it is (its process, program and
// arguments) and asks it to end, so that it can restore the data files and
// start it again. One request a line: "show", "who" (answered with the
// process id, the program and each argument, each followed by a NUL byte,
// then the connection is closed) and "end".
//
// Both sides are plain Unix sockets (the listening side watched with
// QSocketNotifier on the application's thread), so neither needs Qt
// Network, which would bring its TLS, proxy and Kerberos libraries into
// every program that links this.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kr {

// What the holding copy does on the requests of others.
struct SingleCopyRequests {
    std::function<void()> show;  // bring the frame forward
    std::function<void()> end;   // end as File → Exit does, without asking
    // The arguments the copy was started with (the program excluded), for
    // the answer to "who".
    std::vector<std::string> arguments;
};

class SingleCopy {
public:
    SingleCopy();
    ~SingleCopy();
    SingleCopy(const SingleCopy&) = delete;
    SingleCopy& operator=(const SingleCopy&) = delete;

    // Claims the folder for this process. True when no other copy runs on it
    // (from then on this copy listens and answers the requests); false when
    // another copy holds it, which has then been asked to show itself.
    bool Claim(const std::string& folder, SingleCopyRequests requests);

private:
    struct Listener;
    int lockFd_ = -1;
    std::unique_ptr<Listener> listener_;
    SingleCopyRequests requests_;
};

// The copy that holds a folder, as it answers "who".
struct FolderHolder {
    long pid = 0;
    std::string program;  // the program file's full path
    std::vector<std::string> arguments;
};

// Whether a copy holds the folder's lock now. No Qt application needed.
bool FolderHeld(const std::string& folder);
// Asks the copy that holds the folder who it is; nothing when none holds it
// or it does not answer within timeoutMs.
std::optional<FolderHolder> AskFolderHolder(const std::string& folder, int timeoutMs = 5000);
// Asks the copy that holds the folder to end; false when it could not be
// reached. It ends in its own time: see FolderHeld.
bool AskFolderHolderToEnd(const std::string& folder);

}  // namespace kr
