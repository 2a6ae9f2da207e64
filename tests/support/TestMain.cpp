// Test entry point shared by every test program.
//
// gtest_discover_tests lists the tests by running the program with
// --gtest_list_tests; no application object is made then. Otherwise a
// QApplication (GUI tests) or QCoreApplication is made so that tests can use
// Qt's event loop. GUI tests default to the offscreen platform.
//
// X11 tests take a screen through CTest's resource allocation: scripts/test
// starts one Xvfb per screen and names them in a resource file, and CTest
// hands each running x11 test one of them (CTEST_RESOURCE_GROUP_0_DISPLAYS,
// "id:<display number>,slots:1"), which becomes DISPLAY here, before any
// connection is made, so the test and every program it starts use it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#ifdef KR_TEST_GUI
#include <QApplication>
#endif
#ifdef KR_TEST_KR_APPLICATION
#include "platform/ui/Application.h"  // window tests: events dispatched per procedure thread
#include "WindowChecks.h"
#endif

namespace {

void UseAllocatedDisplay() {
    const char* group = std::getenv("CTEST_RESOURCE_GROUP_0");
    const char* display = std::getenv("CTEST_RESOURCE_GROUP_0_DISPLAYS");
    if (!group || std::strcmp(group, "displays") != 0 || !display) return;
    const char* id = std::strstr(display, "id:");
    if (!id) return;
    id += 3;
    const char* end = std::strchr(id, ',');
    const std::string number = end ? std::string(id, end) : std::string(id);
    setenv("DISPLAY", (":" + number).c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
    UseAllocatedDisplay();
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
