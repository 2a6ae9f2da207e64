#include "platform/desktop/Sound.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/desktop/Modules.h"
#include "platform/desktop/X11Windows.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

std::atomic<SoundService*> g_service{nullptr};
QtSoundService g_qt;

template <class F>
void OnAppThread(F&& f, bool wait) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (QThread::currentThread() == app->thread()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(app, std::forward<F>(f), wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

// The player module (SoundPlayer.cpp), opened on the first sound: Qt
// Multimedia and the audio libraries it brings are mapped only by a program
// that plays something.
struct Player {
    bool (*haveOutput)() = nullptr;
    void (*play)(const char*) = nullptr;
    void (*stop)() = nullptr;
    bool (*playing)() = nullptr;
};

const Player* LoadPlayer() {
    static const Player player = [] {
        Player p;
        p.haveOutput = reinterpret_cast<bool (*)()>(ModuleFunction("kr_sound_player", "kr_sound_have_output"));
        p.play = reinterpret_cast<void (*)(const char*)>(ModuleFunction("kr_sound_player", "kr_sound_play"));
        p.stop = reinterpret_cast<void (*)()>(ModuleFunction("kr_sound_player", "kr_sound_stop"));
        p.playing = reinterpret_cast<bool (*)()>(ModuleFunction("kr_sound_player", "kr_sound_playing"));
        return p;
    }();
    return player.haveOutput && player.play && player.stop && player.playing ? &player : nullptr;
}

// The player if it has been opened already; never opens it.
std::atomic<bool> g_playerOpened{false};

}  // namespace

SoundService& Sound() {
    SoundService* s = g_service.load();
    return s ? *s : g_qt;
}

void InstallSoundService(SoundService* service) { g_service.store(service); }

std::string ResolveSoundFile(const std::string& name) {
    namespace fs = std::filesystem;
    std::string n = Trim(name);
    if (n.empty()) return {};
    for (char& c : n)
        if (c == '\\') c = '/';
    std::error_code ec;
    if (fs::is_regular_file(n, ec)) return n;
    // Walk the path, matching each part without regard to case.
    fs::path p(n);
    fs::path at = p.is_absolute() ? p.root_path() : fs::path(".");
    for (const fs::path& part : p.relative_path()) {
        std::string want = part.string();
        if (want == "." || want.empty()) continue;
        fs::path exact = at / part;
        if (fs::exists(exact, ec)) {
            at = exact;
            continue;
        }
        bool found = false;
        for (fs::directory_iterator i(at, ec), end; !ec && i != end; i.increment(ec)) {
            if (EqualNoCase(i->path().filename().string(), want)) {
                at = i->path();
                found = true;
                break;
            }
        }
        if (!found) return {};
    }
    return fs::is_regular_file(at, ec) ? at.lexically_normal().string() : std::string();
}

bool IsWaveFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[12] = {};
    if (!in.read(head, sizeof head)) return false;
    return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
}

bool HaveAudioOutput() {
    const Player* player = LoadPlayer();
    if (!player) return false;
    g_playerOpened = true;
    bool have = false;
    OnAppThread([&] { have = player->haveOutput(); }, true);
    return have;
}

bool QtSoundService::PlayAsync(const std::string& file) {
    std::string path = ResolveSoundFile(file);
    if (path.empty() || !IsWaveFile(path)) return false;
    if (!QCoreApplication::instance()) return false;
    // Without an output QSoundEffect neither plays nor ever finishes.
    if (!HaveAudioOutput()) return false;
    const Player* player = LoadPlayer();
    const std::string abs = std::filesystem::absolute(path).string();
    OnAppThread([player, abs] { player->play(abs.c_str()); }, false);
    return true;
}

void QtSoundService::Beep() { Bell(); }

// Nothing can be playing before the player was opened, so Stop never opens it.
void QtSoundService::Stop() {
    if (!g_playerOpened) return;
    const Player* player = LoadPlayer();
    OnAppThread([player] { player->stop(); }, false);
}

bool QtSoundService::IsPlaying() const { return g_playerOpened && LoadPlayer()->playing(); }

}  // namespace kr
