// bench-libs: kr_hotkeys
//
// Latency of a "Type" hot key: from the moment the hot key's combination is
// pressed and released through XTest to the first typed character arriving
// at a window of ours that has the input focus. The hot key waits for its
// keys to be released, then 200 ms, then the send loop's first pause
// (ScriptingDelay 25 hundredths), so about 450 ms is the floor. Then the
// time until the last of 2,000 plain characters of one "Type" text arrives.
// Run it on a display, for example:
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/bench_hotkeys
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "dictionary/Settings.h"
#include "platform/desktop/XKeyboard.h"
#include "scheduler/DesktopScriptServices.h"
#include "scheduler/HotKeyActions.h"
#include "scheduler/ScriptServices.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace kr;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    XKeyboard keyboard;
    Display* dpy = XOpenDisplay(nullptr);
    if (!keyboard.Available() || !dpy) {
        std::fprintf(stderr, "bench_hotkeys: needs an X display with XTest\n");
        return 1;
    }
    // Our window, focused, reporting its key presses.
    const Window w = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 200, 100, 0, 0, 0);
    XSelectInput(dpy, w, KeyPressMask | ExposureMask);
    XMapRaised(dpy, w);
    XSync(dpy, False);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    XSetInputFocus(dpy, w, RevertToPointerRoot, CurrentTime);
    XSync(dpy, False);

    ResetOptions();
    Options().GlobalDelay = 25;
    DesktopKeystrokeService keystrokes(&keyboard);
    InstallKeystrokeService(&keystrokes);
    SysHotKeys record;
    record.HotKey = "Ctrl-Shift-F7";
    record.Active = 1;
    record.Action = "Text";
    record.TextType = "Type";
    record.Text = "x";
    std::unique_ptr<DesktopHotKeys> keys;
    keys = std::make_unique<DesktopHotKeys>([&] {
        while (keys->Manager().TakePressed()) keys->Actions().RunHotKey(record);
    });
    keys->Manager().Resume();
    keys->Manager().Reload({"Ctrl-Shift-F7"});
    if (!keys->Manager().FAILEDKEYQ.empty()) {
        std::fprintf(stderr, "bench_hotkeys: the key could not be grabbed\n");
        return 1;
    }

    // Presses Ctrl+Shift+F7 and lets go; the time runs from the release.
    // True once our window receives the key `sym` within `limitMs`.
    const auto pressAndWaitFor = [&](QElapsedTimer& t, KeySym sym, qint64 limitMs) {
        keyboard.BeginSend();
        keyboard.KeyDown(17);
        keyboard.KeyDown(16);
        keyboard.KeyDown(118);
        t.start();
        keyboard.KeyUp(118);
        keyboard.KeyUp(16);
        keyboard.KeyUp(17);
        keyboard.Flush();
        bool arrived = false;
        while (!arrived && t.elapsed() < limitMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            while (XPending(dpy)) {
                XEvent ev;
                XNextEvent(dpy, &ev);
                if (ev.type == KeyPress && XLookupKeysym(&ev.xkey, 0) == sym) arrived = true;
            }
        }
        return arrived;
    };

    std::vector<double> ms;
    for (int round = 0; round < 20; ++round) {
        QElapsedTimer t;
        if (!pressAndWaitFor(t, XK_x, 5000)) {
            std::fprintf(stderr, "bench_hotkeys: round %d typed nothing\n", round);
            return 1;
        }
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        while (keys->Actions().Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("hot key to first typed character (ScriptingDelay 25): median %.1f ms, min %.1f ms, max %.1f ms "
                "over %zu presses\n",
                ms[ms.size() / 2], ms.front(), ms.back(), ms.size());

    // A long "Type" text: 2,000 plain characters, the last one a "z", timed
    // from the hot key to the last character's arrival (the defaults:
    // ScriptingDelay 25, BurstSize 0).
    record.Text = std::string(1999, 'x') + "z";
    QElapsedTimer t;
    if (!pressAndWaitFor(t, XK_z, 120000)) {
        std::fprintf(stderr, "bench_hotkeys: the long text never ended\n");
        return 1;
    }
    std::printf("hot key to the last of 2,000 typed characters (defaults): %.1f ms\n",
                static_cast<double>(t.nsecsElapsed()) / 1e6);
    while (keys->Actions().Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    keys.reset();
    InstallKeystrokeService(nullptr);
    XCloseDisplay(dpy);
    return 0;
}
