// The font window with a colour choice: Qt's font dialog embedded beside a
// colour button, since Qt's own has no colour. Enter and Escape anywhere in
// it are OK and Cancel.
#pragma once

#include <QString>

class QColor;
class QFont;
class QWidget;

namespace kr {

// Modal over parent; false when cancelled (font and colour unchanged).
bool ChooseFontAndColour(QWidget* parent, QFont& font, QColor& colour, const QString& title = QStringLiteral("Font"));

}  // namespace kr
