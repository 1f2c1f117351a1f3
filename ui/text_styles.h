#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// The window's text styles, scaled from the application font, and its colours.
namespace inkveil::TextStyle {

enum class Style { title2, title3, headline, body, callout, caption };

QFont font(Style style, bool bold = false);
// Sets the widget's font.
void apply(QWidget* widget, Style style, bool bold = false);

// Text that matters less: counts, hints, details.
QColor secondaryColor(const QWidget* widget);
// Draws the widget's text in the secondary colour.
void makeSecondary(QWidget* widget);

inline const QColor kAccentRed{0xD7, 0x26, 0x1E};
inline const QColor kConfirmGreen{0x2E, 0x9E, 0x44};
inline const QColor kDropBlue{0x1E, 0x6F, 0xE8};

} // namespace inkveil::TextStyle
