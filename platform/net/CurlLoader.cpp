// The part of libcurl's API the transfers use, loaded on the first call.
//
// libcurl brings some twenty-five libraries with it (TLS, SSH, LDAP,
// Kerberos, IDN, HTTP/2 ...), whose relocated data a program holds from its
// start even when it never sends a mail or fetches a file. So kr_net does
// not link libcurl: these definitions stand in for its functions and open
// "libcurl.so.4" with dlopen the first time one of them is called, then pass
// each call on. When the library cannot be loaded, curl_global_init and
// curl_easy_init fail and the callers report that the transfer library
// could not start.
#define CURL_DISABLE_TYPECHECK 1
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>
#include <mutex>

namespace {

struct Curl {
    CURLcode (*global_init)(long) = nullptr;
    void (*global_cleanup)() = nullptr;
    CURL* (*easy_init)() = nullptr;
    void (*easy_cleanup)(CURL*) = nullptr;
    CURLcode (*easy_perform)(CURL*) = nullptr;
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...) = nullptr;
    const char* (*easy_strerror)(CURLcode) = nullptr;
    curl_slist* (*slist_append)(curl_slist*, const char*) = nullptr;
    void (*slist_free_all)(curl_slist*) = nullptr;
    bool loaded = false;
};

template <class F>
bool Resolve(void* library, const char* name, F& f) {
    f = reinterpret_cast<F>(dlsym(library, name));
    return f != nullptr;
}

const Curl& Library() {
    static Curl curl;
    static std::once_flag once;
    std::call_once(once, [] {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
        Curl c;
        c.loaded = Resolve(library, "curl_global_init", c.global_init) &&
                   Resolve(library, "curl_global_cleanup", c.global_cleanup) &&
                   Resolve(library, "curl_easy_init", c.easy_init) &&
                   Resolve(library, "curl_easy_cleanup", c.easy_cleanup) &&
                   Resolve(library, "curl_easy_perform", c.easy_perform) &&
                   Resolve(library, "curl_easy_setopt", c.easy_setopt) &&
                   Resolve(library, "curl_easy_getinfo", c.easy_getinfo) &&
                   Resolve(library, "curl_easy_strerror", c.easy_strerror) &&
                   Resolve(library, "curl_slist_append", c.slist_append) &&
                   Resolve(library, "curl_slist_free_all", c.slist_free_all);
        // A library without one of them is not used at all (it stays loaded:
        // unloading libraries that start threads or register handlers is unsafe).
        if (c.loaded) curl = c;
    });
    return curl;
}

}  // namespace

extern "C" {

CURLcode curl_global_init(long flags) {
    const Curl& c = Library();
    return c.loaded ? c.global_init(flags) : CURLE_FAILED_INIT;
}

void curl_global_cleanup(void) {
    const Curl& c = Library();
    if (c.loaded) c.global_cleanup();
}

CURL* curl_easy_init(void) {
    const Curl& c = Library();
    return c.loaded ? c.easy_init() : nullptr;
}

void curl_easy_cleanup(CURL* handle) {
    const Curl& c = Library();
    if (c.loaded && handle) c.easy_cleanup(handle);
}

CURLcode curl_easy_perform(CURL* handle) {
    const Curl& c = Library();
    return c.loaded ? c.easy_perform(handle) : CURLE_FAILED_INIT;
}

// The argument's type follows from the option's number, as libcurl itself
// reads it: longs below 10000, pointers from 10000, function pointers from
// 20000, curl_off_t from 30000, blobs (a pointer) from 40000.
CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
    const Curl& c = Library();
    if (!c.loaded) return CURLE_FAILED_INIT;
    va_list args;
    va_start(args, option);
    CURLcode rc;
    if (option < CURLOPTTYPE_OBJECTPOINT)
        rc = c.easy_setopt(handle, option, va_arg(args, long));
    else if (option < CURLOPTTYPE_FUNCTIONPOINT)
        rc = c.easy_setopt(handle, option, va_arg(args, void*));
    else if (option < CURLOPTTYPE_OFF_T)
        rc = c.easy_setopt(handle, option, va_arg(args, void (*)()));
    else if (option < CURLOPTTYPE_BLOB)
        rc = c.easy_setopt(handle, option, va_arg(args, curl_off_t));
    else
        rc = c.easy_setopt(handle, option, va_arg(args, void*));
    va_end(args);
    return rc;
}

// Every CURLINFO takes a pointer to where the answer goes.
CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
    const Curl& c = Library();
    if (!c.loaded) return CURLE_FAILED_INIT;
    va_list args;
    va_start(args, info);
    void* out = va_arg(args, void*);
    va_end(args);
    return c.easy_getinfo(handle, info, out);
}

const char* curl_easy_strerror(CURLcode code) {
    const Curl& c = Library();
    return c.loaded ? c.easy_strerror(code) : "the transfer library (libcurl.so.4) could not be loaded";
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
    const Curl& c = Library();
    return c.loaded ? c.slist_append(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
    const Curl& c = Library();
    if (c.loaded && list) c.slist_free_all(list);
}

}  // extern "C"
