// Test entry point shared by every test program.
//
// gtest_discover_tests lists the tests by running the program with
// --gtest_list_tests; no application object is made then. Otherwise a
// QApplication (GUI tests) or QCoreApplication is made so that tests can use
// Qt's event loop. GUI tests default to the offscreen platform.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <cstring>
#include <memory>
#ifdef KR_TEST_GUI
#include <QApplication>
#endif
#ifdef KR_TEST_KR_APPLICATION
#include "platform/ui/Application.h"  // window tests: events dispatched per procedure thread
#include "WindowChecks.h"
#endif

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) listing = true;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (!listing) {
#if defined(KR_TEST_KR_APPLICATION)
        app = std::make_unique<kr::Application>(argc, argv);
        app->installEventFilter(new kr::test::WindowChecks(app.get()));
#elif defined(KR_TEST_GUI)
        app = std::make_unique<QApplication>(argc, argv);
#else
        app = std::make_unique<QCoreApplication>(argc, argv);
#endif
    }
    return RUN_ALL_TESTS();
}
