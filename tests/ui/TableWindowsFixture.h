// Window tests over a real data file, offscreen: a temporary folder made the
// current one, the dictionary, the test's tables made afresh and open, a
// clock that stands still and a responder that records every message;
// windows found by the start of their titles, their named children clicked
// and typed into. Every window is closed after the test.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <initializer_list>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"

namespace kr::test {

class TableWindowsTest : public ::testing::Test {
protected:
    TableWindowsTest(int32_t date, int32_t time) : clock_(date, time) {}

    void SetUp() override {
        data::SetKeyDerivationIterations(64);
        DictionaryInit();
        InstallClock(&clock_);
    }
    void TearDown() override {
        CloseAllWindows();
        for (data::Table* t : tables_) t->Close();
        InstallClock(nullptr);
        DictionaryKill();
        data::CloseIdleFiles();
        data::SetKeyDerivationIterations(0);
    }
    // Makes the tables afresh in the test's folder and opens them until the
    // test ends.
    void CreateAndOpen(std::initializer_list<data::Table*> tables) {
        for (data::Table* t : tables) ASSERT_EQ(t->Create(), 0);
        for (data::Table* t : tables) {
            ASSERT_EQ(t->Open(), 0);
            tables_.push_back(t);
        }
    }

    // The visible top-level window whose title starts with the text, once
    // it shows, after its opened event (nullptr when none shows). Unlike
    // test::WindowTitled, it waits and takes the start of the title.
    static QWidget* WindowTitled(const QString& prefix) {
        QWidget* found = nullptr;
        WaitFor([&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->windowTitle().startsWith(prefix)) found = w;
            return found != nullptr;
        });
        Pump(20);
        return found;
    }
    template <class T>
    static T* Child(QWidget* w, const char* name) {
        return w ? w->findChild<T*>(name) : nullptr;
    }
    static void Click(QWidget* w, const char* name) {
        auto* b = Child<QAbstractButton>(w, name);
        ASSERT_NE(b, nullptr) << name;
        b->click();
        Pump(20);
    }
    // Replaces an entry's text by typing it (nullptr when there is no entry
    // of the name).
    static QLineEdit* TypeInto(QWidget* w, const char* name, const std::string& text) {
        auto* e = Child<QLineEdit>(w, name);
        EXPECT_NE(e, nullptr) << name;
        if (!e) return nullptr;
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, QString::fromStdString(text));
        return e;
    }
    // The messages shown so far, a line each, for failure messages.
    std::string Shown() const {
        std::string out;
        for (const auto& m : responder_.shown()) out += m.request.title + ": " + m.request.text + "\n";
        return out;
    }

    TempFolder folder_;
    ScriptedResponder responder_;
    ScopedMessageService messages_{&responder_};
    ManualClock clock_;

private:
    std::vector<data::Table*> tables_;
};

}  // namespace kr::test
