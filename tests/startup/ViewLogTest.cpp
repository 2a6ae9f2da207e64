// The log viewer over a real log file: the note when logging is off, the
// lines shown, search with the end-of-file question and printing to PDF.
#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <cstdio>

#include "StartupFixture.h"
#include "dictionary/windows/ViewAscii_Log.h"

namespace kr::test {
namespace {

// Runs the event loop until cond holds or ms pass.
bool WaitFor(const std::function<bool()>& cond, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

class ViewLogTest : public StartupTest {
protected:
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) w->close();
        for (int i = 0; i < 5; ++i) {
            QApplication::processEvents();
            QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        StartupTest::TearDown();
    }
    static QListView* List(ViewAscii_LogWindow* w) { return w->Layout().list; }
};

TEST_F(ViewLogTest, LoggingOffAddsOneNoteAndShowsTheFile) {
    Options().GlobalUseLog = 1;
    LogEvent("Started", "Kairoll 2000 2.02");
    Options().GlobalUseLog = 0;

    ViewAscii_LogWindow* w = ViewAscii_Log();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Window()->windowTitle(), "Event Log");
    EXPECT_EQ(Options().GlobalUseLog, 0) << "logging stays off";
    std::vector<std::string> lines = Lines("KR98Evnt.LOG");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(ClipRight(lines[1].substr(22, 32)), "View Log - Logging disabled");
    EXPECT_EQ(ClipRight(lines[1].substr(54)), "Logging is not enabled in configuration.");
    ASSERT_EQ(List(w)->model()->rowCount(), 2);
    EXPECT_EQ(List(w)->model()->index(0, 0).data().toString().toStdString(), lines[0]);
    EXPECT_TRUE(w->Layout().print->isEnabled());
    EXPECT_TRUE(w->Layout().search->isEnabled());

    LogEvent("Other", "x");
    EXPECT_EQ(Lines("KR98Evnt.LOG").size(), 2u) << "only the one note";
}

TEST_F(ViewLogTest, MissingOrEmptyLogOpensEmptyOtherEmptyFilesDoNot) {
    // Logging on and nothing logged yet: no file, then an empty one.
    Options().GlobalUseLog = 1;
    for (bool fileThere : {false, true}) {
        if (fileThere) WriteFile("KR98Evnt.LOG", "");
        ViewAscii_LogWindow* w = ViewAscii_Log();
        ASSERT_NE(w, nullptr) << fileThere;
        EXPECT_TRUE(responder_.shown().empty()) << "no message";
        EXPECT_EQ(List(w)->model()->rowCount(), 0);
        EXPECT_FALSE(w->Viewer().FindNext("x", false, true));
        w->CloseNow();
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
        responder_.clear();
    }
    // The first line logged afterwards shows in the next viewer.
    LogEvent("Started", "Kairoll 2000 2.02");
    ViewAscii_LogWindow* w = ViewAscii_Log();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(List(w)->model()->rowCount(), 1);

    // Any other empty file still says it holds no text.
    WriteFile("other.txt", "");
    QListView list;
    AsciiViewer other;
    EXPECT_FALSE(other.Init(&list, "other.txt"));
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_NE(responder_.shown()[0].request.text.find("contains no text"), std::string::npos);
}

TEST_F(ViewLogTest, SearchGoesOnFromTheSelectedLineAndWrapsWhenAsked) {
    Options().GlobalUseLog = 1;
    for (int i = 0; i < 50; ++i) LogEvent(i % 10 == 3 ? "Script" : "Message", "row " + std::to_string(i));
    ViewAscii_LogWindow* w = ViewAscii_Log();
    ASSERT_NE(w, nullptr);
    AsciiViewer& v = w->Viewer();
    ASSERT_TRUE(v.FindNext("script", false, true));
    EXPECT_EQ(List(w)->currentIndex().row(), 3);
    ASSERT_TRUE(v.FindNext("script", false, true));
    EXPECT_EQ(List(w)->currentIndex().row(), 13);
    EXPECT_FALSE(v.FindNext("script", true, true)) << "the case counts when asked";
    EXPECT_EQ(List(w)->currentIndex().row(), 13);
    responder_.clear();

    List(w)->setCurrentIndex(List(w)->model()->index(45, 0));
    responder_.Answer(kButtonYes);
    ASSERT_TRUE(v.FindNext("Script", true, true));
    EXPECT_EQ(Titles(), std::vector<std::string>{"End of File Error"});
    EXPECT_EQ(List(w)->currentIndex().row(), 3);

    responder_.clear();
    ASSERT_TRUE(v.FindNext("row 44", false, false));
    EXPECT_EQ(List(w)->currentIndex().row(), 44) << "upwards from 3 wraps to the end";
    EXPECT_EQ(Titles(), std::vector<std::string>{"Beginning of File Error"});

    responder_.clear();
    EXPECT_FALSE(v.FindNext("nowhere", false, true));
    ASSERT_FALSE(responder_.shown().empty());
    EXPECT_EQ(responder_.shown().back().request.title, "Search");
}

TEST_F(ViewLogTest, PrintsEveryLineToPdf) {
    Options().GlobalUseLog = 1;
    for (int i = 0; i < 150; ++i) LogEvent("Message", "printed row " + std::to_string(i));
    ViewAscii_LogWindow* w = ViewAscii_Log();
    ASSERT_NE(w, nullptr);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string pdf = (dir_ / "log.pdf").string();
    printer.setOutputFileName(QString::fromStdString(pdf));
    std::optional<bool> result;
    w->Viewer().PrintTo(&printer, [&](bool ok) { result = ok; });
    EXPECT_TRUE(w->Viewer().Printing());
    ASSERT_TRUE(WaitFor([&] { return result.has_value(); }));
    EXPECT_TRUE(*result);

    QProcess text;
    text.start("pdftotext", {"-layout", QString::fromStdString(pdf), "-"});
    ASSERT_TRUE(text.waitForFinished(20000));
    QString out = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(out.contains("printed row 0")) << out.left(400).toStdString();
    EXPECT_TRUE(out.contains("printed row 149"));
    EXPECT_TRUE(out.contains("OCT 31,1959"));
}

}  // namespace
}  // namespace kr::test
