// A check for any window: every label with an Alt letter ("&x") has a buddy,
// so the letter is underlined rather than shown as "&" and Alt+letter moves
// to the control. A letter that two controls share is no fault: Alt+letter
// then moves the focus between them without pressing either.
#pragma once

#include <QLabel>
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

// What is wrong with the window's Alt letters, one line each; empty when
// nothing is.
inline std::vector<std::string> MnemonicProblems(const QWidget* window) {
    std::vector<std::string> problems;
    for (const QLabel* l : window->findChildren<QLabel*>()) {
        if (MnemonicOf(l->text()).isNull() || l->textFormat() == Qt::RichText) continue;
        if (!l->buddy())
            problems.push_back("label \"" + l->text().toStdString() + "\" has an Alt letter but no buddy");
    }
    return problems;
}

}  // namespace kr::test
