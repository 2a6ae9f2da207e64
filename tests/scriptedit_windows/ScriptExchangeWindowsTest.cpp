// Export and import as the script windows start them: the chosen file, the
// progress window with its line, and a cancelled choice that does nothing.
#include <QApplication>
#include <QLabel>
#include <fstream>

#include "UiTestSupport.h"
#include "dictionary/Dictionary.h"
#include "platform/ui/Requests.h"
#include "scriptedit/windows/ScriptExchangeWindows.h"
#include "tests/runner/RunnerTestSupport.h"

namespace kr {
namespace {

class ScriptExchangeWindowsTest : public test::RunnerFixture {
protected:
    void TearDown() override {
        SetExchangeFileChooser({});
        test::CloseAllWindows();
        RunnerFixture::TearDown();
    }
    static QWidget* ProgressWindow() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == "Processing Records") return w;
        return nullptr;
    }
};

TEST_F(ScriptExchangeWindowsTest, ExportAndImportRunInTheProgressWindow) {
    Scripting keys = Item("Send Keys");
    keys.Keystrokes = "abc";
    AddItem(1, keys);
    std::vector<std::pair<std::string, bool>> asked;
    SetExchangeFileChooser([&](const std::string& title, bool save) -> std::optional<std::string> {
        asked.emplace_back(title, save);
        return (dir_ / "task.krs").string();
    });

    int response = 0;
    QString line;
    ExportScriptWindow(1, [&](int r) { response = r; });
    if (QWidget* w = ProgressWindow()) line = w->findChild<QLabel*>("userText")->text();
    ASSERT_TRUE(test::WaitFor([&] { return response != 0; }, 10000));
    EXPECT_EQ(response, kRequestCompleted);
    EXPECT_EQ(line, "Exporting Script Items");
    std::ifstream in(dir_ / "task.krs", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "\"Send Keys\",\"abc\",\"\",\"\",\"\",\"\",\"\"\r\n");

    response = 0;
    ImportScriptWindow(2, [&](int r) { response = r; });
    if (QWidget* w = ProgressWindow()) line = w->findChild<QLabel*>("userText")->text();
    ASSERT_TRUE(test::WaitFor([&] { return response != 0; }, 10000));
    EXPECT_EQ(line, "Importing Script Items");
    Scripting_File().rec() = Scripting();
    Scripting_File().rec().ID = 2;
    ASSERT_EQ(Scripting_File().SetPosition(ScriptingDef().key("SCR:KeyID")), data::kLevelBenign);
    ASSERT_EQ(Scripting_File().TryNext(), data::kLevelBenign);
    EXPECT_EQ(Scripting_File().rec().ID, 2);
    EXPECT_EQ(Scripting_File().rec().Keystrokes.str(), "abc");

    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], std::make_pair(std::string("Export to File"), true));
    EXPECT_EQ(asked[1], std::make_pair(std::string("Choose File to Import"), false));
}

TEST_F(ScriptExchangeWindowsTest, ACancelledChoiceReadsAndWritesNothing) {
    SetExchangeFileChooser([](const std::string&, bool) { return std::nullopt; });
    int response = 0;
    ExportScriptWindow(1, [&](int r) { response = r; });
    EXPECT_EQ(response, kRequestCancelled);
    EXPECT_EQ(ProgressWindow(), nullptr);
    response = 0;
    ImportScriptWindow(1, [&](int r) { response = r; });
    EXPECT_EQ(response, kRequestCancelled);
}

}  // namespace
}  // namespace kr
