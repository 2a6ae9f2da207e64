// A WAV file really played: a PulseAudio server with a null sink, started by
// the test with a private home and runtime folder, gives Qt an audio output.
// The playing runs in a child run of this program, so that its audio set-up
// sees only the private server.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "platform/desktop/Sound.h"

extern char** environ;

namespace kr {
namespace {

void WriteSilentWave(const std::string& path, uint32_t samples) {
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    f.write("RIFF", 4);
    u32(36 + samples * 2);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(16000);
    u16(2);
    u16(16);
    f.write("data", 4);
    u32(samples * 2);
    for (uint32_t i = 0; i < samples; ++i) u16(0);
}

bool WaitEvents(const std::function<bool()>& cond, int ms) {
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return cond();
}

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return 0;
    return pid;
}

TEST(SoundDeviceTest, AWaveFilePlaysToTheEndOnARealOutput) {
    if (const char* wav = std::getenv("KR_SOUND_CHILD_WAV")) {
        // The child run: play and see the sound start and finish.
        ASSERT_TRUE(HaveAudioOutput());
        QtSoundService qt;
        ASSERT_TRUE(qt.PlayAsync(wav));
        EXPECT_TRUE(WaitEvents([&] { return qt.IsPlaying(); }, 3000));
        EXPECT_TRUE(WaitEvents([&] { return !qt.IsPlaying(); }, 10000)) << "the sound never finished";
        return;
    }
    namespace fs = std::filesystem;
    char tmpl[] = "/tmp/kr_pulse_XXXXXX";
    std::string dir = mkdtemp(tmpl);
    fs::create_directories(dir + "/home");
    fs::create_directories(dir + "/run");
    fs::permissions(dir + "/run", fs::perms::owner_all);
    std::vector<std::string> env = {"HOME=" + dir + "/home", "XDG_RUNTIME_DIR=" + dir + "/run",
                                    "PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")};
    pid_t server = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                          "-L", "module-null-sink", "-L", "module-native-protocol-unix", "--log-target=stderr",
                          "--log-level=0"},
                         env);
    if (!server) GTEST_SKIP() << "pulseaudio could not be started";
    bool up = false;
    for (int i = 0; i < 150 && !up; ++i) {
        up = fs::exists(dir + "/run/pulse/native");
        if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (up) {
        std::string wav = dir + "/alarm.wav";
        WriteSilentWave(wav, 4000);  // half a second
        std::vector<std::string> childEnv = env;
        childEnv.push_back("KR_SOUND_CHILD_WAV=" + wav);
        childEnv.push_back("QT_QPA_PLATFORM=offscreen");
        pid_t child = Spawn({fs::read_symlink("/proc/self/exe").string(),
                             "--gtest_filter=SoundDeviceTest.AWaveFilePlaysToTheEndOnARealOutput"},
                            childEnv);
        ASSERT_GT(child, 0);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child run failed";
    }
    kill(server, SIGTERM);
    int status = 0;
    waitpid(server, &status, 0);
    fs::remove_all(dir);
    if (!up) GTEST_SKIP() << "pulseaudio did not come up";
}

}  // namespace
}  // namespace kr
