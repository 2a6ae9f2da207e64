// The channel of the copy that holds a data folder, as the backup launcher
// uses it: held or not, seen under another name of the folder; who holds it
// (process, program, arguments with blanks); "show" and "end" reach the
// holder's handlers; a second copy is refused; nothing answers once the
// holder has gone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <filesystem>
#include <future>
#include <optional>

#include "platform/desktop/SingleCopy.h"
#include "ProgramRun.h"

namespace kr {
namespace {

namespace fs = std::filesystem;

// Runs the work on another thread while this one serves the event loop the
// holder's server needs; its result.
template <typename F>
auto WhileServing(F work) {
    auto result = std::async(std::launch::async, work);
    while (result.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return result.get();
}

void ServeUntil(const std::function<bool()>& cond) {
    for (int i = 0; i < 300 && !cond(); ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(KR98ChannelTest, HolderAnswersWhoItIsShowsEndsAndGoes) {
    test::TemporaryFolder dir("kr-channel");
    const fs::path folder = dir / "data";
    fs::create_directories(folder);
    fs::create_directory_symlink(folder, dir / "link");
    const std::string other = (dir / "link").string() + "/";
    EXPECT_FALSE(FolderHeld(folder.string()));
    EXPECT_FALSE(AskFolderHolder(folder.string(), 500).has_value());
    EXPECT_FALSE(AskFolderHolderToEnd(folder.string()));

    int shown = 0, ended = 0;
    auto holder = std::make_unique<SingleCopy>();
    SingleCopyRequests requests;
    requests.show = [&] { ++shown; };
    requests.end = [&] { ++ended; };
    requests.arguments = {"/I", "two words", ""};
    ASSERT_TRUE(holder->Claim(folder.string(), requests));
    EXPECT_TRUE(FolderHeld(other));

    const std::optional<FolderHolder> who = WhileServing([&] { return AskFolderHolder(other); });
    ASSERT_TRUE(who.has_value());
    EXPECT_EQ(who->pid, static_cast<long>(::getpid()));
    EXPECT_EQ(who->program, QCoreApplication::applicationFilePath().toStdString());
    EXPECT_EQ(who->arguments, requests.arguments);

    // A second copy on the folder is refused and shows the first.
    SingleCopy second;
    EXPECT_FALSE(WhileServing([&] { return second.Claim(folder.string(), {}); }));
    ServeUntil([&] { return shown == 1; });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(ended, 0);

    EXPECT_TRUE(AskFolderHolderToEnd(other));
    ServeUntil([&] { return ended == 1; });
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(shown, 1);

    // Gone: nothing holds the folder and nothing answers; the next copy
    // gets it.
    holder.reset();
    EXPECT_FALSE(FolderHeld(folder.string()));
    EXPECT_FALSE(AskFolderHolder(folder.string(), 500).has_value());
    EXPECT_FALSE(AskFolderHolderToEnd(folder.string()));
    SingleCopy next;
    EXPECT_TRUE(next.Claim(other, {}));
}

}  // namespace
}  // namespace kr
