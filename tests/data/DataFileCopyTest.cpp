// A consistent copy of a data file: a copy that does not fit its disk fails
// with the cause (a backup must never take a cut copy for a whole one), and
// a new copy is owner-only whatever the umask, as the data file is.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "DataFixture.h"
#include "platform/data/DataFileCopy.h"

namespace kr::test {
namespace {

class DataFileCopyTest : public DataTest {
protected:
    // People.TPS of `rows` rows with long notes.
    void MakeFile(int rows) {
        Table& people = Fresh(PersonDef());
        ASSERT_EQ(Logout({&people}), 0);  // one transaction: a row's commit each is slow
        for (int i = 1; i <= rows; ++i) {
            people.Clear();
            people.Rec<Person>().ID = i;
            people.Rec<Person>().Name = "Person " + std::to_string(i);
            people.Rec<Person>().City = "City " + std::to_string(i);
            people.Rec<Person>().Code = std::to_string(i);
            people.Rec<Person>().Notes = std::string(90, static_cast<char>('a' + i % 26));
            ASSERT_EQ(people.Add(), 0);
        }
        ASSERT_EQ(Commit(), 0);
        people.Close();
        CloseIdleFiles();
    }
};

TEST_F(DataFileCopyTest, ACopyOntoAFullDiskFailsAndSaysTheDiskIsFull) {
    MakeFile(3000);
    const auto size = std::filesystem::file_size("People.TPS");
    ASSERT_GT(size, 300u * 1024);
    const std::string media = path("media");
    std::filesystem::create_directories(media);
    if (::geteuid() != 0 || std::system(("mount -t tmpfs -o size=256k kr-copy-full " + media + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs at " << media << " (needs root and mount rights)";
    std::string error;
    const DataCopy result =
        CopyDataFileConsistently("People.TPS", media + "/People.TPS", {PersonDef().ownerPassword, ""}, &error);
    std::system(("umount " + media).c_str());
    EXPECT_EQ(result, DataCopy::Failed);
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
}

TEST_F(DataFileCopyTest, ANewCopyIsOwnerOnlyAndWhole) {
    MakeFile(50);
    const mode_t before = ::umask(022);
    std::string error;
    const DataCopy result = CopyDataFileConsistently("People.TPS", "Copy.TPS", {PersonDef().ownerPassword}, &error);
    ::umask(before);
    ASSERT_EQ(result, DataCopy::Copied) << error;
    struct stat st {};
    ASSERT_EQ(::stat("Copy.TPS", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(std::filesystem::file_size("Copy.TPS"), std::filesystem::file_size("People.TPS"));
}

}  // namespace
}  // namespace kr::test
