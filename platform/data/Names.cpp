#include "platform/data/Names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/runtime/Strings.h"

namespace kr::data {

namespace {

std::mutex g_spellingMutex;
std::map<std::string, std::string> g_spellings;  // upper-case name -> spelling

bool HasExtension(std::string_view file) {
    std::size_t slash = file.find_last_of('/');
    std::size_t dot = file.find_last_of('.');
    return dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
}

std::string BaseName(std::string_view path) {
    std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string StripExtension(std::string_view name) {
    std::size_t dot = name.find_last_of('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string NormaliseFolder(std::string_view name) {
    std::string s(name);
    std::replace(s.begin(), s.end(), '\\', '/');
    while (s.size() > 2 && s[0] == '.' && s[1] == '/') s.erase(0, 2);
    return s;
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

TableName SplitTableName(std::string_view storedAs, Driver driver) {
    TableName r;
    std::string s = Trim(storedAs);
    std::size_t sep = s.find("\\!");
    std::string filePart = sep == std::string::npos ? s : s.substr(0, sep);
    if (sep != std::string::npos) {
        r.table = Trim(s.substr(sep + 2));
        r.multiTable = true;
    }
    filePart = NormaliseFolder(filePart);
    if (driver == Driver::MultiTable && !filePart.empty() && !HasExtension(filePart)) filePart += ".TPS";
    r.file = filePart;
    if (r.table.empty()) r.table = StripExtension(BaseName(filePart));
    return r;
}

std::string ResolveFilePath(std::string_view file) {
    std::string path = NormaliseFolder(file);
    if (path.empty()) return path;
    if (IsFile(path)) return path;
    std::size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string prefix = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    if (folder.empty()) folder = "/";
    // Without regard to case: the first match in name order, so the choice
    // does not depend on the order the folder lists its entries.
    std::vector<std::string> matches;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (EqualNoCase(e->d_name, base) && std::string_view(e->d_name).size() == base.size() &&
                IsFile(prefix + e->d_name))
                matches.emplace_back(e->d_name);
        }
        ::closedir(d);
    }
    if (!matches.empty()) {
        std::sort(matches.begin(), matches.end());
        return prefix + matches.front();
    }
    return prefix + FileSpelling(base);
}

bool FileExists(std::string_view file) { return IsFile(ResolveFilePath(file)); }

void RegisterFileSpelling(std::string_view spelling) {
    std::string s = NormaliseFolder(Trim(spelling));
    if (s.empty()) return;
    std::lock_guard<std::mutex> l(g_spellingMutex);
    g_spellings[Upper(s)] = s;
    if (!HasExtension(s)) g_spellings[Upper(s) + ".TPS"] = s + ".TPS";
}

void RegisterFileSpellings(const std::vector<std::string>& spellings) {
    for (const std::string& s : spellings) RegisterFileSpelling(s);
}

std::string FileSpelling(std::string_view file) {
    std::lock_guard<std::mutex> l(g_spellingMutex);
    auto it = g_spellings.find(Upper(file));
    return it == g_spellings.end() ? std::string(file) : it->second;
}

}  // namespace kr::data
