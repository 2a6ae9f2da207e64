// A folder of the test's own mounted as a small tmpfs, which the test can
// make read-only: every file made or written in it then fails with EROFS, as
// on a read-only mount, for root too. Mounting needs the privilege to mount;
// where it is refused, `refused()` says why and the test skips with it.
#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace kr::test {

class SmallDisk {
public:
    explicit SmallDisk(std::filesystem::path at, const std::string& size = "4m") : at_(std::move(at)) {
        std::error_code ec;
        std::filesystem::create_directories(at_, ec);
        if (::mount("tmpfs", at_.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0700").c_str()) != 0)
            refused_ = std::string("mounting a tmpfs was refused here (") + std::strerror(errno) +
                       "): the read-only or full folder cannot be made, so this case is not tested";
        else
            mounted_ = true;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    // Empty when mounted, else why not.
    const std::string& refused() const { return refused_; }
    const std::filesystem::path& path() const { return at_; }

    // Remounts it read-only; an error text when that failed.
    std::string MakeReadOnly() {
        if (::mount(nullptr, at_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0) return {};
        return std::string("remounting read-only failed: ") + std::strerror(errno);
    }

private:
    std::filesystem::path at_;
    std::string refused_;
    bool mounted_ = false;
};

}  // namespace kr::test
