// Sends that never block a window: the prepared MailSender runs its Send on
// a worker thread, and the result is delivered back on the thread of a
// receiver object through that thread's event loop.
//
// The receiver may go away while the send runs: its report is then dropped.
// At shut-down CancelMailSends asks every running send to stop and waits for
// the worker threads to end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "organiser/MailSender.h"

class QObject;

namespace kr {

// What a finished send reports: its result and the sender (for ErrorText).
using MailSendDone = std::function<void(int32_t result, std::shared_ptr<MailSender> sender)>;

// Runs sender->Send() on a worker thread; `done` is called on receiver's
// thread, which must be the calling thread. A null receiver (or one living
// on another thread) has `done` called on the worker thread itself.
void StartMailSend(std::shared_ptr<MailSender> sender, QObject* receiver, MailSendDone done);

// Runs sender->Send() on a worker thread; `done` is always called on the
// calling thread, through its event loop (for work that must end whatever
// became of the window that started the send).
void StartMailSendHere(std::shared_ptr<MailSender> sender, MailSendDone done);

// A run of messages sent one after another on one worker thread. make(i)
// builds the i-th message's sender there; after each send `each` gets the
// index, the result and the sender on the calling thread (through its event
// loop, in order). The run stops after a result for which goOn(result) is
// false, or once CancelMailSends has cancelled it; `done` then gets the
// number of messages tried, on the calling thread, after the last `each`.
using MailBatchMake = std::function<std::shared_ptr<MailSender>(std::size_t index)>;
using MailBatchEach = std::function<void(std::size_t index, int32_t result, std::shared_ptr<MailSender> sender)>;
void StartMailBatchHere(std::size_t count, MailBatchMake make, std::function<bool(int32_t result)> goOn,
                        MailBatchEach each, std::function<void(std::size_t tried)> done);

// Sends still running.
int RunningMailSends();
// Cancels every running send and waits until their threads have ended.
// Reports of the cancelled sends are still posted to their receivers.
void CancelMailSends();

}  // namespace kr
