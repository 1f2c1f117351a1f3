#pragma once

#include <QColor>
#include <QIcon>

// The window's symbols: the desktop theme's icon where the theme has a fitting
// one, otherwise (and for tinted symbols always) our own vector drawing.
namespace inkveil::Symbols {

enum class Symbol {
    plus,
    docBadgePlus,
    docRichtext,
    chevronLeft,
    chevronRight,
    viewfinder,
    checkmarkShield,
    checkmarkShieldFill,
    infoCircle,
    eyeSlashFill,
    xmarkCircleFill,
    folder,
};

// An invalid colour draws in the palette's text colour of the moment.
QIcon icon(Symbol symbol, const QColor& tint = QColor());
// Always the drawn one.
QIcon drawn(Symbol symbol, const QColor& tint = QColor());

} // namespace inkveil::Symbols
