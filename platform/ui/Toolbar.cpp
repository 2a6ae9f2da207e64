#include "platform/ui/Toolbar.h"

#include <QAction>
#include <QToolBar>
#include <QVariant>

#include "platform/ui/Icons.h"

namespace kr {

namespace {
const char* const kCommand = "krCommand";
}

int CommandOf(const QObject* control) { return control ? control->property(kCommand).toInt() : 0; }

void SetCommand(QObject* control, int command) {
    if (control) control->setProperty(kCommand, command);
}

Toolbar::Toolbar(QToolBar* bar) : bar_(bar) {}

QAction* Toolbar::AddButton(int command, const std::string& tip, const std::string& icon) {
    QIcon i = IconByName(icon);
    QAction* a = i.isNull() ? bar_->addAction(QString::fromStdString(tip))
                            : bar_->addAction(i, QString::fromStdString(tip));
    a->setToolTip(QString::fromStdString(tip));
    SetCommand(a, command);
    return a;
}

void Toolbar::AddSeparator() { bar_->addSeparator(); }

QAction* Toolbar::Button(int command) const {
    for (QAction* a : bar_->actions())
        if (CommandOf(a) == command) return a;
    return nullptr;
}

void Toolbar::SetEnabled(int command, bool enabled) {
    if (QAction* a = Button(command)) a->setEnabled(enabled);
}

}  // namespace kr
