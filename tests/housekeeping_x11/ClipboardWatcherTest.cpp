// The clipboard monitor under X11: texts copied by another program land in
// the Clipboard table once, with that program's window title as category.
#include <gtest/gtest.h>

#include <QDir>
#include <filesystem>

#include "dictionary/Dictionary.h"
#include "dictionary/OpenTable.h"
#include "dictionary/Settings.h"
#include "platform/data/Table.h"
#include "platform/desktop/X11Windows.h"
#include "scheduler/ClipboardMonitor.h"
#include "scheduler/windows/ClipboardWatcher.h"
// Last: it brings Xlib, whose macros clash with the headers above.
#include "../automation_x11/DesktopSession.h"

namespace kr::test {
namespace {

class ClipboardWatcherX11 : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path().toStdString());
        data::SetKeyDerivationIterations(64);
        DictionaryInit();
        ASSERT_EQ(OpenTable(ConfigurationDef()), 0);
        ASSERT_EQ(OpenTable(ClipboardDef()), 0);
        CloseX11Connection();
    }
    void TearDown() override {
        data::TableOf(ClipboardDef()).Close();
        data::TableOf(ConfigurationDef()).Close();
        DictionaryKill();
        data::CloseIdleFiles();
        data::SetKeyDerivationIterations(0);
        std::filesystem::current_path(previous_);
    }
    // Another program copies the text; the monitor's tick runs until the
    // change has come in and been stored.
    Child CopyFrom(const std::string& title, const std::string& text) {
        const int before = watcher_.changes();
        Child c({std::string(KR_BIN_DIR) + "/kr_clip_source", title, text}, {{"QT_QPA_PLATFORM", "xcb"}});
        EXPECT_TRUE(Pump([&] { return watcher_.changes() > before; }, 10000)) << text;
        monitor_.SaveClipboard(0);
        return c;
    }
    std::vector<std::pair<std::string, std::string>> Entries() {
        std::vector<std::pair<std::string, std::string>> out;
        data::Table& t = data::TableOf(ClipboardDef());
        t.Set(ClipboardDef().key("CLI:KeyClipDate"));
        while (t.Previous() == 0)
            out.emplace_back(t.Rec<ClipboardRecord>().ClipContents, t.Rec<ClipboardRecord>().Category.str());
        return out;
    }

    QTemporaryDir dir_;
    std::filesystem::path previous_;
    ClipboardMonitor monitor_;
    ClipboardWatcher watcher_{monitor_, ForegroundWindowTitle};
};

TEST_F(ClipboardWatcherX11, CopiedTextsLandOnceWithTheWindowTitle) {
    DesktopSession desktop;
    Child first = CopyFrom("Invoice Editor", "Invoice 1041 paid");
    first.Stop();
    // The same letters and digits, other case and punctuation: one entry.
    Child again = CopyFrom("Invoice Editor", "INVOICE 1041, PAID!");
    again.Stop();
    Child other = CopyFrom("Phone Book", "Invoice 1042 paid");
    using E = std::pair<std::string, std::string>;
    EXPECT_EQ(Entries(), (std::vector<E>{{"Invoice 1041 paid", "Invoice Editor"}, {"Invoice 1042 paid", "Phone Book"}}));
    EXPECT_EQ(monitor_.lastSeen(), "Invoice 1042 paid");
}

}  // namespace
}  // namespace kr::test
