#include "platform/runtime/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kr {

mode_t ReplacementMode(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    return kPrivateFileMode;
}

int OpenPrivateFile(const std::string& path, int flags) {
    return ::open(path.c_str(), flags | O_CREAT | O_CLOEXEC, kPrivateFileMode);
}

std::FILE* OpenPrivateStream(const std::string& path, const char* mode) {
    const bool append = mode[0] == 'a';
    const bool both = std::strchr(mode, '+') != nullptr;
    if (mode[0] != 'w' && !append) {
        errno = EINVAL;
        return nullptr;
    }
    const int flags = (both ? O_RDWR : O_WRONLY) | (append ? O_APPEND : O_TRUNC);
    const int fd = OpenPrivateFile(path, flags);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, mode);
    if (!f) {
        const int e = errno;
        ::close(fd);
        errno = e;
    }
    return f;
}

}  // namespace kr
