// "Log Windows" against the real desktop under Xvfb: a window of ours shows
// up in the file as a fixed-width line with its title and handle.
#include <gtest/gtest.h>

#include <fstream>

#include "DesktopSession.h"
#include "scheduler/FileActions.h"
#include "scheduler/ScriptValues.h"
#include "scheduler/WindowMatch.h"

namespace kr {
namespace {

using test::Pump;

TEST(LogWindows, TheDesktopsWindowsAreWrittenWithTheirHandles) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    test::DesktopSession session;
    std::string output;
    test::Child target = session.StartTarget("Log windows target", "Ready", &output);
    WindowHandle window = 0;
    ASSERT_TRUE(Pump([&] { return (window = FindWindowByTitle("Log windows target", "")) != 0; }, 10000));

    char tmpl[] = "/tmp/kr-logwindows-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string file = std::string(tmpl) + "/windows.txt";
    const int64_t n = DoFileAction("Log Windows", file, "");
    EXPECT_GE(n, 1);
    EXPECT_EQ(ScriptValues().Find("ERRORCODE")->StringValue, "0");

    std::ifstream in(file, std::ios::binary);
    std::string line;
    bool found = false;
    std::string title = "Log windows target";
    title.resize(40, ' ');
    std::string handle = std::to_string(window);
    handle.resize(12, ' ');
    while (std::getline(in, line)) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\r');
        if (line.rfind(title + handle, 0) == 0) found = true;
    }
    EXPECT_TRUE(found);
    std::filesystem::remove_all(tmpl);
}

}  // namespace
}  // namespace kr
