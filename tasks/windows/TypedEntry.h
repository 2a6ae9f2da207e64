// Date and time entries show pictures without seconds, so a value is read
// back from an entry only when the user typed in it since it was last shown
// (the form's Show clears the mark; QLineEdit's own modified flag is cleared
// by the window framework once it has passed the entry on as accepted).
#pragma once

#include <QLineEdit>
#include <QVariant>

namespace kr::tasks {

inline void TrackTyping(QLineEdit* e) {
    QObject::connect(e, &QLineEdit::textEdited, e, [e] { e->setProperty("krTyped", true); });
}
inline bool Typed(const QLineEdit* e) { return e->property("krTyped").toBool(); }
inline void ClearTyped(QLineEdit* e) { e->setProperty("krTyped", false); }

}  // namespace kr::tasks
