// The built KR98 under openbox: a message box (Options, Email, "Test
// Settings" with nothing set) and Print Setup are dialogs of a fixed size,
// transient for the window they were asked from, that openbox does not let
// the user maximise or resize: a request to maximise one leaves it as it is.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

std::vector<std::string> AtomNames(Display* d, Window w, const char* property) {
    std::vector<std::string> out;
    Atom type;
    int format;
    unsigned long n = 0, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, XInternAtom(d, property, False), 0, 64, False, XA_ATOM, &type, &format, &n, &after,
                           &data) == Success &&
        data) {
        const long* atoms = reinterpret_cast<long*>(data);
        for (unsigned long i = 0; i < n; ++i) {
            char* name = XGetAtomName(d, static_cast<Atom>(atoms[i]));
            out.push_back(name ? name : "");
            if (name) XFree(name);
        }
    }
    if (data) XFree(data);
    return out;
}

bool Has(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& n : names)
        if (n == name) return true;
    return false;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += n + " ";
    return out;
}

class DialogWmE2ETest : public OpenboxKR98Test {
protected:
    DialogWmE2ETest() : OpenboxKR98Test("kr-e2e-dialog", "UseKRMsg=0\r\n") {}

    // The window as openbox has it, once it has managed it: a dialog, of a
    // fixed size, transient for the parent, that cannot be maximised.
    void ExpectAnswerWindow(Window w, Window parent) {
        Display* d = display();
        std::vector<std::string> actions;
        ASSERT_TRUE(WaitUntil([&] { return Has(actions = AtomNames(d, w, "_NET_WM_ALLOWED_ACTIONS"), "_NET_WM_ACTION_CLOSE"); },
                              10000))
            << "openbox did not manage it";
        EXPECT_FALSE(Has(actions, "_NET_WM_ACTION_MAXIMIZE_HORZ")) << Joined(actions);
        EXPECT_FALSE(Has(actions, "_NET_WM_ACTION_MAXIMIZE_VERT")) << Joined(actions);
        EXPECT_FALSE(Has(actions, "_NET_WM_ACTION_RESIZE")) << Joined(actions);
        const std::vector<std::string> types = AtomNames(d, w, "_NET_WM_WINDOW_TYPE");
        ASSERT_FALSE(types.empty());
        EXPECT_EQ(types.front(), "_NET_WM_WINDOW_TYPE_DIALOG");
        Window over = 0;
        EXPECT_TRUE(XGetTransientForHint(d, w, &over));
        EXPECT_EQ(over, parent);
        XSizeHints hints{};
        long supplied = 0;
        ASSERT_TRUE(XGetWMNormalHints(d, w, &hints, &supplied));
        EXPECT_TRUE((hints.flags & PMinSize) && (hints.flags & PMaxSize) && hints.min_width == hints.max_width &&
                    hints.min_height == hints.max_height)
            << "not of a fixed size";

        // As a double click on the title bar would: ask openbox to maximise.
        XWindowAttributes before;
        ASSERT_TRUE(XGetWindowAttributes(d, w, &before));
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(d, "_NET_WM_STATE", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = 1;  // add
        e.xclient.data.l[1] = static_cast<long>(XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_HORZ", False));
        e.xclient.data.l[2] = static_cast<long>(XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_VERT", False));
        e.xclient.data.l[3] = 1;
        XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        XWindowAttributes after;
        ASSERT_TRUE(XGetWindowAttributes(d, w, &after));
        EXPECT_EQ(after.width, before.width) << "maximised";
        EXPECT_EQ(after.height, before.height) << "maximised";
        EXPECT_FALSE(Has(AtomNames(d, w, "_NET_WM_STATE"), "_NET_WM_STATE_MAXIMIZED_VERT"));
    }
};

TEST_F(DialogWmE2ETest, MessageBoxesAndPrintSetupCannotBeMaximised) {
    kr98_.Prepare(dir_.path());
    ASSERT_TRUE(kr98_.Start());
    const Window frame = WaitForFrame();
    ASSERT_NE(frame, 0u) << "the frame did not show\n" << kr98_.Said();
    const std::string frameId = std::to_string(frame);
    WaitForStartupList();

    // File → Print Setup ... (the one but last entry).
    xdo::Keys(frameId, {"alt+f", "Up", "Up", "Return"});
    const std::string setup = xdo::WindowNamed("^Print Setup$");
    ASSERT_FALSE(setup.empty()) << "Print Setup did not open\n" << xdo::VisibleTitles();
    ExpectAnswerWindow(std::stoul(setup), frame);
    xdo::Keys(setup, {"Escape"});
    ASSERT_TRUE(xdo::WaitGone("^Print Setup$"));

    // Options (F10), its Email tab (the seventh), "Test Settings".
    xdo::Keys(frameId, {"F10"});
    const std::string options = xdo::WindowNamed("^Options$");
    ASSERT_FALSE(options.empty()) << "Options did not open\n" << xdo::VisibleTitles();
    xdo::Keys(options, {"ctrl+Tab", "ctrl+Tab", "ctrl+Tab", "ctrl+Tab", "ctrl+Tab", "ctrl+Tab", "alt+t"});
    const std::string box = xdo::WindowNamed("^Error$");
    ASSERT_FALSE(box.empty()) << "no message box\n" << xdo::VisibleTitles();
    ExpectAnswerWindow(std::stoul(box), std::stoul(options));
    xdo::Keys(box, {"Return"});
    EXPECT_TRUE(xdo::WaitGone("^Error$"));
}

}  // namespace
}  // namespace kr::test
