// The channel of the copy that holds a data folder, as the backup launcher
// uses it: held or not, seen under another name of the folder; who holds it
// (process, program, arguments with blanks); "show" and "end" reach the
// holder's handlers; a second copy is refused; nothing answers once the
// holder has gone. And the launcher's restore over a holder that does not
// end, or whose closing is declined: nothing changes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <filesystem>
#include <future>
#include <optional>

#include "ProgramRun.h"
#include "ShareLock.h"
#include "backup/Launcher.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/desktop/SingleCopy.h"
#include "platform/runtime/Services.h"

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

// A restore from the window over a data folder whose holder is asked to end
// but does not: after 30 seconds the user is told and nothing is restored;
// declined, it is not even asked; an unattended run only refuses.
TEST(KR98ChannelTest, RestoreOverAHolderThatStaysChangesNothing) {
    using ::testing::HasSubstr;
    test::TemporaryFolder dir("kr-channel-restore");
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    ASSERT_EQ(data::TableOf(ConfigurationDef()).Create(), 0);
    data::CloseIdleFiles();
    ASSERT_EQ(::system("zip -q earlier.zip KR97.TPS"), 0);
    const std::string before = test::ReadText("KR97.TPS");

    // Held as KR98 holds it: the folder's lock and the data file's share lock.
    int ends = 0;
    SingleCopy holder;
    SingleCopyRequests requests;
    requests.end = [&] { ++ends; };
    ASSERT_TRUE(holder.Claim(dir.path().string(), requests));
    const int fd = ::open("KR97.TPS", O_RDWR | O_CLOEXEC);
    ASSERT_EQ(test::LockShareByte(fd), 0);

    ScriptedResponder responder;
    ScopedMessageService scoped(&responder);
    backup::LauncherRun run;
    run.archiveName = "earlier.zip";
    responder.Answer(kButtonYes);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_NE(WhileServing([&] { return backup::DoRestore(run, false); }), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_EQ(ends, 1);
    ASSERT_EQ(responder.shown().size(), 2u);
    EXPECT_EQ(responder.shown()[0].request.title, "Restore");
    EXPECT_EQ(responder.shown()[0].request.defaultButton, kButtonNo);
    EXPECT_EQ(responder.shown()[1].request.title, "Restore Failed");
    EXPECT_THAT(responder.shown()[1].request.text, HasSubstr("did not close within 30 seconds"));
    EXPECT_EQ(test::ReadText("KR97.TPS"), before);
    EXPECT_FALSE(fs::exists("KR97.TPS.old"));

    // Declined: the holder hears nothing, and nothing more is said.
    responder.clear();
    responder.Answer(kButtonNo);
    EXPECT_NE(WhileServing([&] { return backup::DoRestore(run, false); }), 0);
    EXPECT_EQ(ends, 1);
    ASSERT_EQ(responder.shown().size(), 1u);
    EXPECT_EQ(responder.shown()[0].request.title, "Restore");

    // Unattended: no offer, the refusal only.
    responder.clear();
    EXPECT_NE(WhileServing([&] { return backup::DoRestore(run, true); }), 0);
    EXPECT_EQ(ends, 1);
    ASSERT_EQ(responder.shown().size(), 1u);
    EXPECT_EQ(responder.shown()[0].request.title, "Restore Failed");
    EXPECT_EQ(test::ReadText("KR97.TPS"), before);
    ::close(fd);
    fs::current_path(previous);
}

}  // namespace
}  // namespace kr
