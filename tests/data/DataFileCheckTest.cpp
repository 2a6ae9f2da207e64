// The health check of a data file before a program writes to it: sound
// files pass, damaged pages anywhere are found, a first page that does not
// decrypt while the others do is damage rather than another password, and
// files that are not ours are told apart. The file is never changed.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <atomic>
#include <chrono>

#include "DataFixture.h"
#include "platform/data/DataFileCheck.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr::test {
namespace {

class DataFileCheckTest : public DataTest {
protected:
    // People.TPS with enough rows for several pages.
    void MakeFile(int rows = 60) {
        Table& people = Fresh(PersonDef());
        for (int i = 1; i <= rows; ++i) {
            people.Clear();
            people.Rec<Person>().ID = i;
            people.Rec<Person>().Name = "Person " + std::to_string(i);
            people.Rec<Person>().City = "City " + std::to_string(i);
            people.Rec<Person>().Code = std::to_string(i);
            ASSERT_EQ(people.Add(), 0);
        }
        people.Close();
        CloseIdleFiles();
    }
    void Damage(off_t at, std::size_t bytes) {
        const int fd = ::open(path("People.TPS").c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const std::string junk(bytes, '\x5a');
        ASSERT_EQ(::pwrite(fd, junk.data(), junk.size(), at), static_cast<ssize_t>(bytes));
        ::close(fd);
    }
    std::string Bytes(const std::string& name) {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    DataFileCheck Check() { return CheckDataFile(path("People.TPS"), "s3cret!pw", 5000); }
};

TEST_F(DataFileCheckTest, SoundFilesPassAndMissingOnesAreSaid) {
    MakeFile();
    DataFileCheck c = Check();
    EXPECT_EQ(c.health, DataFileHealth::Sound) << c.detail;
    EXPECT_TRUE(c.complete);
    EXPECT_EQ(CheckDataFile(path("None.TPS"), "s3cret!pw").health, DataFileHealth::Missing);
}

TEST_F(DataFileCheckTest, DamagedPagesAreFoundWithoutChangingTheFile) {
    MakeFile();
    const std::size_t size = Bytes("People.TPS").size();
    ASSERT_GE(size, 6u * 1024);
    // A page in the middle.
    Damage(3 * 1024 + 100, 200);
    const std::string before = Bytes("People.TPS");
    DataFileCheck c = Check();
    EXPECT_EQ(c.health, DataFileHealth::Damaged) << c.detail;
    EXPECT_EQ(Bytes("People.TPS"), before);
}

TEST_F(DataFileCheckTest, ManyDamagedPagesAreCountedAndOnlyTheFirstThreeNamed) {
    MakeFile(600);
    // Six pages of rows at the end of the file.
    const std::size_t size = Bytes("People.TPS").size();
    ASSERT_GE(size, 12u * 4096);
    for (int k = 1; k <= 6; ++k) Damage(static_cast<off_t>(size - static_cast<std::size_t>(k) * 4096 + 100), 64);
    DataFileCheck c = Check();
    ASSERT_EQ(c.health, DataFileHealth::Damaged) << c.detail;
    EXPECT_EQ(c.detail.find('\n'), std::string::npos) << c.detail;
    EXPECT_NE(c.detail.find(" problems, the first: "), std::string::npos) << c.detail;
    // Three findings, separated by "; ", and a mark that more follow.
    std::size_t separators = 0;
    for (std::size_t at = c.detail.find("; "); at != std::string::npos; at = c.detail.find("; ", at + 2)) ++separators;
    EXPECT_LE(separators, 3u) << c.detail;
    EXPECT_LT(c.detail.size(), 400u) << c.detail;
}

TEST_F(DataFileCheckTest, AFirstPageThatDoesNotDecryptIsDamageNotAnotherPassword) {
    MakeFile();
    Damage(200, 100);  // behind the salt
    DataFileCheck c = Check();
    EXPECT_EQ(c.health, DataFileHealth::Damaged) << c.detail;
    EXPECT_TRUE(OtherPagesDecrypt(path("People.TPS"), "s3cret!pw"));
    // A table opened on it says so too.
    Table& people = T(PersonDef());
    EXPECT_EQ(people.Open(), kDriverError);
    EXPECT_EQ(LastFileErrorText(), "The file is damaged");
    // With another password nothing decrypts: not ours.
    EXPECT_FALSE(OtherPagesDecrypt(path("People.TPS"), "other"));
    EXPECT_EQ(CheckDataFile(path("People.TPS"), "other").health, DataFileHealth::NotDataFile);
}

TEST_F(DataFileCheckTest, FilesThatAreNotOursAreToldApart) {
    MakeFile();
    // The salt itself damaged: no page decrypts any more.
    Damage(0, 16);
    EXPECT_EQ(Check().health, DataFileHealth::NotDataFile);
    // Another kind of file, and a database that is not encrypted.
    std::ofstream(path("People.TPS"), std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
    EXPECT_EQ(Check().health, DataFileHealth::NotDataFile);
    ::unlink(path("People.TPS").c_str());
    ASSERT_EQ(std::system(("sqlcipher " + path("People.TPS") + " 'CREATE TABLE t(x)'").c_str()), 0);
    DataFileCheck plain = Check();
    EXPECT_EQ(plain.health, DataFileHealth::NotDataFile);
    EXPECT_EQ(plain.detail, "The file is not encrypted");
}

// The check on a worker while the program starts: writes to the file wait
// for its report, and a damaged file is told to the starting thread before
// any write has reached it.
TEST_F(DataFileCheckTest, WritesWaitForTheBackgroundCheck) {
    MakeFile(600);
    const std::size_t size = Bytes("People.TPS").size();
    Damage(static_cast<off_t>(size - 2 * 4096 + 100), 64);
    const std::string before = Bytes("People.TPS");

    int told = 0;
    bool unchangedWhenTold = false;
    StartDataFileCheck(path("People.TPS"), "s3cret!pw", 5000, [&](const DataFileCheck& c) {
        ++told;
        EXPECT_EQ(c.health, DataFileHealth::Damaged) << c.detail;
        unchangedWhenTold = Bytes("People.TPS") == before;
    });
    EXPECT_TRUE(DataFileCheckPending(path("People.TPS")));
    EXPECT_FALSE(DataFileCheckPending(path("Other.TPS")));

    // Another thread's write waits while the check is unreported, and is
    // refused after the starting thread has been told.
    std::atomic<bool> written{false}, writeRefused{false};
    std::thread writer([&] {
        Table& people = T(PersonDef());
        if (people.Open(kModeShared) != 0) return;
        people.Clear();
        people.Rec<Person>().ID = 9001;
        people.Rec<Person>().Name = "Late";
        writeRefused = people.Add() != 0;
        people.Close();
        written = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(written.load()) << "a write went ahead of the check's report";
    EXPECT_EQ(told, 0) << "only the starting thread tells the user";

    AwaitDataFileCheck();
    writer.join();
    EXPECT_EQ(told, 1);
    EXPECT_TRUE(unchangedWhenTold);
    EXPECT_TRUE(written.load());
    EXPECT_TRUE(writeRefused.load());
    EXPECT_FALSE(AwaitDataFileCheck());  // told once only
    EXPECT_EQ(told, 1);
    EXPECT_EQ(Bytes("People.TPS"), before) << "nothing was written to the damaged file";
}

TEST_F(DataFileCheckTest, ASoundFileLetsWritesThroughWithoutATelling) {
    MakeFile();
    bool told = false;
    StartDataFileCheck(path("People.TPS"), "s3cret!pw", 5000, [&](const DataFileCheck&) { told = true; });
    Table& people = T(PersonDef());
    ASSERT_EQ(people.Open(kModeShared), 0);
    people.Clear();
    people.Rec<Person>().ID = 9002;
    people.Rec<Person>().Name = "Next";
    EXPECT_EQ(people.Add(), 0);
    people.Close();
    EXPECT_FALSE(DataFileCheckPending(path("People.TPS")));
    EXPECT_TRUE(AwaitDataFileCheck());
    EXPECT_FALSE(told);
}

}  // namespace
}  // namespace kr::test
