#include "organiser/RegistryStandIn.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "platform/runtime/Strings.h"

namespace kr {

namespace {

std::mutex gPathMutex;
std::string gOverride;

// Registry key names compare without regard to case; a doubled or trailing
// backslash is not part of a name.
std::string NormaliseKey(std::string_view s) {
    std::string r;
    for (char c : s) {
        if (c == '/') c = '\\';
        if (c == '\\' && !r.empty() && r.back() == '\\') continue;
        r.push_back(c);
    }
    while (!r.empty() && (r.back() == '\\' || r.back() == ' ')) r.pop_back();
    return Upper(Trim(r));
}

}  // namespace

std::string RegistryFilePath() {
    {
        std::lock_guard<std::mutex> lock(gPathMutex);
        if (!gOverride.empty()) return gOverride;
    }
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        std::string h = home && *home ? home : std::string();
        if (h.empty())
            if (const passwd* pw = getpwuid(getuid())) h = pw->pw_dir ? pw->pw_dir : "";
        base = h + "/.config";
    }
    return base + "/" + kRegistryFolder + "/" + kRegistryFileName;
}

void SetRegistryFilePath(std::string path) {
    std::lock_guard<std::mutex> lock(gPathMutex);
    gOverride = std::move(path);
}

std::string RegistrySectionName(RegistryRoot root, std::string_view keyPath) {
    std::string name = root == RegistryRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
    std::string path = ClipRight(keyPath);
    while (!path.empty() && path.front() == '\\') path.erase(0, 1);
    if (!path.empty()) name += "\\" + path;
    return name;
}

RegistryKey OpenRegistryKey(RegistryRoot root, std::string_view keyPath) {
    RegistryKey key;
    std::ifstream in(RegistryFilePath(), std::ios::binary);
    if (!in) {
        key.error = errno == EACCES ? 5 : 2;
        return key;
    }
    const std::string wanted = NormaliseKey(RegistrySectionName(root, keyPath));
    bool inKey = false;
    std::string line;
    // A key appears once; a repeated section adds its values to the first.
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t.front() == '[' && t.back() == ']') {
            inKey = NormaliseKey(std::string_view(t).substr(1, t.size() - 2)) == wanted;
            if (inKey) key.opened = true;
            continue;
        }
        if (!inKey) continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        key.values.push_back({line.substr(0, eq), ClipLeft(std::string_view(line).substr(eq + 1))});
    }
    if (!key.opened) key.error = 2;
    return key;
}

}  // namespace kr
