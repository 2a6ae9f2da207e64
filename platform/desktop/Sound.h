// The sound service: WAV alarms played asynchronously, and the plain beep.
//
// PlaySoundAsync starts a WAV file and returns at once, as the system's sound
// call with the asynchronous flag does: a new sound stops the one playing.
// It answers false when the file is missing or no WAV file, or when there is
// no audio output to play it on; a missing audio device is not an error
// worth a message, so nothing is shown. Tests install a
// RecordingSoundService to see which sounds were asked for.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace kr {

class SoundService {
public:
    virtual ~SoundService() = default;
    virtual bool PlayAsync(const std::string& file) = 0;
    virtual void Beep() = 0;
    virtual void Stop() {}
};

// The installed service; without one, the Qt Multimedia player.
SoundService& Sound();
void InstallSoundService(SoundService* service);

inline bool PlaySoundAsync(const std::string& file) { return Sound().PlayAsync(file); }
inline void Beep() { Sound().Beep(); }

// Plays through Qt Multimedia (QSoundEffect) on the application's thread;
// callable from any thread. Needs a Qt application object for playing. Qt
// Multimedia lives in the module kr_sound_player (lib/kairoll beside the
// programs' folder), opened on the first sound; without the module nothing
// plays, as without an audio output.
class QtSoundService : public SoundService {
public:
    bool PlayAsync(const std::string& file) override;
    void Beep() override;
    void Stop() override;
    // True while a sound started here is still playing.
    bool IsPlaying() const;
};

// Records what was asked for and plays nothing.
class RecordingSoundService : public SoundService {
public:
    bool PlayAsync(const std::string& file) override {
        std::lock_guard<std::mutex> l(m_);
        played_.push_back(file);
        return answer_;
    }
    void Beep() override {
        std::lock_guard<std::mutex> l(m_);
        ++beeps_;
    }
    void SetAnswer(bool playable) {
        std::lock_guard<std::mutex> l(m_);
        answer_ = playable;
    }
    std::vector<std::string> played() const {
        std::lock_guard<std::mutex> l(m_);
        return played_;
    }
    int beeps() const {
        std::lock_guard<std::mutex> l(m_);
        return beeps_;
    }

private:
    mutable std::mutex m_;
    std::vector<std::string> played_;
    int beeps_ = 0;
    bool answer_ = true;
};

// The file a stored alarm name means here: '\' separators become '/', and a
// name that does not exist as given is matched without regard to case,
// folder by folder. Empty when nothing matches.
std::string ResolveSoundFile(const std::string& name);
// True when the file starts as a RIFF WAVE file does.
bool IsWaveFile(const std::string& path);
// True when Qt Multimedia sees at least one audio output (opens the player
// module).
bool HaveAudioOutput();

}  // namespace kr
