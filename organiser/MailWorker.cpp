#include "organiser/MailWorker.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <list>
#include <map>
#include <mutex>
#include <thread>

namespace kr {

namespace {

// One relay object per receiving thread carries the reports into that
// thread's event loop. A worker posts to it under the registry's lock, and
// a relay leaves the registry (under the same lock) before it is destroyed,
// so a report never goes to an object that is gone.
std::mutex gRelayMutex;
std::map<QThread*, QObject*> gRelays;

class Relay : public QObject {
public:
    Relay() = default;
    ~Relay() override {
        std::lock_guard<std::mutex> lock(gRelayMutex);
        for (auto it = gRelays.begin(); it != gRelays.end(); ++it)
            if (it->second == this) {
                gRelays.erase(it);
                break;
            }
    }
};

// The calling thread's relay, made on first use and destroyed when the
// thread ends.
QThread* RelayForCurrentThread() {
    thread_local std::unique_ptr<Relay> relay;
    QThread* thread = QThread::currentThread();
    if (!relay) {
        relay = std::make_unique<Relay>();
        std::lock_guard<std::mutex> lock(gRelayMutex);
        gRelays[thread] = relay.get();
    }
    return thread;
}

struct Job {
    std::thread thread;
    std::shared_ptr<MailSender> sender;  // the send under way (a batch's current one)
    bool cancelled = false;              // a batch sends no further message
    bool finished = false;
};

std::mutex gJobsMutex;
std::list<Job> gJobs;

// Joins the threads of finished jobs; the caller holds gJobsMutex.
void ReapFinished() {
    for (auto it = gJobs.begin(); it != gJobs.end();) {
        if (it->finished) {
            if (it->thread.joinable()) it->thread.join();
            it = gJobs.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace

void StartMailSendHere(std::shared_ptr<MailSender> sender, MailSendDone done) {
    QThread* thread = RelayForCurrentThread();
    std::lock_guard<std::mutex> lock(gJobsMutex);
    ReapFinished();
    gJobs.push_back(Job{});
    Job* job = &gJobs.back();
    job->sender = sender;
    job->thread = std::thread([job, sender, thread, done = std::move(done)] {
        int32_t result = sender->Send();
        {
            std::lock_guard<std::mutex> relayLock(gRelayMutex);
            auto it = gRelays.find(thread);
            if (it != gRelays.end() && done) {
                QMetaObject::invokeMethod(
                    it->second, [done, result, sender] { done(result, sender); }, Qt::QueuedConnection);
            }
        }
        std::lock_guard<std::mutex> jobsLock(gJobsMutex);
        job->finished = true;
    });
}

// Runs `report` in the event loop of `thread`, unless that thread's relay
// has gone.
void PostTo(QThread* thread, std::function<void()> report) {
    std::lock_guard<std::mutex> relayLock(gRelayMutex);
    auto it = gRelays.find(thread);
    if (it != gRelays.end()) QMetaObject::invokeMethod(it->second, std::move(report), Qt::QueuedConnection);
}

void StartMailBatchHere(std::size_t count, MailBatchMake make, std::function<bool(int32_t)> goOn,
                        MailBatchEach each, std::function<void(std::size_t)> done) {
    QThread* thread = RelayForCurrentThread();
    std::lock_guard<std::mutex> lock(gJobsMutex);
    ReapFinished();
    gJobs.push_back(Job{});
    Job* job = &gJobs.back();
    job->thread = std::thread([job, thread, count, make = std::move(make), goOn = std::move(goOn),
                               each = std::move(each), done = std::move(done)] {
        std::size_t tried = 0;
        for (std::size_t i = 0; i < count; ++i) {
            std::shared_ptr<MailSender> sender = make(i);
            {
                std::lock_guard<std::mutex> jobsLock(gJobsMutex);
                if (job->cancelled) break;
                job->sender = sender;
            }
            int32_t result = sender->Send();
            tried = i + 1;
            if (each) PostTo(thread, [each, i, result, sender] { each(i, result, sender); });
            if (goOn && !goOn(result)) break;
        }
        if (done) PostTo(thread, [done, tried] { done(tried); });
        std::lock_guard<std::mutex> jobsLock(gJobsMutex);
        job->finished = true;
    });
}

void StartMailSend(std::shared_ptr<MailSender> sender, QObject* receiver, MailSendDone done) {
    if (receiver && receiver->thread() == QThread::currentThread()) {
        QPointer<QObject> guard(receiver);
        StartMailSendHere(std::move(sender), [guard, done = std::move(done)](int32_t result,
                                                                              std::shared_ptr<MailSender> s) {
            if (guard && done) done(result, std::move(s));
        });
        return;
    }
    // No receiver on this thread: report on the worker thread.
    std::lock_guard<std::mutex> lock(gJobsMutex);
    ReapFinished();
    gJobs.push_back(Job{});
    Job* job = &gJobs.back();
    job->sender = sender;
    job->thread = std::thread([job, sender, done = std::move(done)] {
        int32_t result = sender->Send();
        if (done) done(result, sender);
        std::lock_guard<std::mutex> jobsLock(gJobsMutex);
        job->finished = true;
    });
}

int RunningMailSends() {
    std::lock_guard<std::mutex> lock(gJobsMutex);
    int n = 0;
    for (const Job& j : gJobs)
        if (!j.finished) ++n;
    return n;
}

void CancelMailSends() {
    std::list<Job> jobs;
    {
        std::lock_guard<std::mutex> lock(gJobsMutex);
        for (Job& j : gJobs) {
            if (j.finished) continue;
            j.cancelled = true;
            if (j.sender) j.sender->Cancel();
        }
        jobs.splice(jobs.end(), gJobs);
    }
    // The threads mark their jobs finished under the lock; they no longer
    // touch the list once spliced, only their own Job, which stays valid
    // (list nodes keep their address when spliced).
    for (Job& j : jobs)
        if (j.thread.joinable()) j.thread.join();
}

}  // namespace kr
