// What a pressed hot key does, with the keystroke service and the messages
// recorded: typing waits for the keys to be released, CR LF becomes CR,
// copy only fills the clipboard, unknown actions are reported.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "platform/runtime/Services.h"
#include "scheduler/HotKeyActions.h"
#include "scheduler/ScriptServices.h"

namespace kr {
namespace {

struct RecordedKeystrokes : KeystrokeService {
    std::vector<std::string> sent;
    bool Send(std::string_view text, std::function<void(bool)> done) override {
        sent.emplace_back(text);
        if (done) done(true);
        return true;
    }
    void Cancel() override {}
};

struct RecordedMessages : MessageService {
    std::vector<std::pair<std::string, std::string>> shown;
    int Show(const MessageRequest& r) override {
        shown.emplace_back(r.title, r.text);
        return kButtonOk;
    }
};

bool Pump(const std::function<bool()>& cond, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return cond();
}

class HotKeyActionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallKeystrokeService(&keys_);
        InstallMessageService(&messages_);
        InstallClipboardService(&clipboard_);
    }
    void TearDown() override {
        InstallKeystrokeService(nullptr);
        InstallMessageService(nullptr);
        InstallClipboardService(nullptr);
    }
    static SysHotKeys Key(const char* action, const char* type, const char* text) {
        SysHotKeys r;
        r.HotKey = "Ctrl-F5";
        r.Active = 1;
        r.Action = action;
        r.TextType = type;
        r.Text = text;
        return r;
    }
    RecordedKeystrokes keys_;
    RecordedMessages messages_;
    MemoryClipboard clipboard_;
    bool held_ = true;
    HotKeyActions actions_{[this](HotKeyCode) { return held_; }, nullptr};
};

TEST_F(HotKeyActionsTest, TypingWaitsForTheKeysToBeReleased) {
    actions_.RunHotKey(Key("Text", "type", "one\r\ntwo\r\n\r\nthree  "));
    Pump([] { return false; }, 300);
    EXPECT_TRUE(keys_.sent.empty());  // still held
    EXPECT_TRUE(actions_.Busy());
    held_ = false;
    ASSERT_TRUE(Pump([&] { return !keys_.sent.empty(); }));
    EXPECT_EQ(keys_.sent, std::vector<std::string>{"one\rtwo\r\rthree"});
    EXPECT_TRUE(Pump([&] { return !actions_.Busy(); }));
}

TEST_F(HotKeyActionsTest, CopyFillsTheClipboardAndInactiveKeysDoNothing) {
    actions_.RunHotKey(Key("Text", "Copy", "copied text  "));
    EXPECT_EQ(clipboard_.Text(), "copied text");
    EXPECT_FALSE(actions_.Busy());
    SysHotKeys off = Key("Text", "Copy", "other");
    off.Active = 0;
    actions_.RunHotKey(off);
    EXPECT_EQ(clipboard_.Text(), "copied text");
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(HotKeyActionsTest, UnknownActionsAreReportedAndRunNothing) {
    actions_.RunHotKey(Key("Run", "Type", "x"));
    actions_.RunHotKey(Key("Text", "Shout", "x"));
    ASSERT_EQ(messages_.shown.size(), 2u);
    EXPECT_EQ(messages_.shown[0], std::make_pair(std::string("Hot-Key Ctrl-F5 Error"),
                                                 std::string("Unknown Action:  Run")));
    EXPECT_EQ(messages_.shown[1].second, "Unknown Text Automation:  Shout");
    EXPECT_FALSE(actions_.Busy());
    EXPECT_TRUE(keys_.sent.empty());
}

}  // namespace
}  // namespace kr
