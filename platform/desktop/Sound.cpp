#include "platform/desktop/Sound.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QMetaObject>
#include <QPointer>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/desktop/X11Windows.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

std::atomic<SoundService*> g_service{nullptr};
QtSoundService g_qt;

// The one sound playing; lives on the application's thread.
QPointer<QSoundEffect> g_current;
std::atomic<bool> g_playing{false};

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

void StopCurrent() {
    if (g_current) {
        g_current->stop();
        g_current->deleteLater();
    }
    g_current = nullptr;
    g_playing = false;
}

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
    bool have = false;
    OnAppThread([&] { have = !QMediaDevices::audioOutputs().isEmpty(); }, true);
    return have;
}

bool QtSoundService::PlayAsync(const std::string& file) {
    std::string path = ResolveSoundFile(file);
    if (path.empty() || !IsWaveFile(path)) return false;
    if (!QCoreApplication::instance()) return false;
    // Without an output QSoundEffect neither plays nor ever finishes.
    if (!HaveAudioOutput()) return false;
    QString abs = QString::fromStdString(std::filesystem::absolute(path).string());
    OnAppThread(
        [abs] {
            StopCurrent();
            auto* effect = new QSoundEffect(QCoreApplication::instance());
            g_current = effect;
            g_playing = true;
            QObject::connect(effect, &QSoundEffect::statusChanged, effect, [effect] {
                if (effect->status() == QSoundEffect::Error) {
                    if (g_current == effect) g_playing = false;
                    effect->deleteLater();
                }
            });
            QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
                if (effect->isPlaying()) return;
                if (g_current == effect) g_playing = false;
                effect->deleteLater();
            });
            effect->setSource(QUrl::fromLocalFile(abs));
            effect->setVolume(1.0);
            effect->play();
        },
        false);
    return true;
}

void QtSoundService::Beep() { Bell(); }

void QtSoundService::Stop() {
    OnAppThread([] { StopCurrent(); }, false);
}

bool QtSoundService::IsPlaying() const { return g_playing; }

}  // namespace kr
