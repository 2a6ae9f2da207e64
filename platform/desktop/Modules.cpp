#include "platform/desktop/Modules.h"

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace kr {

void* ModuleFunction(const char* module, const char* function) {
    static const std::filesystem::path folder = [] {
        std::error_code ec;
        const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        return ec ? std::filesystem::path() : exe.parent_path().parent_path() / "lib" / "kairoll";
    }();
    if (folder.empty()) return nullptr;
    const std::filesystem::path file = folder / (std::string("lib") + module + ".so");
    // Opened for good: the modules start threads and register with Qt, so
    // they are never closed. dlopen is thread-safe and counts its opens.
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    return library ? dlsym(library, function) : nullptr;
}

}  // namespace kr
