#include "scheduler/windows/ClipboardWatcher.h"

#include <QClipboard>
#include <QGuiApplication>

#include "platform/desktop/X11Windows.h"

namespace kr {

ClipboardWatcher::ClipboardWatcher(ClipboardMonitor& monitor, std::function<std::string()> title)
    : monitor_(monitor), title_(std::move(title)) {
    if (QClipboard* c = QGuiApplication::clipboard()) {
        connection_ = QObject::connect(c, &QClipboard::changed, [this](QClipboard::Mode mode) {
            if (mode != QClipboard::Clipboard) return;
            ++changes_;
            ReadNow();
        });
    }
}

ClipboardWatcher::~ClipboardWatcher() { QObject::disconnect(connection_); }

void ClipboardWatcher::ReadNow() {
    QClipboard* c = QGuiApplication::clipboard();
    if (!c) return;
    // A request to the clipboard's owner; Qt's X11 clipboard gives up on an
    // owner that does not answer (see docs/scheduler.md for the bound).
    const std::string text = c->text(QClipboard::Clipboard).toStdString();
    monitor_.Offer(text, title_ ? title_() : std::string());
}

std::string ForegroundWindowTitle() {
    const WindowHandle w = ActiveWindow();
    return w == 0 ? std::string() : DescribeWindow(w).title;
}

}  // namespace kr
