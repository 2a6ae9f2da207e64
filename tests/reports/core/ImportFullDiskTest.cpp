// An import into a data file on a full disk: the records that count are the
// ones whose transaction committed, and the import says it stopped and why.
// The disk is a small tmpfs mounted for the test (root is needed for that;
// without it the test is skipped and says so).
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "../../support/DataFolderFixture.h"
#include "dictionary/OrganiserTables.h"
#include "platform/data/Table.h"
#include "reports/ImexProcesses.h"

namespace kr::reports {
namespace {

class ImportFullDiskTest : public test::DataFolderTest {
protected:
    ImportFullDiskTest() : DataFolderTest("imex-fulldisk", MakeDate(6, 1, 2024), 0) {}

    void SetUp() override {
        DataFolderTest::SetUp();
        disk_ = dir_ / "disk";
        std::filesystem::create_directory(disk_);
        if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=1m,mode=0700") != 0) {
            const int err = errno;
            GTEST_SKIP() << "a full disk is made as a 1 MB tmpfs, and mounting one was refused here ("
                         << std::strerror(err) << "): the import on a full disk is not tested";
        }
        mounted_ = true;
        // The data folder is the small disk; the file to import stays outside it.
        std::filesystem::current_path(disk_);
    }
    void TearDown() override {
        DictionaryKill();
        data::CloseIdleFiles();
        std::filesystem::current_path(dir_);
        if (mounted_) ::umount2(disk_.c_str(), MNT_DETACH);
        DataFolderTest::TearDown();
    }
    // Fills the disk, then gives back `room` bytes.
    void FillDiskLeaving(std::size_t room) {
        const std::string filler = (disk_ / "filler").string();
        {
            std::ofstream out(filler, std::ios::binary);
            const std::string chunk(4096, 'x');
            while (out.write(chunk.data(), chunk.size())) out.flush();
        }
        const auto size = std::filesystem::file_size(filler);
        std::filesystem::resize_file(filler, size > room ? size - room : 0);
    }
    static int64_t RowsInTable() {
        data::Table& t = data::TableOf(ContactDef());
        if (t.Open() != 0) return -1;
        const int64_t n = t.Records();
        t.Close();
        return n;
    }

    std::filesystem::path disk_;
    bool mounted_ = false;
};

TEST_F(ImportFullDiskTest, AFailedCommitCountsOnlyTheRecordsInTheTableAndSaysTheDiskIsFull) {
    {
        data::Table& t = data::TableOf(ContactDef());
        ASSERT_EQ(t.Create(), 0);
        ASSERT_EQ(t.Open(), 0);
        t.Close();
    }
    const std::string file = (dir_ / "contacts.csv").string();
    {
        std::ofstream out(file, std::ios::binary);
        out << "\"C_:LastName\",\"C_:FirstName\",\"C_:Email\",\"C_:Notes\"\r\n";
        for (int i = 0; i < 1000; ++i)
            out << "\"Last " << i << "\",\"First " << i << "\",\"person" << i << "@example.org\",\""
                << std::string(200, static_cast<char>('a' + i % 26)) << "\"\r\n";
    }
    auto reader = std::make_shared<Imex>();
    ImexError e;
    ASSERT_GT(OpenImportFile(*reader, file, e), 0) << e.Message();
    const ImportColumns cols = ScanImportColumns(*reader);
    ImportMapping m{cols.pictures, {}};
    AutoAssign(Member(ImexKind::Contacts), cols.values, m);
    ImportRun run(Member(ImexKind::Contacts), reader, m, true);
    ASSERT_TRUE(run.Start());
    FillDiskLeaving(32 << 10);

    EXPECT_EQ(RunToEnd(run), ProcessState::Failed);
    ASSERT_TRUE(responder_.sawTitle("Cannot ADD to Contact!"));
    EXPECT_NE(responder_.shown().back().request.text.find("(the disk is full)"), std::string::npos)
        << responder_.shown().back().request.text;
    // Every record counted is in the table, and the summary says so.
    const int64_t rows = RowsInTable();
    EXPECT_LT(rows, 1000);
    EXPECT_EQ(run.added(), rows);
    const std::string summary = run.Summary();
    EXPECT_EQ(summary.rfind("Import stopped by an error: " + std::to_string(rows) + " of ", 0), 0u)
        << summary;
    EXPECT_NE(summary.find("imported as " + std::to_string(rows) + (rows == 1 ? " record" : " records")),
              std::string::npos)
        << summary;
    EXPECT_NE(summary.find("not saved (the commit failed)"), std::string::npos) << summary;
    EXPECT_NE(summary.find("; stopped because the disk is full."), std::string::npos) << summary;
}

}  // namespace
}  // namespace kr::reports
