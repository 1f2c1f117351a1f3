#include "ui/text_styles.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace inkveil::TextStyle {

namespace {

// Sizes relative to body text, as desktop type ramps usually set them.
double scaleOf(Style style)
{
    switch (style) {
    case Style::title2: return 17.0 / 13.0;
    case Style::title3: return 15.0 / 13.0;
    case Style::headline: return 1.0;
    case Style::body: return 1.0;
    case Style::callout: return 12.0 / 13.0;
    case Style::caption: return 10.5 / 13.0;
    }
    return 1.0;
}

} // namespace

QFont font(Style style, bool bold)
{
    QFont f = QApplication::font();
    const double base = f.pointSizeF() > 0 ? f.pointSizeF() : 10.0;
    f.setPointSizeF(base * scaleOf(style));
    f.setBold(bold || style == Style::headline);
    return f;
}

void apply(QWidget* widget, Style style, bool bold)
{
    widget->setFont(font(style, bold));
}

QColor secondaryColor(const QWidget* widget)
{
    const QPalette& palette = widget ? widget->palette() : QApplication::palette();
    return palette.color(QPalette::PlaceholderText);
}

void makeSecondary(QWidget* widget)
{
    QPalette palette = widget->palette();
    const QColor secondary = secondaryColor(widget);
    palette.setColor(QPalette::WindowText, secondary);
    palette.setColor(QPalette::Text, secondary);
    widget->setPalette(palette);
}

} // namespace inkveil::TextStyle
