// What "&Run" finds in a clipboard entry, and which entries show as links.
#include <gtest/gtest.h>

#include "organiser/ClipboardRun.h"

namespace kr {
namespace {

using T = ClipboardRunTarget;
T Url(const std::string& s) { return {T::Url, s}; }
T Program(const std::string& s) { return {T::Program, s}; }
using Targets = std::vector<T>;

TEST(ClipboardRun, AddressesEndAtBlanksQuotesAndLineBreaks) {
    EXPECT_EQ(ClipboardRunTargets("http://x.test/a b"), Targets{Url("http://x.test/a")});
    EXPECT_EQ(ClipboardRunTargets("See HTTP://x.test/a\r\nand more"), Targets{Url("HTTP://x.test/a")});
    EXPECT_EQ(ClipboardRunTargets("go to \"https://x.test/q?a=1\" now"), Targets{Url("https://x.test/q?a=1")});
    EXPECT_EQ(ClipboardRunTargets("write to mailto:me@x.test\nthanks"), Targets{Url("mailto:me@x.test")});
    EXPECT_EQ(ClipboardRunTargets("http://x.test/" + std::string(300, 'a')).at(0).target.size(), 255u);
    EXPECT_TRUE(ClipboardRunTargets("nothing to run here").empty());
}

TEST(ClipboardRun, ProgramFilesAndWww) {
    // Only a path: the whole text.
    EXPECT_EQ(ClipboardRunTargets("/opt/tools/setup.exe"), Targets{Program("/opt/tools/setup.exe")});
    // A quoted path with blanks followed by more words: the quote, not the
    // blanks, ends the backward scan.
    EXPECT_EQ(ClipboardRunTargets("run \"/opt/My Tools/setup.exe\" please"),
              Targets{Program("/opt/My Tools/setup.exe")});
    // Without quotes a blank ends it.
    EXPECT_EQ(ClipboardRunTargets("run setup.exe now"), Targets{Program("setup.exe")});
    // Only quotes before the end of the name count: a quoted argument after
    // it leaves the blank ending the name.
    EXPECT_EQ(ClipboardRunTargets("run /opt/app.exe \"my file.txt\""), Targets{Program("/opt/app.exe")});
    // A web address ending in ".exe" is started twice.
    EXPECT_EQ(ClipboardRunTargets("http://x.test/setup.exe"),
              (Targets{Url("http://x.test/setup.exe"), Program("http://x.test/setup.exe")}));
    // "www" at the start (lower case only): the address, not the whole entry.
    EXPECT_EQ(ClipboardRunTargets("www.x.test/page and the rest\nof the note"), Targets{Url("http://www.x.test/page")});
    EXPECT_TRUE(ClipboardRunTargets("WWW.x.test").empty());
}

TEST(ClipboardRun, LinkColouring) {
    EXPECT_TRUE(ClipboardContentsIsLink("see HTTP://x.test"));
    EXPECT_TRUE(ClipboardContentsIsLink("mailto:a@b"));
    EXPECT_TRUE(ClipboardContentsIsLink("C:\\x\\Setup.EXE"));
    EXPECT_TRUE(ClipboardContentsIsLink("desktop.lnk"));
    EXPECT_FALSE(ClipboardContentsIsLink("www.x.test"));
    EXPECT_FALSE(ClipboardContentsIsLink("plain text"));
}

}  // namespace
}  // namespace kr
