#include "platform/ui/MessageWindowLayout.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace kr {

void MessageWindowLayout::BuildMessageWindow(int width, int height) {
    window = new QWidget;
    window->resize(width, height);
    auto* v = new QVBoxLayout(window);
    title = new QLabel;
    title->setWordWrap(true);
    QFont f = title->font();
    f.setBold(true);
    title->setFont(f);
    v->addWidget(title);
    text = new QPlainTextEdit;
    v->addWidget(text, 1);
    auto* row = new QHBoxLayout;
    snooze = new QPushButton(QStringLiteral("&Snooze"));
    snooze->setToolTip(QStringLiteral("Have this message reappear in a few minutes"));
    todo = new QPushButton(QStringLiteral("&To Do"));
    todo->setToolTip(QStringLiteral("Add this to your to do list"));
    email = new QPushButton(QStringLiteral("&Email"));
    email->setToolTip(QStringLiteral("Send this as an email message"));
    close = new QPushButton(QStringLiteral("Cl&ose"));
    close->setToolTip(QStringLiteral("Close this message window"));
    for (QPushButton* b : {snooze, todo, email, close}) row->addWidget(b);
    v->addLayout(row);
}

}  // namespace kr
