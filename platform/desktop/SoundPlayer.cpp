// The Qt Multimedia half of the sound service, built as a module of its own
// (kr_sound_player) that Sound.cpp opens with dlopen when the first sound is
// played: Qt Multimedia brings PulseAudio and the codec libraries
// (sndfile, FLAC, Vorbis, Opus, MP3), which a program that never plays an
// alarm need not map. Every function here runs on the application's thread.
#include <QAudioDevice>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>
#include <atomic>

namespace {

// The one sound playing.
QPointer<QSoundEffect> g_current;
std::atomic<bool> g_playing{false};

void StopCurrent() {
    if (g_current) {
        g_current->stop();
        g_current->deleteLater();
    }
    g_current = nullptr;
    g_playing = false;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) bool kr_sound_have_output() {
    return !QMediaDevices::audioOutputs().isEmpty();
}

// Stops the sound playing and starts the WAV file at `path` (absolute, UTF-8).
__attribute__((visibility("default"))) void kr_sound_play(const char* path) {
    const QString abs = QString::fromUtf8(path);
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
}

__attribute__((visibility("default"))) void kr_sound_stop() { StopCurrent(); }

// Callable from any thread.
__attribute__((visibility("default"))) bool kr_sound_playing() { return g_playing; }

}  // extern "C"
