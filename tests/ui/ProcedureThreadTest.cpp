// START, procedure threads, posted events, the single-instance rule and
// window-modal calls, with real windows on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QToolBar>
#include <QVBoxLayout>

#include "ProbeWindow.h"
#include "UiTestSupport.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "platform/ui/Toolbar.h"

namespace kr {
namespace {

using test::ProbeRecord;
using test::ProbeWindow;
using test::WaitFor;

class ProcedureThreadTest : public ::testing::Test {
protected:
    void TearDown() override { test::CloseAllWindows(); }

    // Starts a probe list on a thread of its own; the window is left in *out.
    int StartProbe(const std::string& name, std::shared_ptr<ProbeRecord> rec, bool single,
                   ProbeWindow** out = nullptr, bool* opened = nullptr) {
        return Start(name, [=] {
            auto* w = new ProbeWindow(name, rec, single);
            bool ok = w->Open();
            if (opened) *opened = ok;
            if (out) *out = ok ? w : nullptr;
        });
    }
};

TEST_F(ProcedureThreadTest, StartGivesEachProcedureItsOwnThreadUntilItsWindowCloses) {
    auto rec = std::make_shared<ProbeRecord>();
    std::vector<int> ended;
    int endThreadSeen = 0;
    int hook = AddThreadEndHook([&](int t) {
        ended.push_back(t);
        endThreadSeen = CurrentProcedureThread();
    });
    int seenInside = 0;
    ProbeWindow* w = nullptr;
    int t = Start("BrowseProbe", [&] {
        seenInside = CurrentProcedureThread();
        w = new ProbeWindow("BrowseProbe", rec);
        w->Open();
    });
    ASSERT_GT(t, 1);
    EXPECT_EQ(seenInside, t);
    EXPECT_EQ(CurrentProcedureThread(), 1) << "START returns to the caller's thread";
    EXPECT_TRUE(IsThreadLive(t));
    ProcedureThreadInfo info;
    ASSERT_TRUE(ThreadInfo(t, &info));
    EXPECT_EQ(info.procedure, "BrowseProbe");
    EXPECT_EQ(info.window, w->Window());
    EXPECT_TRUE(WaitFor([&] { return rec->opened == 1; }));

    w->Window()->close();
    EXPECT_TRUE(WaitFor([&] { return !IsThreadLive(t); }));
    EXPECT_EQ(rec->killed, 1);
    EXPECT_EQ(rec->killThread, t);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0], t);
    EXPECT_EQ(endThreadSeen, t) << "end hooks run for the ending thread";
    RemoveThreadEndHook(hook);
}

TEST_F(ProcedureThreadTest, AProcedureWithoutAWindowEndsAtOnceAndUnknownNamesStartNothing) {
    int ran = 0;
    int t = Start("Housework", [&] { ++ran; });
    EXPECT_EQ(ran, 1);
    EXPECT_GT(t, 1);
    EXPECT_FALSE(IsThreadLive(t));
    EXPECT_EQ(Start("NoSuchProcedure"), 0);

    RegisterProcedure("RegisteredProbe", [&] { ++ran; });
    EXPECT_TRUE(IsProcedureRegistered("registeredprobe"));
    EXPECT_GT(Start("REGISTEREDPROBE"), 1);
    EXPECT_EQ(ran, 2);
}

TEST_F(ProcedureThreadTest, PostedEventsReachOnlyTheirThreadsWindowInItsScope) {
    auto a = std::make_shared<ProbeRecord>();
    auto b = std::make_shared<ProbeRecord>();
    int ta = StartProbe("ListA", a, false);
    int tb = StartProbe("ListB", b, false);
    ASSERT_NE(ta, tb);
    EXPECT_TRUE(Post(1090, tb));
    EXPECT_TRUE(Post(1097, ta));
    EXPECT_TRUE(WaitFor([&] { return a->events.size() == 1 && b->events.size() == 1; }));
    test::Pump();
    ASSERT_EQ(a->events.size(), 1u);
    EXPECT_EQ(a->events[0], std::make_pair(1097, ta));
    ASSERT_EQ(b->events.size(), 1u);
    EXPECT_EQ(b->events[0], std::make_pair(1090, tb));

    EXPECT_FALSE(Post(1090, 99999)) << "no such thread";
    EXPECT_FALSE(Post(0, ta));
    EXPECT_FALSE(Post(kMaxUserEvent + 1, ta));

    ThreadGroup group;
    group.Add(ta);
    group.Add(tb);
    group.Add(ta);
    EXPECT_EQ(group.Threads().size(), 2u);
    group.PostToAll(1090);
    EXPECT_TRUE(WaitFor([&] { return a->events.size() == 2 && b->events.size() == 2; }));
    TopWindowOf(ta)->close();
    EXPECT_TRUE(WaitFor([&] { return !IsThreadLive(ta); }));
    EXPECT_EQ(group.Threads(), std::vector<int>{tb}) << "an ended thread leaves the group";
}

TEST_F(ProcedureThreadTest, ControlSignalsRunInTheirWindowsThread) {
    auto rec = std::make_shared<ProbeRecord>();
    ProbeWindow* w = nullptr;
    int t = StartProbe("SignalProbe", rec, false, &w);
    ASSERT_TRUE(w);
    // A plain connection made by window code, not through the manager's hooks.
    int seen = 0;
    QObject::connect(w->ui.button, &QPushButton::clicked, [&] { seen = CurrentProcedureThread(); });
    QMetaObject::invokeMethod(w->ui.button, "click", Qt::QueuedConnection);
    EXPECT_TRUE(WaitFor([&] { return seen != 0; }));
    EXPECT_EQ(seen, t);
    EXPECT_EQ(rec->accepted, std::vector<std::string>{"button"});
    EXPECT_EQ(rec->acceptedThread, t);
    EXPECT_EQ(CurrentProcedureThread(), 1);
}

TEST_F(ProcedureThreadTest, ASecondStartOfASingleInstanceListPosts518ToTheOpenCopy) {
    auto first = std::make_shared<ProbeRecord>();
    auto second = std::make_shared<ProbeRecord>();
    bool firstOpened = false, secondOpened = true;
    int t1 = StartProbe("BrowseSingle", first, true, nullptr, &firstOpened);
    ASSERT_TRUE(firstOpened);
    EXPECT_EQ(InstanceThread("browsesingle"), t1);
    int windowsBefore = QApplication::topLevelWidgets().size();

    int t2 = StartProbe("BrowseSingle", second, true, nullptr, &secondOpened);
    EXPECT_FALSE(secondOpened);
    EXPECT_FALSE(IsThreadLive(t2)) << "the refused copy ends at once";
    EXPECT_TRUE(WaitFor([&] { return first->events.size() == 1; }));
    EXPECT_EQ(first->events[0], std::make_pair(kEventAlreadyOpen, t1));
    test::Pump();
    EXPECT_EQ(second->opened, 0);
    int visible = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) visible += w->isVisible() && w->windowTitle() == "BrowseSingle";
    EXPECT_EQ(visible, 1);
    EXPECT_LE(QApplication::topLevelWidgets().size(), windowsBefore + 1);

    // A list opened to select a record is exempt.
    auto picker = std::make_shared<ProbeRecord>();
    bool pickerOpened = false;
    Start("Picker", [&] {
        GlobalRequest() = kSelectRecord;
        auto* w = new ProbeWindow("BrowseSingle", picker, true);
        pickerOpened = w->Open();
    });
    EXPECT_TRUE(pickerOpened);
    EXPECT_EQ(picker->request, kSelectRecord);
    EXPECT_EQ(InstanceThread("BrowseSingle"), t1) << "the exempt copy does not take the name";

    // Once the first copy is gone the name is free again.
    TopWindowOf(t1)->close();
    EXPECT_TRUE(WaitFor([&] { return !IsThreadLive(t1); }));
    EXPECT_EQ(InstanceThread("BrowseSingle"), 0);
    bool again = false;
    StartProbe("BrowseSingle", std::make_shared<ProbeRecord>(), true, nullptr, &again);
    EXPECT_TRUE(again);
}

TEST_F(ProcedureThreadTest, AFormCalledFromAListRunsOnTheListsThreadAndReportsItsResponse) {
    auto list = std::make_shared<ProbeRecord>();
    ProbeWindow* lw = nullptr;
    int t = StartProbe("BrowseParent", list, false, &lw);
    ASSERT_TRUE(lw);

    auto form = std::make_shared<ProbeRecord>();
    ProbeWindow* fw = nullptr;
    int response = 0, responseThread = 0, globalResponse = 0;
    {
        ProcedureThreadScope scope(t);
        GlobalRequest() = kChangeRecord;
        fw = new ProbeWindow("UpdateChild", form);
        ASSERT_TRUE(fw->Call([&](int r) {
            response = r;
            responseThread = CurrentProcedureThread();
            globalResponse = GlobalResponse();
        }));
        EXPECT_EQ(GlobalRequest(), kNoRequest) << "the form takes the request over";
    }
    EXPECT_EQ(form->request, kChangeRecord);
    EXPECT_EQ(fw->Thread(), t);
    EXPECT_EQ(fw->Window()->windowModality(), Qt::WindowModal);
    EXPECT_EQ(fw->Window()->parentWidget(), lw->Window());
    EXPECT_EQ(TopWindowOf(t), fw->Window());

    // Events for the thread go to its innermost window while the form is open.
    Post(1090, t);
    EXPECT_TRUE(WaitFor([&] { return form->events.size() == 1; }));
    EXPECT_TRUE(list->events.empty());

    fw->ui.edit->setText("x");
    fw->ui.ok->click();
    EXPECT_TRUE(WaitFor([&] { return response != 0; }));
    EXPECT_EQ(response, kRequestCompleted);
    EXPECT_EQ(globalResponse, kRequestCompleted);
    EXPECT_EQ(responseThread, t);
    EXPECT_EQ(form->completedCalls, 1);
    // The accept-all pass reaches the data controls before completion.
    std::vector<std::string> pass(form->accepted.begin(), form->accepted.end());
    EXPECT_EQ(pass, (std::vector<std::string>{"edit*", "check*"}));
    EXPECT_TRUE(IsThreadLive(t)) << "a called window does not end the thread";
    EXPECT_TRUE(WaitFor([&] { return TopWindowOf(t) == lw->Window(); }));
    Post(1090, t);
    EXPECT_TRUE(WaitFor([&] { return list->events.size() == 1; }));
}

TEST_F(ProcedureThreadTest, AFormOpenedFromTheLastOnesResponseStacksOverTheListAsADialog) {
    auto list = std::make_shared<ProbeRecord>();
    ProbeWindow* lw = nullptr;
    int t = StartProbe("BrowseNext", list, false, &lw);
    ASSERT_TRUE(lw);
    ProcedureThreadScope scope(t);

    // The list opens its next form from the first form's response, while the
    // first one's window is still on its way out.
    ProbeWindow* second = nullptr;
    auto* first = new ProbeWindow("UpdateFirst", std::make_shared<ProbeRecord>());
    first->Call([&](int) {
        second = new ProbeWindow("UpdateSecond", std::make_shared<ProbeRecord>());
        second->Call();
    });
    EXPECT_EQ(first->Window()->windowType(), Qt::Dialog) << "the window manager keeps it over the list";
    first->ui.cancel->click();
    ASSERT_TRUE(WaitFor([&] { return second != nullptr; }));
    QPointer<QWidget> secondWindow = second->Window();
    test::Pump(100);  // the first window is deleted meanwhile
    ASSERT_TRUE(secondWindow) << "the second form went with the first one's window";
    EXPECT_EQ(secondWindow->parentWidget(), lw->Window());
    EXPECT_TRUE(secondWindow->isVisible());
    EXPECT_EQ(TopWindowOf(t), secondWindow.data());
    second->Close();
}

TEST_F(ProcedureThreadTest, AFormCalledWhileAnotherIsClosingStacksOverTheWindowThatStaysAndAnswers) {
    auto list = std::make_shared<ProbeRecord>();
    ProbeWindow* lw = nullptr;
    int t = StartProbe("BrowseStays", list, false, &lw);
    ASSERT_TRUE(lw);
    ProcedureThreadScope scope(t);

    // From a closing form's Kill: the list is the window that stays.
    QPointer<QWidget> fromKill;
    ProbeWindow* second = nullptr;
    int answer = 0;
    auto* first = new ProbeWindow("UpdateClosing", std::make_shared<ProbeRecord>());
    first->onKill = [&] {
        second = new ProbeWindow("UpdateFromKill", std::make_shared<ProbeRecord>());
        second->Call([&](int r) { answer = r; });
        fromKill = second->Window();
    };
    first->Call();
    first->ui.cancel->click();
    test::Pump(100);  // the first window is deleted meanwhile
    ASSERT_TRUE(fromKill) << "the form went with the closing one's window";
    EXPECT_EQ(fromKill->parentWidget(), lw->Window());
    EXPECT_TRUE(fromKill->isVisible());
    EXPECT_EQ(TopWindowOf(t), fromKill.data());
    second->ui.ok->click();
    EXPECT_TRUE(WaitFor([&] { return answer == kRequestCompleted; })) << "its answer is delivered";

    // From the Kill of a form whose caller closes too (the caller's windows
    // close first): neither of the two stays, the list does.
    QPointer<QWidget> nested;
    ProbeWindow* third = nullptr;
    auto* outer = new ProbeWindow("UpdateOuter", std::make_shared<ProbeRecord>());
    outer->Call();
    auto* inner = new ProbeWindow("UpdateInner", std::make_shared<ProbeRecord>());
    inner->onKill = [&] {
        third = new ProbeWindow("UpdateFromInnerKill", std::make_shared<ProbeRecord>());
        third->Call();
        nested = third->Window();
    };
    inner->Call();
    ASSERT_EQ(inner->Window()->parentWidget(), outer->Window());
    outer->Window()->close();
    test::Pump(100);
    ASSERT_TRUE(nested);
    EXPECT_EQ(nested->parentWidget(), lw->Window());
    EXPECT_TRUE(nested->isVisible());
    third->Close();
}

TEST_F(ProcedureThreadTest, CancelEscapeAndARefusedInitReportCancelled) {
    auto list = std::make_shared<ProbeRecord>();
    ProbeWindow* lw = nullptr;
    int t = StartProbe("BrowseCancel", list, false, &lw);
    ASSERT_TRUE(lw);
    ProcedureThreadScope scope(t);

    int r1 = 0;
    auto* f1 = new ProbeWindow("Form1", std::make_shared<ProbeRecord>());
    f1->Call([&](int r) { r1 = r; });
    f1->ui.cancel->click();
    EXPECT_TRUE(WaitFor([&] { return r1 != 0; }));
    EXPECT_EQ(r1, kRequestCancelled);

    int r2 = 0;
    auto rec2 = std::make_shared<ProbeRecord>();
    auto* f2 = new ProbeWindow("Form2", rec2);
    f2->Call([&](int r) { r2 = r; });
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(f2->Window(), &esc);
    EXPECT_TRUE(WaitFor([&] { return r2 != 0; }));
    EXPECT_EQ(r2, kRequestCancelled);
    EXPECT_EQ(rec2->killed, 1);

    int r3 = 0;
    auto* f3 = new ProbeWindow("Form3", std::make_shared<ProbeRecord>());
    f3->initResult = false;
    EXPECT_FALSE(f3->Call([&](int r) { r3 = r; }));
    EXPECT_TRUE(WaitFor([&] { return r3 != 0; }));
    EXPECT_EQ(r3, kRequestCancelled);

    // A form whose completion fails stays open; the close box can be refused.
    int r4 = 0;
    auto rec4 = std::make_shared<ProbeRecord>();
    auto* f4 = new ProbeWindow("Form4", rec4);
    f4->completeResult = false;
    f4->allowClose = false;
    f4->Call([&](int r) { r4 = r; });
    f4->ui.ok->click();
    f4->Window()->close();
    test::Pump(50);
    EXPECT_EQ(r4, 0);
    EXPECT_TRUE(f4->IsOpen());
    f4->allowClose = true;
    f4->Close();
    EXPECT_TRUE(WaitFor([&] { return r4 != 0; }));
    EXPECT_EQ(r4, kRequestCancelled);
}

TEST_F(ProcedureThreadTest, ClosingAListEndsTheFormOpenOverItFirst) {
    auto list = std::make_shared<ProbeRecord>();
    ProbeWindow* lw = nullptr;
    int t = StartProbe("BrowseOwner", list, false, &lw);
    ASSERT_TRUE(lw);
    auto form = std::make_shared<ProbeRecord>();
    {
        ProcedureThreadScope scope(t);
        (new ProbeWindow("UpdateOwned", form))->Call();
    }
    lw->Window()->close();
    EXPECT_TRUE(WaitFor([&] { return !IsThreadLive(t); }));
    EXPECT_EQ(form->killed, 1);
    EXPECT_EQ(form->killThread, t);
    EXPECT_EQ(list->killed, 1);
}

TEST_F(ProcedureThreadTest, AWindowOpenedWhileTheOwnWindowClosesKeepsTheThreadUntilItCloses) {
    std::vector<int> ended;
    int hook = AddThreadEndHook([&](int t) { ended.push_back(t); });
    ProbeWindow* own = nullptr;
    int t = StartProbe("HousekeepProbe", std::make_shared<ProbeRecord>(), true, &own);
    ASSERT_TRUE(own);

    // Opened again on the same thread right after closing it, with no other
    // window there; the closed one is deleted only at the next turn of the loop.
    QPointer<QWidget> first = own->Window();
    first->close();
    ASSERT_TRUE(first);
    auto rec = std::make_shared<ProbeRecord>();
    auto* second = new ProbeWindow("HousekeepProbe", rec, true);
    {
        ProcedureThreadScope scope(t);
        ASSERT_TRUE(second->Open());
    }
    QPointer<QWidget> again = second->Window();
    EXPECT_TRUE(WaitFor([&] { return !first; }));
    ASSERT_TRUE(again);
    EXPECT_TRUE(IsThreadLive(t)) << "the thread ended under the window still open on it";
    EXPECT_TRUE(ended.empty()) << "its per-thread stores were released";
    ProcedureThreadInfo info;
    ASSERT_TRUE(ThreadInfo(t, &info));
    EXPECT_EQ(info.window, again.data());
    EXPECT_EQ(TopWindowOf(t), again.data());
    EXPECT_EQ(ThreadOfObject(again->findChild<QLineEdit*>("edit")), t);
    EXPECT_EQ(InstanceThread("HousekeepProbe"), t) << "the open copy lost its single-instance entry";
    EXPECT_TRUE(Post(1090, t));
    EXPECT_TRUE(WaitFor([&] { return rec->events.size() == 1; }));
    ASSERT_EQ(rec->events.size(), 1u);
    EXPECT_EQ(rec->events[0], std::make_pair(1090, t));

    again->close();
    EXPECT_TRUE(WaitFor([&] { return !IsThreadLive(t); }));
    EXPECT_EQ(ended, std::vector<int>{t}) << "the end hooks run once, when the last window goes";
    EXPECT_EQ(InstanceThread("HousekeepProbe"), 0);

    // A form stacked inside the own window goes with it and keeps nothing
    // alive: the thread has ended when the own window's destruction is seen.
    ended.clear();
    ProbeWindow* list = nullptr;
    int t2 = StartProbe("BrowseDeleted", std::make_shared<ProbeRecord>(), false, &list);
    ASSERT_TRUE(list);
    QPointer<QWidget> form;
    {
        ProcedureThreadScope scope(t2);
        auto* f = new ProbeWindow("UpdateInside", std::make_shared<ProbeRecord>());
        f->Call();
        form = f->Window();
    }
    ASSERT_EQ(form->parentWidget(), list->Window());
    bool liveWhenGone = true;
    QObject::connect(list->Window(), &QObject::destroyed, [&] { liveWhenGone = IsThreadLive(t2); });
    delete list->Window();
    EXPECT_FALSE(form);
    EXPECT_FALSE(liveWhenGone) << "a dialog inside the own window kept its thread";
    EXPECT_FALSE(IsThreadLive(t2));
    EXPECT_EQ(ended, std::vector<int>{t2});
    RemoveThreadEndHook(hook);
}

TEST_F(ProcedureThreadTest, ViewModeMakesTheFormReadOnly) {
    auto rec = std::make_shared<ProbeRecord>();
    ProbeWindow* w = nullptr;
    Start("ViewProbe", [&] {
        w = new ProbeWindow("UpdateView", rec);
        w->SetViewMode(true);
        w->Open();
    });
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->ui.edit->isReadOnly());
    EXPECT_FALSE(w->ui.check->isEnabled());
    EXPECT_TRUE(w->ui.ok->isHidden());
    EXPECT_FALSE(w->ui.ok->isEnabled());
    EXPECT_EQ(w->ui.cancel->text(), "Cl&ose");
    EXPECT_TRUE(w->ui.button->isEnabled()) << "buttons other than OK stay usable";

    EXPECT_EQ(WindowManager::ViewTitle("Edit Task"), "View Task");
    EXPECT_EQ(WindowManager::ViewTitle("Edit Script Action"), "View Script Action");
    EXPECT_EQ(WindowManager::ViewTitle("Birthday"), "View");
}

TEST_F(ProcedureThreadTest, TimerAndChangedEntriesReachTheirHooks) {
    struct TimerWindow : ProbeWindow {
        using ProbeWindow::ProbeWindow;
        int ticks = 0;
        void TakeTimer() override {
            if (++ticks == 3) SetTimer(0);
        }
    };
    auto rec = std::make_shared<ProbeRecord>();
    TimerWindow* w = nullptr;
    Start("TimerProbe", [&] {
        w = new TimerWindow("TimerProbe", rec);
        w->Open();
        w->SetTimer(1);
    });
    ASSERT_TRUE(w);
    EXPECT_TRUE(WaitFor([&] { return w->ticks == 3; }));
    test::Pump(50);
    EXPECT_EQ(w->ticks, 3);

    // An entry is accepted when it was changed or Enter was pressed in it.
    emit w->ui.edit->editingFinished();
    EXPECT_TRUE(rec->accepted.empty());
    w->ui.edit->setModified(true);
    emit w->ui.edit->editingFinished();
    emit w->ui.edit->returnPressed();
    EXPECT_EQ(rec->accepted, (std::vector<std::string>{"edit", "edit"}));
}

TEST_F(ProcedureThreadTest, ToolbarButtonsReachTakeAcceptedWithTheirCommand) {
    struct FrameProbe : WindowManager {
        FrameProbe() : WindowManager("Main") {
            SetRestorePosition(false);
            SetSavePosition(false);
        }
        std::vector<int> commands;
        QAction* wizard = nullptr;
        QWidget* MakeWindow() override {
            auto* w = new QWidget;
            auto* bar = new QToolBar(w);
            (new QVBoxLayout(w))->addWidget(bar);
            Toolbar tb(bar);
            wizard = tb.AddButton(-73, "Program Wizard", "prgwiz16.ico");
            tb.AddSeparator();
            tb.AddButton(-84, "Stop");
            tb.SetEnabled(-84, false);
            return w;
        }
        void TakeAccepted(QObject* c) override { commands.push_back(CommandOf(c)); }
    };
    FrameProbe* f = nullptr;
    Start("Main", [&] {
        f = new FrameProbe;
        f->Open();
    });
    ASSERT_TRUE(f);
    EXPECT_EQ(f->wizard->toolTip(), "Program Wizard");
    f->wizard->trigger();
    EXPECT_EQ(f->commands, std::vector<int>{-73});
}

}  // namespace
}  // namespace kr
