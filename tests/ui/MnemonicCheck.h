// A check for any window: every label with an Alt letter ("&x") has a buddy,
// so the letter is underlined rather than shown as "&" and Alt+letter moves
// to the control; and no label's letter is taken by a button, check box or
// group box that shows on the same page.
#pragma once

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>
#include <string>
#include <vector>

namespace kr::test {

// The Alt letter of a text, lower case; 0 when it has none ("&&" is a plain &).
inline QChar MnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return QChar();
}

// The tab page a widget shows on (nullptr: outside every tab, on all pages).
inline const QWidget* TabPageOf(const QWidget* w) {
    for (const QWidget* p = w; p && p->parentWidget(); p = p->parentWidget()) {
        const QWidget* up = p->parentWidget();
        if (qobject_cast<const QStackedWidget*>(up) && qobject_cast<const QTabWidget*>(up->parentWidget())) return p;
    }
    return nullptr;
}

// What is wrong with the window's Alt letters, one line each; empty when
// nothing is.
inline std::vector<std::string> MnemonicProblems(const QWidget* window) {
    std::vector<std::string> problems;
    struct Key {
        const QWidget* widget;
        QString text;
        QChar letter;
        const QWidget* page;
    };
    std::vector<Key> labels, others;
    for (const QLabel* l : window->findChildren<QLabel*>()) {
        const QChar c = MnemonicOf(l->text());
        if (c.isNull() || l->textFormat() == Qt::RichText) continue;
        if (!l->buddy())
            problems.push_back("label \"" + l->text().toStdString() + "\" has an Alt letter but no buddy");
        labels.push_back({l, l->text(), c, TabPageOf(l)});
    }
    for (const QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        const QChar c = MnemonicOf(b->text());
        if (!c.isNull()) others.push_back({b, b->text(), c, TabPageOf(b)});
    }
    for (const QGroupBox* g : window->findChildren<QGroupBox*>()) {
        const QChar c = MnemonicOf(g->title());
        if (!c.isNull()) others.push_back({g, g->title(), c, TabPageOf(g)});
    }
    auto together = [](const Key& a, const Key& b) { return !a.page || !b.page || a.page == b.page; };
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const Key& l = labels[i];
        for (const Key& o : others)
            if (o.letter == l.letter && together(l, o))
                problems.push_back("label \"" + l.text.toStdString() + "\" and \"" + o.text.toStdString() +
                                   "\" share Alt+" + QString(l.letter).toStdString());
        for (std::size_t j = i + 1; j < labels.size(); ++j)
            if (labels[j].letter == l.letter && together(l, labels[j]))
                problems.push_back("labels \"" + l.text.toStdString() + "\" and \"" + labels[j].text.toStdString() +
                                   "\" share Alt+" + QString(l.letter).toStdString());
    }
    return problems;
}

}  // namespace kr::test
