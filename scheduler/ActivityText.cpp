#include "scheduler/ActivityText.h"

#include <mutex>

namespace kr {

namespace {
std::mutex g_mutex;
std::string g_text;
}  // namespace

void SetActivityText(std::string_view text) {
    std::lock_guard<std::mutex> l(g_mutex);
    g_text = std::string(text.substr(0, kActivityTextSize));
}

std::string ActivityText() {
    std::lock_guard<std::mutex> l(g_mutex);
    return g_text;
}

}  // namespace kr
