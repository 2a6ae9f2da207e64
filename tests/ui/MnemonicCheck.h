// A check for any window: every label with an Alt letter ("&x") has a buddy,
// so the letter is underlined rather than shown as "&" and Alt+letter moves
// to the control; and no label's letter is taken by a button, check box or
// group box that shows on the same page, unless both texts are among the
// shared letters the windows are meant to have (SharedAltLetterTexts); Alt
// with such a letter moves the focus from one of its controls to the next.
#pragma once

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QStackedWidget>
#include <QWidget>
#include <algorithm>
#include <string>
#include <vector>

namespace kr::test {

// Texts whose Alt letters are shared on purpose: the task form's When tab,
// the schedule list's day tab, the wizards' page buttons beside their
// entries and the contact form's phone and web site keep these texts though
// their letters meet.
inline const std::vector<QString>& SharedAltLetterTexts() {
    static const std::vector<QString> texts = {
        QStringLiteral("Schedule &Type"),
        QStringLiteral("&Tips"),
        QStringLiteral("&Time:"),
        QStringLiteral("&Select Day"),
        QStringLiteral("&Scripting"),
        QStringLiteral("&Back"),
        QStringLiteral("&Browse"),
        QStringLiteral("&Before performing task, give option to skip"),
        QStringLiteral("&Next"),
        QStringLiteral("&Next Date to Perform Task:"),
        QStringLiteral("Comma&nd:"),
        QStringLiteral("&Work/Day Phone:"),
        QStringLiteral("&Web Site:"),
    };
    return texts;
}

inline bool SharedOnPurpose(const QString& a, const QString& b) {
    const auto& t = SharedAltLetterTexts();
    return std::find(t.begin(), t.end(), a) != t.end() && std::find(t.begin(), t.end(), b) != t.end();
}

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

// A control hidden on purpose (itself or a part of the window it sits in), not
// merely on a page of a stacked widget that is not showing: its Alt letter
// reaches nothing.
inline bool HiddenOnPurpose(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w; p && p != window; p = p->parentWidget())
        if (p->isHidden() && !qobject_cast<const QStackedWidget*>(p->parentWidget())) return true;
    return false;
}

// Whether two widgets can show at once: not when they are on different
// pages of one stacked widget (the tabs of a sheet, the pages of a wizard).
inline bool ShowTogether(const QWidget* a, const QWidget* b) {
    for (const QWidget* p = a; p && p->parentWidget(); p = p->parentWidget()) {
        const QWidget* up = p->parentWidget();
        if (!qobject_cast<const QStackedWidget*>(up) || !up->isAncestorOf(b)) continue;
        if (p != b && !p->isAncestorOf(b)) return false;
    }
    return true;
}

// What is wrong with the window's Alt letters, one line each; empty when
// nothing is.
inline std::vector<std::string> MnemonicProblems(const QWidget* window) {
    std::vector<std::string> problems;
    struct Key {
        const QWidget* widget;
        QString text;
        QChar letter;
    };
    std::vector<Key> labels, others;
    for (const QLabel* l : window->findChildren<QLabel*>()) {
        const QChar c = MnemonicOf(l->text());
        if (c.isNull() || l->textFormat() == Qt::RichText || HiddenOnPurpose(l, window)) continue;
        if (!l->buddy())
            problems.push_back("label \"" + l->text().toStdString() + "\" has an Alt letter but no buddy");
        labels.push_back({l, l->text(), c});
    }
    for (const QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        const QChar c = MnemonicOf(b->text());
        if (!c.isNull() && !HiddenOnPurpose(b, window)) others.push_back({b, b->text(), c});
    }
    for (const QGroupBox* g : window->findChildren<QGroupBox*>()) {
        const QChar c = MnemonicOf(g->title());
        if (!c.isNull() && !HiddenOnPurpose(g, window)) others.push_back({g, g->title(), c});
    }
    auto together = [](const Key& a, const Key& b) { return ShowTogether(a.widget, b.widget); };
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const Key& l = labels[i];
        for (const Key& o : others)
            if (o.letter == l.letter && together(l, o) && !SharedOnPurpose(l.text, o.text))
                problems.push_back("label \"" + l.text.toStdString() + "\" and \"" + o.text.toStdString() +
                                   "\" share Alt+" + QString(l.letter).toStdString());
        for (std::size_t j = i + 1; j < labels.size(); ++j)
            if (labels[j].letter == l.letter && together(l, labels[j]) && !SharedOnPurpose(l.text, labels[j].text))
                problems.push_back("labels \"" + l.text.toStdString() + "\" and \"" + labels[j].text.toStdString() +
                                   "\" share Alt+" + QString(l.letter).toStdString());
    }
    return problems;
}

}  // namespace kr::test
