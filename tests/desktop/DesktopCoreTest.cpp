// The window-list rules, ReplaceSubstring and the sound service; no X needed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/desktop/Sound.h"
#include "platform/desktop/WindowHelpers.h"

namespace kr {
namespace {

TEST(WindowListRules, TitlesHiddenWindowsAndIconTitles) {
    std::vector<DesktopWindow> ws = {
        {1, "Notepad", "", "Edit", true},
        {2, "Hidden", "", "Helper", false},
        {3, "", "From icon", "Icon", false},
        {4, "", "", "Blank", true},
    };
    auto all = BuildWindowList(ws, false);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].Line.str(), "Notepad");
    EXPECT_EQ(all[1].Handle, 2u);
    EXPECT_EQ(all[2].Line.str(), "From icon");
    EXPECT_EQ(all[2].Class.str(), "Icon");
    auto shown = BuildWindowList(ws, true);
    ASSERT_EQ(shown.size(), 2u) << "a hidden untitled window listed by its icon title stays";
    EXPECT_EQ(shown[0].Handle, 1u);
    EXPECT_EQ(shown[1].Handle, 3u);

    std::string longTitle(300, 'x');
    auto cut = BuildWindowList({{5, longTitle, "", "C", true}}, false);
    EXPECT_EQ(cut[0].Line.size(), 254u);

    auto kids = BuildChildWindowList(ws);
    ASSERT_EQ(kids.size(), 3u) << "child lists take no notice of visibility";
}

TEST(ReplaceSubstringTest, ReplacesFromTheRightWithinTheFixedLength) {
    FString<10> t("aXbXc");
    ReplaceSubstring(t, "X", "YY", false);
    EXPECT_EQ(t.str(), "aYYbYYc");
    FString<6> shortField("aXbXc");
    ReplaceSubstring(shortField, "X", "YY", false);
    EXPECT_EQ(shortField.str(), "aYYbYY") << "cut to the field's length";

    FString<10> lower("axbXc");
    ReplaceSubstring(lower, "X", "-", false);
    EXPECT_EQ(lower.str(), "axb-c");
    ReplaceSubstring(lower, "X", "-", true);
    EXPECT_EQ(lower.str(), "a-b-c");

    // Overlaps go to the rightmost; a replacement is not searched again.
    EXPECT_EQ(ReplaceSubstringFixed("aaa", 3, "aa", "b", false), "ab ");
    EXPECT_EQ(ReplaceSubstringFixed("aab", 3, "ab", "b", false), "ab ");
    EXPECT_EQ(ReplaceSubstringFixed("abc", 3, "", "z", false), "abc");
    EXPECT_EQ(ReplaceSubstringFixed("abc", 3, "abcd", "z", false), "abc");
    // Trailing blanks of the fixed length take part in the search.
    EXPECT_EQ(ReplaceSubstringFixed("ab", 4, "b ", "Q", false), "aQ  ");

}

TEST(ReplaceSubstringTest, ZeroEndedTextsGrowIntoTheirRoomAndKeepTheirTail) {
    CString<8> c("aXb");
    ReplaceSubstring(c, "X", "YYY", false);
    EXPECT_EQ(c.str(), "aYYYb");
    CString<6> full("aXbX");
    ReplaceSubstring(full, "X", "YY", false);
    EXPECT_EQ(full.str(), "aYYbY") << "cut to the room of five characters";
    // Blanks of the text itself stay; the room's padding does not.
    CString<10> blank("a-b ");
    ReplaceSubstring(blank, "-", "--", false);
    EXPECT_EQ(blank.str(), "a--b ");
    CString<10> shrink("aXXb");
    ReplaceSubstring(shrink, "XX", "", false);
    EXPECT_EQ(shrink.str(), "ab");
}

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kr_sound_XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override {
        InstallSoundService(nullptr);
        std::filesystem::remove_all(dir);
    }
    // A short silent WAV file.
    std::string WriteWave(const std::string& name) {
        std::string path = dir + "/" + name;
        std::ofstream f(path, std::ios::binary);
        auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
        auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
        const uint32_t samples = 800;
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
        return path;
    }
    std::string dir;
};

TEST_F(SoundTest, PlayCallsReachTheInstalledService) {
    RecordingSoundService rec;
    InstallSoundService(&rec);
    EXPECT_TRUE(PlaySoundAsync("C:\\Sounds\\alarm.wav"));
    Beep();
    rec.SetAnswer(false);
    EXPECT_FALSE(PlaySoundAsync("other.wav"));
    EXPECT_EQ(rec.played(), (std::vector<std::string>{"C:\\Sounds\\alarm.wav", "other.wav"}));
    EXPECT_EQ(rec.beeps(), 1);
}

TEST_F(SoundTest, StoredNamesResolveWithoutRegardToCaseAndBackslashes) {
    std::filesystem::create_directories(dir + "/Sounds");
    std::string wav = WriteWave("Sounds/Alarm.WAV");
    EXPECT_EQ(ResolveSoundFile(dir + "\\sounds\\alarm.wav"), wav);
    EXPECT_EQ(ResolveSoundFile(wav), wav);
    EXPECT_EQ(ResolveSoundFile(dir + "/Sounds/missing.wav"), "");
    EXPECT_EQ(ResolveSoundFile("   "), "");
    EXPECT_TRUE(IsWaveFile(wav));
    std::ofstream(dir + "/text.wav") << "not a sound";
    EXPECT_FALSE(IsWaveFile(dir + "/text.wav"));
}

TEST_F(SoundTest, QtPlayerRefusesWhatItCannotPlay) {
    QtSoundService qt;
    EXPECT_FALSE(qt.PlayAsync(dir + "/missing.wav"));
    std::ofstream(dir + "/text.wav") << "not a sound";
    EXPECT_FALSE(qt.PlayAsync(dir + "/text.wav"));
    // A real WAV plays when there is an output, and is refused quietly when not.
    std::string wav = WriteWave("beep.wav");
    EXPECT_EQ(qt.PlayAsync(wav), HaveAudioOutput());
    qt.Stop();
}

}  // namespace
}  // namespace kr
