// Fixed-width texts of the record layouts.
//
// FString<N> is the runtime's STRING(N): it holds at most N characters (a
// longer value is cut on assignment) and compares as if blank-padded to N.
// The value is kept without trailing blanks, which is the same under
// blank-padded comparison and is what the tables store.
// CString<N> is CSTRING(N): at most N-1 characters, trailing blanks kept.
#pragma once

#include <compare>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/runtime/Strings.h"

namespace kr {

template <std::size_t N>
class FString {
public:
    static constexpr std::size_t kSize = N;
    static constexpr std::size_t kCapacity = N;

    FString() = default;
    FString(std::string_view v) { assign(v); }
    FString(const char* v) { assign(v ? std::string_view(v) : std::string_view()); }
    FString(const std::string& v) { assign(v); }

    FString& operator=(std::string_view v) { assign(v); return *this; }
    FString& operator=(const char* v) { assign(v ? std::string_view(v) : std::string_view()); return *this; }
    FString& operator=(const std::string& v) { assign(v); return *this; }

    void assign(std::string_view v) {
        if (v.size() > N) v = v.substr(0, N);
        std::size_t end = v.find_last_not_of(' ');
        value_.assign(end == std::string_view::npos ? std::string_view() : v.substr(0, end + 1));
    }

    // The value without trailing blanks (the runtime's CLIP of the field).
    const std::string& str() const { return value_; }
    const char* c_str() const { return value_.c_str(); }
    operator std::string_view() const { return value_; }
    bool empty() const { return value_.empty(); }
    std::size_t size() const { return value_.size(); }
    // The value padded with blanks to its full width.
    std::string padded() const { return value_ + std::string(N - value_.size(), ' '); }

    friend bool operator==(const FString& a, const FString& b) { return a.value_ == b.value_; }
    friend bool operator==(const FString& a, std::string_view b) { return a.value_ == ClipRight(b); }
    friend bool operator==(const FString& a, const char* b) { return a == std::string_view(b ? b : ""); }
    friend bool operator==(const FString& a, const std::string& b) { return a == std::string_view(b); }
    friend std::strong_ordering operator<=>(const FString& a, const FString& b) {
        return a.value_ <=> b.value_;
    }

private:
    std::string value_;
};

template <std::size_t N>
class CString {
public:
    static constexpr std::size_t kSize = N;
    static constexpr std::size_t kCapacity = N > 0 ? N - 1 : 0;

    CString() = default;
    CString(std::string_view v) { assign(v); }
    CString(const char* v) { assign(v ? std::string_view(v) : std::string_view()); }
    CString(const std::string& v) { assign(v); }

    CString& operator=(std::string_view v) { assign(v); return *this; }
    CString& operator=(const char* v) { assign(v ? std::string_view(v) : std::string_view()); return *this; }
    CString& operator=(const std::string& v) { assign(v); return *this; }

    void assign(std::string_view v) {
        if (v.size() > kCapacity) v = v.substr(0, kCapacity);
        value_.assign(v);
    }

    const std::string& str() const { return value_; }
    const char* c_str() const { return value_.c_str(); }
    operator std::string_view() const { return value_; }
    bool empty() const { return value_.empty(); }
    std::size_t size() const { return value_.size(); }

    friend bool operator==(const CString& a, const CString& b) { return a.value_ == b.value_; }
    friend bool operator==(const CString& a, std::string_view b) { return a.value_ == b; }
    friend bool operator==(const CString& a, const char* b) { return a.value_ == std::string_view(b ? b : ""); }
    friend bool operator==(const CString& a, const std::string& b) { return a.value_ == b; }
    friend std::strong_ordering operator<=>(const CString& a, const CString& b) {
        return a.value_ <=> b.value_;
    }

private:
    std::string value_;
};

}  // namespace kr
