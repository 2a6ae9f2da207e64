// The archive class and its libraries against Debian's zip, unzip and
// zipinfo, in temporary folders: archives made here read by them, theirs read
// here, unsafe member names refused, a cancelled add leaving the archive as
// it was, and failures reported with their codes.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "backup/Lszclass.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"

namespace kr::backup {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string Shell(const std::string& cmd, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = ::pclose(p);
    if (status) *status = WEXITSTATUS(rc);
    return out;
}

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kr-zip-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        previous_ = fs::current_path();
        fs::current_path(dir_);
        z_.Init();
        z_.HookUp(1);
    }
    void TearDown() override {
        fs::current_path(previous_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

    fs::path dir_, previous_;
    ScriptedResponder responder_;
    ScopedMessageService scoped_{&responder_};
    LSZCLASS z_;
};

TEST(ArchiveConverters, ConvertTimesRatiosAttributesAndMethods) {
    // 13:33:58 and 14 July 2001 as the ZIP format stores them.
    uint16_t t = (13 << 11) | (33 << 5) | 29;
    EXPECT_EQ(LSZCLASS::DosTimeToTime(t), 13 * 360000 + 33 * 6000 + 29 * 200 + 1);
    uint16_t d = (21 << 9) | (7 << 5) | 14;
    EXPECT_EQ(LSZCLASS::DosDateToDate(d), MakeDate(7, 14, 2001));

    EXPECT_DOUBLE_EQ(LSZCLASS::CompressionRatio(50, 100), 50.00);
    EXPECT_DOUBLE_EQ(LSZCLASS::CompressionRatio(150, 100), -0.50);
    EXPECT_DOUBLE_EQ(LSZCLASS::CompressionRatio(0, 0), 100.00);
    EXPECT_DOUBLE_EQ(LSZCLASS::CompressionRatio(1, 3), 66.67);

    EXPECT_EQ(LSZCLASS::AttributeString(49), "r  aD  ");
    EXPECT_EQ(LSZCLASS::AttributeString(8 | 16 | 2 | 4 | 16384), " hs V+ ");
    EXPECT_EQ(LSZCLASS::ByteToHex(0x1ab), "ab");
    EXPECT_EQ(LSZCLASS::LongToHex(0x0012abcd), "0012abcd");

    EXPECT_EQ(LSZCLASS::MethodName(0, 0), "Stored");
    EXPECT_EQ(LSZCLASS::MethodName(8, 0), "DeflatedN");
    EXPECT_EQ(LSZCLASS::MethodName(8, 6), "DeflatedS");
    // Encrypted (bit 0) and streamed (bit 3) members keep their method name.
    EXPECT_EQ(LSZCLASS::MethodName(8, 1), "DeflatedN");
    EXPECT_EQ(LSZCLASS::MethodName(8, 8 | 2), "DeflatedX");
    EXPECT_EQ(LSZCLASS::MethodName(9, 0), "Undefined");
}

TEST(ArchiveConverters, ErrorTableTexts) {
    EXPECT_EQ(LSZCLASS::ErrorText(0), "");
    EXPECT_EQ(LSZCLASS::ErrorText(-999), "Unknown error #-999");
    EXPECT_EQ(LSZCLASS::ErrorText(-30), "Operation aborted");
    EXPECT_EQ(LSZCLASS::ErrorText(-155), "Out of memory");
    EXPECT_EQ(LSZCLASS::ErrorText(-168), "Nothing to do");
    EXPECT_EQ(LSZCLASS::ErrorText(-169), "Creat file error");
    EXPECT_EQ(LSZCLASS::ErrorText(-180), "Copying error");
    EXPECT_EQ(LSZCLASS::ErrorText(-189), "Replave archive error");
    EXPECT_EQ(LSZCLASS::ErrorText(-61), "Bad or missing decryption key");
    EXPECT_EQ(LSZCLASS::ErrorText(-1), "Filename not matched");
    EXPECT_EQ(LSZCLASS::ErrorText(5), "Unknown error #5");
}

TEST(ArchiveConverters, MemberRecordKeepsItsLayout) {
    MemberRecord m;
    m.name = "dir/KR97.TPS";
    m.index = 3;
    m.dosDate = 0x2ae7;
    m.dosTime = 0x6c3d;
    m.originalSize = 123456;
    m.ratio = -2;
    m.compressedSize = 654;
    m.method = 8;
    m.crc = 0xdeadbeef;
    m.attributes = 0x21;
    m.flags = 9;
    m.comment = "note";
    m.disk = 1;
    char buf[kMemberRecordSize];
    PackMemberRecord(m, buf);
    EXPECT_EQ(buf[255], 3);
    EXPECT_EQ(static_cast<unsigned char>(buf[273]), 0xef);
    EXPECT_EQ(std::string(buf + 283), "note");
    MemberRecord back = UnpackMemberRecord(buf);
    EXPECT_EQ(back.name, m.name);
    EXPECT_EQ(back.ratio, -2);
    EXPECT_EQ(back.crc, m.crc);
    EXPECT_EQ(back.flags, 9);
    EXPECT_EQ(back.disk, 1);
}

TEST_F(ArchiveTest, ArchiveMadeHereIsReadByUnzipAndZipinfo) {
    Write(dir_ / "src/a file.txt", std::string(5000, 'a'));
    Write(dir_ / "src/sub/b.txt", "bee");
    // A time stamp with odd seconds: stored as local time in two-second steps.
    struct tm tmv {};
    tmv.tm_year = 2024 - 1900;
    tmv.tm_mon = 2;
    tmv.tm_mday = 9;
    tmv.tm_hour = 14;
    tmv.tm_min = 7;
    tmv.tm_sec = 33;
    tmv.tm_isdst = -1;
    time_t when = mktime(&tmv);
    struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir_ / "src/a file.txt").c_str(), times, 0), 0);

    z_.ZIPARCHIVENAME = (dir_ / "here.zip").string();
    z_.ENCRYPTDATA = 1;
    z_.ADDARCHIVECOMMENT = 1;
    z_.lib.LSZIP_SETARCHIVECMT("The archive comment");
    struct Ui : ArchiveUi {
        bool AskPassword(std::string& p) override {
            p = "s3cret";
            return true;
        }
    } ui;
    InstallArchiveUi(&ui);
    z_.FILESPEC = "\"src/a file.txt\" src/sub/*.txt";
    int rc = z_.ZipFiles();
    InstallArchiveUi(nullptr);
    ASSERT_EQ(rc, 0) << LSZCLASS::ErrorText(rc);

    int status = -1;
    std::string out = Shell("unzip -t -P s3cret " + Quoted(dir_ / "here.zip"), &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_THAT(out, HasSubstr("No errors detected"));
    EXPECT_THAT(Shell("unzip -t -P wrong " + Quoted(dir_ / "here.zip")), HasSubstr("incorrect password"));
    std::string info = Shell("zipinfo -T " + Quoted(dir_ / "here.zip"));
    EXPECT_THAT(info, HasSubstr("src/a file.txt"));
    EXPECT_THAT(info, HasSubstr("src/sub/b.txt"));
    EXPECT_THAT(info, HasSubstr("20240309.140732"));
    EXPECT_THAT(Shell("unzip -z " + Quoted(dir_ / "here.zip")), HasSubstr("The archive comment"));

    // Read back here: the directory, the comment and the stored time.
    ASSERT_EQ(z_.S_ZIPMEMBERS, 2);
    const LSZQRow& a = (*z_.LSZQ)[0];
    EXPECT_EQ(a.FILENAME, "src/a file.txt");
    EXPECT_EQ(a.FILEDATE, MakeDate(3, 9, 2024));
    EXPECT_EQ(a.FILETIME, 14 * 360000 + 7 * 6000 + 32 * 100 + 1);
    EXPECT_EQ(a.OSIZE, 5000u);
    EXPECT_EQ(a.CMETHOD.substr(0, 8), "Deflated");
    EXPECT_EQ(z_.ARCHIVECOMMENT, "The archive comment");
    EXPECT_EQ(z_.S_OSIZE, 5003);
}

TEST_F(ArchiveTest, ArchiveMadeByZipIsListedTestedAndExtractedHere) {
    Write(dir_ / "in/top.txt", "top level\n");
    Write(dir_ / "in/folder/deep.txt", std::string(20000, 'x'));
    ASSERT_EQ(::system(("cd " + Quoted(dir_) + " && zip -q -r -P pw theirs.zip in && "
                        "echo 'Comment of theirs' | zip -q -z theirs.zip").c_str()),
              0);

    z_.ZIPARCHIVENAME = "theirs.zip";
    ASSERT_TRUE(z_.LoadArchive());
    std::vector<std::string> names;
    for (const LSZQRow& r : *z_.LSZQ) names.push_back(r.FILENAME);
    EXPECT_THAT(names, ElementsAre("in/", "in/top.txt", "in/folder/", "in/folder/deep.txt"));
    EXPECT_EQ(z_.ARCHIVECOMMENT.substr(0, 17), "Comment of theirs");
    EXPECT_EQ((*z_.LSZQ)[3].CMETHOD.substr(0, 8), "Deflated");

    // Without the password the test fails with the decryption message.
    z_.ZIPWILDCARD = "*";
    EXPECT_EQ(z_.TestFiles(), -61);
    EXPECT_TRUE(responder_.sawText("Bad or missing decryption key"));

    z_.ZIPWILDCARD = "*";
    z_.ZIPPASSWORD = "pw";
    EXPECT_EQ(z_.TestFiles(), 2);

    // Two marked members, one with a blank in its name, go as one quoted list.
    (*z_.LSZQ)[1].MARKED = 1;
    (*z_.LSZQ)[3].MARKED = 1;
    EXPECT_EQ(z_.MarkedMemberList(), "\"in/top.txt\" \"in/folder/deep.txt\"");
    z_.ZIPDESTDIR = (dir_ / "out").string();
    z_.ZIPPASSWORD = "pw";
    EXPECT_EQ(z_.UnzipFiles(), 2);
    EXPECT_EQ(Slurp(dir_ / "out/in/folder/deep.txt"), std::string(20000, 'x'));

    // Without folder names, and an existing file is kept unless overwriting.
    Write(dir_ / "flat/top.txt", "mine");
    z_.ZIPWILDCARD = "*.txt";
    z_.ZIPPASSWORD = "pw";
    z_.USEFOLDERNAMES = 0;
    z_.ZIPDESTDIR = (dir_ / "flat").string();
    EXPECT_EQ(z_.UnzipFiles(), 1);
    EXPECT_EQ(Slurp(dir_ / "flat/top.txt"), "mine");
    EXPECT_EQ(Slurp(dir_ / "flat/deep.txt").size(), 20000u);
    z_.ZIPWILDCARD = "*.txt";
    z_.ZIPPASSWORD = "pw";
    z_.OVERWRITEEXISTINGFILES = 1;
    EXPECT_EQ(z_.UnzipFiles(), 2);
    EXPECT_EQ(Slurp(dir_ / "flat/top.txt"), "top level\n");
}

TEST_F(ArchiveTest, UnsafeMemberNamesAreRefusedOnExtraction) {
    // zip itself stores no climbing or absolute names, so its members are
    // renamed in place (names of the same length, in both headers) to what
    // archives from elsewhere carry: "../evil", "..\\evil", "/tmp/kxz", and a
    // symbolic link.
    Write(dir_ / "w/safe.txt", "safe");
    Write(dir_ / "w/zzzevil", "evil");
    ASSERT_EQ(::symlink("/etc/passwd", (dir_ / "w/link").c_str()), 0);
    ASSERT_EQ(::system(("cd " + Quoted(dir_ / "w") + " && zip -q -y plain.zip safe.txt zzzevil link").c_str()), 0);
    auto renamed = [&](std::vector<std::pair<std::string, std::string>> names, const char* to) {
        std::string bytes = Slurp(dir_ / "w/plain.zip");
        for (auto& [from, into] : names)
            for (size_t p = bytes.find(from); p != std::string::npos; p = bytes.find(from, p + 1))
                bytes.replace(p, from.size(), into);
        Write(dir_ / "w" / to, bytes);
    };
    renamed({{"zzzevil", "../evil"}}, "bad.zip");
    renamed({{"zzzevil", "..\\evil"}, {"safe.txt", "/tmp/kxz"}}, "bad2.zip");

    for (const char* archive : {"w/bad.zip", "w/bad2.zip"}) {
        SCOPED_TRACE(archive);
        fs::remove_all(dir_ / "dest");
        fs::create_directories(dir_ / "dest");
        z_.ZIPARCHIVENAME = archive;
        ASSERT_TRUE(z_.LoadArchive());
        z_.ZIPWILDCARD = "*";
        z_.ZIPDESTDIR = (dir_ / "dest").string();
        responder_.clear();
        EXPECT_EQ(z_.UnzipFiles(), -51);
        EXPECT_TRUE(responder_.sawText("ZIP archive structure error"));
        EXPECT_FALSE(fs::exists(dir_ / "evil"));
        EXPECT_FALSE(fs::exists(dir_ / "w/evil"));
        EXPECT_FALSE(fs::exists("/tmp/kxz"));
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "dest/link")));
    }
    EXPECT_THAT(z_.lib.refusedMembers(), ElementsAre("/tmp/kxz", "..\\evil", "link"));
    // The safe member of the first archive was extracted all the same.
    z_.ZIPARCHIVENAME = "w/bad.zip";
    z_.ZIPWILDCARD = "safe.txt";
    fs::remove_all(dir_ / "dest");
    z_.ZIPDESTDIR = (dir_ / "dest").string();
    EXPECT_EQ(z_.UnzipFiles(), 1);
    EXPECT_EQ(Slurp(dir_ / "dest/safe.txt"), "safe");
}

TEST_F(ArchiveTest, CancelDuringALargeAddLeavesTheArchiveIntact) {
    Write(dir_ / "small.txt", "small");
    z_.ZIPARCHIVENAME = "keep.zip";
    z_.FILESPEC = "small.txt";
    ASSERT_EQ(z_.ZipFiles(), 0);
    std::string before = Slurp(dir_ / "keep.zip");

    {
        std::mt19937 gen(7);
        std::ofstream out(dir_ / "large.bin", std::ios::binary);
        std::string block(1 << 20, '\0');
        for (int i = 0; i < 24; ++i) {
            for (char& c : block) c = static_cast<char>(gen() & 0x3f);
            out << block;
        }
    }
    // The progress window's Cancel, pressed once the large member is a
    // quarter done.
    struct Ui : ArchiveUi {
        struct W : ProgressWindow {
            std::string member;
            void SetMember(const std::string& n) override { member = n; }
            void SetPercentA(int p) override {
                if (member == "large.bin" && p >= 25) PostAbort();
            }
            void SetPercentB(int) override {}
        };
        std::unique_ptr<ProgressWindow> OpenProgress(const std::string&, bool) override { return std::make_unique<W>(); }
    } ui;
    InstallArchiveUi(&ui);
    z_.FILESPEC = "large.bin";
    int rc = z_.ZipFiles();
    InstallArchiveUi(nullptr);
    EXPECT_EQ(rc, -30);
    EXPECT_TRUE(responder_.sawText("Operation aborted"));
    EXPECT_EQ(Slurp(dir_ / "keep.zip"), before);
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().find(".keep.zip"), std::string::npos) << "temporary file left";
    int status = -1;
    Shell("unzip -t keep.zip", &status);
    EXPECT_EQ(status, 0);
}

TEST_F(ArchiveTest, WithATemporaryFolderTheArchiveIsBuiltThereAndMovedIntoPlace) {
    Write(dir_ / "one.txt", "one");
    Write(dir_ / "two.txt", std::string(200000, 't'));
    z_.ZIPARCHIVENAME = "kept.zip";
    z_.FILESPEC = "one.txt";
    ASSERT_EQ(z_.ZipFiles(), 0);
    const std::string before = Slurp(dir_ / "kept.zip");

    fs::create_directories(dir_ / "tmp");
    z_.USETEMPDIR = 1;
    z_.TEMPDIR = (dir_ / "tmp").string();
    // While the second file goes in, the archive in place is the old one
    // and the work goes on in the temporary folder.
    struct Ui : ArchiveUi {
        fs::path dir;
        std::string during;
        int workFiles = 0;
        struct W : ProgressWindow {
            Ui* ui;
            explicit W(Ui* u) : ui(u) {}
            void SetMember(const std::string& n) override {
                if (n != "two.txt") return;
                ui->during = Slurp(ui->dir / "kept.zip");
                for (const auto& e : fs::directory_iterator(ui->dir / "tmp")) ui->workFiles += e.is_regular_file();
            }
            void SetPercentA(int) override {}
            void SetPercentB(int) override {}
        };
        std::unique_ptr<ProgressWindow> OpenProgress(const std::string&, bool) override {
            return std::make_unique<W>(this);
        }
    } ui;
    ui.dir = dir_;
    InstallArchiveUi(&ui);
    z_.FILESPEC = "two.txt";
    const int rc = z_.ZipFiles();
    InstallArchiveUi(nullptr);
    ASSERT_EQ(rc, 0) << LSZCLASS::ErrorText(rc);
    EXPECT_EQ(ui.during, before);
    EXPECT_GE(ui.workFiles, 1);
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
    const std::string info = Shell("zipinfo -1 kept.zip");
    EXPECT_THAT(info, HasSubstr("one.txt"));
    EXPECT_THAT(info, HasSubstr("two.txt"));
}

TEST_F(ArchiveTest, ActionsLevelsAndFailuresReportTheirCodes) {
    Write(dir_ / "one.txt", std::string(3000, '1'));
    Write(dir_ / "two.txt", std::string(3000, '2'));
    z_.ZIPARCHIVENAME = "acts.zip";
    z_.PATHINFORMATIONSWITCH = 1;
    z_.COMPRESSIONLEVELSWITCH = 4;  // Store
    z_.FILESPEC = "one.txt";
    ASSERT_EQ(z_.ZipFiles(), 0);
    EXPECT_EQ((*z_.LSZQ)[0].CMETHOD, "Stored");

    // Freshen replaces existing members only: two.txt stays out.
    struct timespec later[2] = {{time(nullptr) + 10, 0}, {time(nullptr) + 10, 0}};
    ::utimensat(AT_FDCWD, "one.txt", later, 0);
    z_.ACTION = 2;
    z_.COMPRESSIONLEVELSWITCH = 2;
    z_.FILESPEC = "*.txt";
    ASSERT_EQ(z_.ZipFiles(), 0);
    ASSERT_EQ(z_.S_ZIPMEMBERS, 1);
    EXPECT_EQ((*z_.LSZQ)[0].CMETHOD.substr(0, 8), "Deflated");

    // Update adds what is new.
    z_.ACTION = 3;
    z_.FILESPEC = "*.txt";
    ASSERT_EQ(z_.ZipFiles(), 0);
    EXPECT_EQ(z_.S_ZIPMEMBERS, 2);

    // A zip that finds nothing, and a delete of names not in the archive,
    // give the library's code back instead of 0.
    z_.ACTION = 1;
    z_.FILESPEC = "missing*.doc";
    EXPECT_EQ(z_.ZipFiles(), -168);
    EXPECT_TRUE(responder_.sawText("Nothing to do"));
    z_.ZIPWILDCARD = "nothere.txt";
    EXPECT_EQ(z_.DeleteFiles(), -159);
    EXPECT_EQ(z_.S_ZIPMEMBERS, 2);
    z_.ZIPWILDCARD = "one.txt";
    EXPECT_EQ(z_.DeleteFiles(), 0);
    ASSERT_EQ(z_.S_ZIPMEMBERS, 1);
    EXPECT_EQ((*z_.LSZQ)[0].FILENAME, "two.txt");

    // A rejected before-date answered No zips nothing, returns 0 and clears the date.
    z_.BEFOREDATE = "13452020";
    z_.FILESPEC = "one.txt";
    responder_.Answer(kButtonNo);
    EXPECT_EQ(z_.ZipFiles(), 0);
    EXPECT_TRUE(responder_.sawText("Date specification error. Process anyway?"));
    EXPECT_EQ(z_.BEFOREDATE, "");
    EXPECT_EQ(z_.S_ZIPMEMBERS, 1);
    // A valid before-date leaves newer files out.
    z_.BEFOREDATE = "01011990";
    z_.FILESPEC = "one.txt";
    EXPECT_EQ(z_.ZipFiles(), -168);
    // An empty specification is refused before the library runs.
    z_.FILESPEC = "";
    EXPECT_EQ(z_.ZipFiles(), -1);
    EXPECT_TRUE(responder_.sawTitle("Application Error"));
}

}  // namespace
}  // namespace kr::backup
