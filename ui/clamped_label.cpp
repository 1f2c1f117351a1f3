#include "ui/clamped_label.h"

#include <QPainter>
#include <QTextLayout>

namespace inkveil {

ClampedLabel::ClampedLabel(int maxLines, QWidget* parent) : QWidget(parent), m_maxLines(maxLines)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void ClampedLabel::setText(const QString& text)
{
    if (m_text == text)
        return;
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void ClampedLabel::setColor(const QColor& color)
{
    m_color = color;
    update();
}

QStringList ClampedLabel::lines(int width) const
{
    QStringList result;
    if (m_text.isEmpty() || width <= 0)
        return result;
    QTextLayout layout(m_text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (result.size() + 1 == m_maxLines) {
            // The last allowed line takes the rest, elided.
            const QString rest = m_text.mid(line.textStart());
            result.append(fontMetrics().elidedText(rest, Qt::ElideMiddle, width));
            break;
        }
        result.append(m_text.mid(line.textStart(), line.textLength()));
    }
    layout.endLayout();
    return result;
}

int ClampedLabel::heightForWidth(int width) const
{
    // One pixel more, so that underscores at the very bottom are not cut off.
    return static_cast<int>(std::max<qsizetype>(1, lines(width).size())) * fontMetrics().lineSpacing() + 1;
}

QSize ClampedLabel::sizeHint() const
{
    const int width = std::min(fontMetrics().horizontalAdvance(m_text), 260);
    return {width, heightForWidth(std::max(width, 1))};
}

QSize ClampedLabel::minimumSizeHint() const
{
    return {40, fontMetrics().lineSpacing()};
}

void ClampedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(m_color.isValid() ? m_color : palette().color(QPalette::WindowText));
    int y = 0;
    const int spacing = fontMetrics().lineSpacing();
    for (const QString& line : lines(width())) {
        painter.drawText(QRect(0, y, width(), spacing), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += spacing;
    }
}

} // namespace inkveil
