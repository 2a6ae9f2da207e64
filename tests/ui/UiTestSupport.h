// Helpers of the window tests: waiting on the event loop, a temporary folder,
// windows and buttons found by their texts.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

namespace kr::test {

// Runs the event loop until cond holds or ms pass; returns cond().
inline bool WaitFor(const std::function<bool()>& cond, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms) return cond();
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Runs the event loop for a while (lets queued calls and deletions happen).
inline void Pump(int ms = 30) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A fresh folder that becomes the current one for the test's life.
class TempFolder {
public:
    TempFolder() {
        char tmpl[] = "/tmp/kr_ui_XXXXXX";
        path_ = mkdtemp(tmpl);
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~TempFolder() {
        std::filesystem::current_path(old_);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::filesystem::path old_;
};

// The visible top-level window with exactly this title (nullptr when none).
inline QWidget* WindowTitled(const QString& title) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title) return w;
    return nullptr;
}

// The button of a window with this text, mnemonic included (nullptr when none).
inline QAbstractButton* ButtonText(QWidget* w, const QString& text) {
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

// The shown button of a window with this text (nullptr when none, or when
// there is no window): hidden pages of a wizard hold buttons of the same text.
inline QAbstractButton* ShownButtonText(QWidget* w, const QString& text) {
    if (!w) return nullptr;
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
        if (b->text() == text && b->isVisible()) return b;
    return nullptr;
}

// Closes every top-level window left over by a test.
inline void CloseAllWindows() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) w->close();
    Pump();
}

}  // namespace kr::test
