#include "platform/runtime/WriteCauses.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/runtime/Process.h"

namespace kr {

namespace {

// The absolute path of the file `path` names, without a table part.
std::string FileOf(std::string path) {
    const std::size_t table = path.find("\\!");
    if (table != std::string::npos) path.resize(table);
    if (path.empty() || path.front() == '/') return path;
    const std::string here = CurrentFolder();
    while (path.size() > 2 && path.compare(0, 2, "./") == 0) path.erase(0, 2);
    return here + "/" + path;
}

std::string FolderOf(const std::string& file) {
    const std::size_t slash = file.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

}  // namespace

bool ReadOnlyError(int error) { return error == EROFS || error == EACCES || error == EPERM; }

std::string ReadOnlyCause(const std::string& path) {
    const std::string file = FileOf(path);
    if (file.empty()) return {};
    const std::string folder = FolderOf(file);
    struct statvfs fs {};
    if ((::statvfs(folder.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0) ||
        (::access(folder.c_str(), F_OK) == 0 && ::access(folder.c_str(), W_OK) != 0))
        return "The folder " + folder + " is read-only.";
    if (::access(file.c_str(), F_OK) == 0 && ::access(file.c_str(), W_OK) != 0)
        return "The file " + file + " is read-only.";
    return {};
}

std::string FullDiskCause(const std::string& path) {
    return "The disk holding the folder " + FolderOf(FileOf(path)) + " is full.";
}

}  // namespace kr
