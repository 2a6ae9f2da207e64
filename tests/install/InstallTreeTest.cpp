// The installed tree as a user gets it: stripped programs small enough to
// download and keep (under 15 MB in all), and desktop entries that
// desktop-file-validate passes, each starting an installed program and
// naming an installed icon.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "InstalledTree.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

// The value of a key of a desktop entry's main group ("" when missing).
std::string EntryValue(const fs::path& entry, const std::string& key) {
    std::ifstream in(entry);
    std::string line;
    bool main = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') main = line == "[Desktop Entry]";
        else if (main && line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return {};
}

TEST(InstallTreeTest, StrippedTreeIsUnder15MB) {
    InstalledTree tree;
    ASSERT_TRUE(tree.ok()) << tree.output();
    std::uintmax_t bytes = 0;
    std::string files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(tree.prefix()))
        if (e.is_regular_file()) {
            bytes += e.file_size();
            files += e.path().string() + " " + std::to_string(e.file_size()) + "\n";
        }
    EXPECT_LT(bytes, 15'000'000u) << files;
}

TEST(InstallTreeTest, EveryDesktopEntryIsValidAndStartsAnInstalledProgram) {
    const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
    if (validate.isEmpty()) GTEST_SKIP() << "needs desktop-file-validate (desktop-file-utils)";
    InstalledTree tree;
    ASSERT_TRUE(tree.ok()) << tree.output();
    std::vector<fs::path> entries;
    for (const fs::directory_entry& e : fs::directory_iterator(tree.applications()))
        if (e.path().extension() == ".desktop") entries.push_back(e.path());
    ASSERT_TRUE(fs::exists(tree.applications() / "kairoll.desktop"));

    for (const fs::path& entry : entries) {
        SCOPED_TRACE(entry.filename().string());
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(validate, {QString::fromStdString(entry.string())});
        ASSERT_TRUE(check.waitForFinished(30000));
        // Hints too: a second main category lists the program twice in menus.
        const std::string said = check.readAll().toStdString();
        EXPECT_EQ(check.exitCode(), 0) << said;
        EXPECT_EQ(said, "") << said;

        // Exec names an installed program by its full path.
        const std::string exec = EntryValue(entry, "Exec");
        const fs::path program = exec.substr(0, exec.find(' '));
        EXPECT_EQ(program.parent_path(), tree.bin()) << exec;
        EXPECT_EQ(access(program.c_str(), X_OK), 0) << exec << " is not an installed program";
        // Icon names an icon of the installed theme folder.
        const std::string icon = EntryValue(entry, "Icon");
        bool found = false;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(tree.icons()))
            if (e.is_regular_file() && e.path().stem() == icon) found = true;
        EXPECT_TRUE(found) << "no installed icon \"" << icon << "\"";
    }
}

}  // namespace
}  // namespace kr::test
