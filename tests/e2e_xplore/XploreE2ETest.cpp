// The built KR98 under openbox in a temporary data folder, driven with
// xdotool: a right click on a cell of the schedule list and "Add Filter of
// (...)" from the header popup narrow the list; "Export to HTML" writes
// "XPort.HTM" and hands it to the desktop's opener (a stand-in xdg-open on
// the program's PATH that records its argument).
#include <algorithm>
#include <fstream>

// Xlib last (with the fixture): its macros (Bool, Status) clash with Qt's headers.
#include "../msgprog/ScheduleListE2EFixture.h"

namespace kr::test {
namespace {

class XploreE2ETest : public ScheduleListE2ETest {
protected:
    static int Count(const std::vector<std::string>& texts, const std::string& text) {
        return static_cast<int>(std::count(texts.begin(), texts.end(), text));
    }
    static void RightClick(const std::string& window, int x, int y) {
        xdo::Activate(window);
        xdo::Run({"mousemove", "--window", QString::fromStdString(window), QString::number(x), QString::number(y),
                  "click", "3"});
    }
};

TEST_F(XploreE2ETest, ACellsFilterNarrowsTheListAndTheHtmlExportIsOpened) {
    // Two tasks alike in every filterable column, a third unlike them.
    const int32_t today = Today();
    {
        data::Table& t = data::TableOf(ScheduleDef());
        ASSERT_EQ(t.Create(), 0);
        ASSERT_EQ(t.Open(), 0);
        const char* names[] = {"Alpha <b>", "Alpha <b>", "Beta"};
        for (int i = 0; i < 3; ++i) {
            t.Clear();
            Schedule& s = t.Rec<Schedule>();
            s.ID = i + 1;
            s.Description = names[i];
            s.Category = i < 2 ? "Work" : "Home";
            s.TaskType = "Display Message";
            s.ScheduleType = "Once";
            s.Date = today + (i < 2 ? 30 : 31);
            s.Time = MakeTime(9, 0);
            s.Disabled = 1;  // never due while the test runs
            ASSERT_EQ(t.Add(), 0);
        }
        t.Close();
    }
    SetSetting("FullSchedule", "1");
    data::TableOf(ConfigurationDef()).Close();
    data::CloseIdleFiles();
    // The stand-in opener records what it is asked to open.
    const std::filesystem::path bin = dir_ / "bin";
    std::filesystem::create_directory(bin);
    {
        std::ofstream(bin / "xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" << (dir_ / "opened.txt").string()
                                        << "\"\n";
    }
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    kr98_.Prepare(dir_);
    kr98_.SetEnv("PATH", bin.string() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"));
    kr98_.SetEnv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    kr98_.SetResponses(dir_ / "answers.txt");
    ASSERT_TRUE(kr98_.Start());

    const std::string frame = xdo::WindowNamed("^Kairoll 2000", 40000);
    ASSERT_FALSE(frame.empty()) << "the frame did not show\n" << kr98_.Said();
    // With FullSchedule the list opens at start-up on its "All by Date" tab.
    const std::string list = xdo::WindowNamed("^Scheduled Tasks$", 40000);
    ASSERT_FALSE(list.empty()) << "the schedule list did not open; windows:\n" << xdo::VisibleTitles();
    if (!AccessibilityAvailable()) GTEST_SKIP() << "no accessibility bus to read the list's cells";
    ASSERT_TRUE(WaitUntil([] { return Count(ListTexts(), "Beta") == 1; }, 20000)) << "the tasks did not show";

    // A right click on the first row's description: Filter, the first item
    // ("Add Filter of (... Description=Alpha <b>)").
    const std::string geometry = xdo::Run({"getwindowgeometry", "--shell", QString::fromStdString(list)});
    RightClick(list, 330, 125);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    xdo::Run({"key", "--clearmodifiers", "f"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    xdo::Run({"key", "--clearmodifiers", "Return"});
    EXPECT_TRUE(WaitUntil([] { return Count(ListTexts(), "Beta") == 0; }, 20000))
        << "the list did not narrow; window " << geometry;
    EXPECT_EQ(Count(ListTexts(), "Alpha <b>"), 2);

    // Export to HTML: Output, its fourth item.
    RightClick(list, 330, 125);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (const char* key : {"o", "Down", "Down", "Down", "Return"}) {
        xdo::Run({"key", "--clearmodifiers", key});
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    const std::filesystem::path html = dir_ / "XPort.HTM";
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir_ / "opened.txt"); }, 20000))
        << "the opener was not started; windows:\n" << xdo::VisibleTitles();
    std::string opened;
    std::getline(std::ifstream(dir_ / "opened.txt"), opened);
    EXPECT_EQ(std::filesystem::path(opened).filename(), "XPort.HTM");
    std::ifstream in(html);
    const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(page.find("<TD>Alpha &lt;b&gt;</TD>"), std::string::npos) << page;
    EXPECT_EQ(page.find("Beta"), std::string::npos) << "the export left the filter out";
}

}  // namespace
}  // namespace kr::test
