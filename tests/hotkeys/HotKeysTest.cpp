#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "scheduler/HotKeys.h"

using namespace kr;
using ::testing::ElementsAre;

namespace {

TEST(ParseKeyTest, ModifierSpellingsAndKeyNames) {
    EXPECT_EQ(ParseKey("Ctrl-Shift-F1").Value(), 1648);
    EXPECT_EQ(ParseKey("^+F1").Value(), 1648);
    EXPECT_EQ(ParseKey("CTRLSHIFTF1").Value(), 1648);
    EXPECT_EQ(ParseKey("WinW").Value(), 2135);
    EXPECT_EQ(ParseKey("KeyA").Value(), 65);
    EXPECT_EQ(ParseKey("A").Value(), 65);
    EXPECT_EQ(ParseKey("a  ").Value(), 65);
    EXPECT_EQ(ParseKey("Alt-A").Value(), 321);
    EXPECT_EQ(ParseKey("%*Pad7").Value(), 256 + 2048 + 103);
    EXPECT_EQ(ParseKey("Win-Ctrl-Alt-Shift-INSERT").Value(), 2048 + 512 + 256 + 1024 + 45);
    EXPECT_EQ(ParseKey("F10").VirtualKey(), 121);  // not F1 followed by "0"
    EXPECT_EQ(ParseKey("Foo").Value(), 0);
    EXPECT_EQ(ParseKey("").Value(), 0);
    // Modifiers alone keep their bits with no key.
    EXPECT_EQ(ParseKey("Ctrl").Value(), 512);
    EXPECT_TRUE(ParseKey("Shift-Foo").Has(HotKeyModifier::Shift));
    EXPECT_EQ(ParseKey("Shift-Foo").VirtualKey(), 0);
}

TEST(ParseKeyTest, TableHasEveryNameOnce) {
    const auto& names = HotKeyNames();
    EXPECT_EQ(names.size(), 92u);
    std::set<std::string> seen;
    for (const auto& n : names) EXPECT_TRUE(seen.insert(n.name).second) << n.name;
    EXPECT_EQ(ParseKey("MouseRight2").VirtualKey(), 6);
    EXPECT_EQ(ParseKey("Backspace").VirtualKey(), 8);
}

// Grabs recorded per key code, with codes another client already holds.
struct RecordingGrabber : HotKeyGrabber {
    std::set<int32_t> held;    // grabbed by us
    std::set<int32_t> taken;   // held by somebody else
    std::vector<std::pair<int, int32_t>> grabs;
    bool Grab(int id, HotKeyCode code) override {
        grabs.emplace_back(id, code.Value());
        if (taken.count(code.Value())) return false;
        held.insert(code.Value());
        return true;
    }
    bool Ungrab(int, HotKeyCode code) override { return held.erase(code.Value()) > 0; }
};

struct Manager : HotKeyManager {
    std::vector<std::string> invalid, handled;
    void HandleInvalidKey(const std::string& t) override { invalid.push_back(t); }
    void HandleHotKey(const std::string& t, int) override { handled.push_back(t); }
};

std::vector<int32_t> Codes(const HotKeyQueue& q) {
    std::vector<int32_t> c;
    for (const auto& r : q) c.push_back(r.code.Value());
    return c;
}

TEST(HotKeyManagerTest, KeysStayInCodeOrderAndRegisterAnewOnAdd) {
    RecordingGrabber g;
    Manager m;
    int pressed = 0;
    m.Init(&g, [&] { ++pressed; });
    m.Add("Ctrl-B");
    m.Resume();
    m.Add("Alt-A");  // before Ctrl-B: every id moves, so all are grabbed again
    m.Add("Ctrl-B");  // a code already there is not added twice
    m.Add("Bogus");
    EXPECT_THAT(Codes(m.KEYQ), ElementsAre(321, 578));
    EXPECT_THAT(m.invalid, ElementsAre("Bogus"));
    EXPECT_EQ(g.grabs.back(), std::make_pair(2, 578));
    EXPECT_EQ(g.held, (std::set<int32_t>{321, 578}));
    EXPECT_EQ(m.KEYSREGISTERED, 1);

    m.Pressed(1);
    m.Pressed(9);  // no such id: an unknown key with the id as its text
    EXPECT_EQ(pressed, 2);
    EXPECT_THAT(m.handled, ElementsAre("Alt-A", "9"));
    EXPECT_EQ(m.TakePressed()->text, "Alt-A");
    EXPECT_EQ(m.TakePressed()->code.Value(), 0);
    EXPECT_FALSE(m.TakePressed());
}

TEST(HotKeyManagerTest, RefusedGrabsAreListedAndTheOthersHeld) {
    RecordingGrabber g;
    g.taken = {ParseKey("Ctrl-F5").Value(), ParseKey("MouseLeft").Value()};
    Manager m;
    m.Init(&g);
    m.Resume();
    m.Reload({"Ctrl-F5", "Alt-F6", "MouseLeft"});
    EXPECT_THAT(Codes(m.FAILEDKEYQ), ElementsAre(1, 512 + 116));
    EXPECT_EQ(g.held, (std::set<int32_t>{2135, 256 + 117}));
    // A grab that works again on the next registration leaves the list.
    g.taken.clear();
    m.Suspend();
    m.Resume();
    EXPECT_TRUE(m.FAILEDKEYQ.empty());
}

TEST(HotKeyManagerTest, ReloadFreesKeysNoLongerStored) {
    RecordingGrabber g;
    Manager m;
    m.Init(&g);
    m.Add(kHotKeyRestore);
    m.Resume();
    m.Reload({"Ctrl-F5", "Alt-F6"});
    EXPECT_EQ(g.held.size(), 3u);
    // The frame's reload: suspend, reload, resume. Alt-F6 was deleted.
    m.Suspend();
    m.Reload({"Ctrl-F5"});
    m.Resume();
    EXPECT_EQ(g.held, (std::set<int32_t>{512 + 116, 2135}));
    EXPECT_THAT(Codes(m.KEYQ), ElementsAre(512 + 116, 2135));
    // An empty table keeps the restore key only.
    m.Reload({});
    EXPECT_EQ(g.held, (std::set<int32_t>{2135}));
    m.Kill();
    EXPECT_TRUE(g.held.empty());
    EXPECT_TRUE(m.KEYQ.empty());
}

TEST(HotKeyManagerTest, NothingIsGrabbedWhileSuspended) {
    RecordingGrabber g;
    Manager m;
    m.Init(&g);
    m.Add("Ctrl-F5");
    EXPECT_TRUE(g.grabs.empty());
    EXPECT_EQ(m.KEYSREGISTERED, 0);
}

}  // namespace
