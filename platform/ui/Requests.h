// The framework's request and response globals.
//
// A caller sets the request before it opens a form or a list for a record
// (insert, change, delete, select or view); the window takes it over and
// clears it when it opens, and leaves its response (completed or cancelled)
// when it closes. Both are kept per procedure thread, as the runtime's
// threaded globals are: a procedure thread starts with both at 0.
#pragma once

namespace kr {

enum RequestCode : int {
    kNoRequest = 0,
    kInsertRecord = 1,
    kChangeRecord = 2,
    kDeleteRecord = 3,
    kSelectRecord = 4,  // a list opened to pick a record
    kViewRecord = 4,    // a form opened read-only
};

enum ResponseCode : int {
    kNoResponse = 0,
    kRequestCompleted = 1,
    kRequestCancelled = 2,
};

// The globals of the current procedure thread.
int& GlobalRequest();
int& GlobalResponse();
// Forgets the globals of a thread that ended.
void ForgetRequestGlobals(int thread);

}  // namespace kr
