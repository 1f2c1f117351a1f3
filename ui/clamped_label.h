#pragma once

#include <QWidget>

namespace inkveil {

// Text wrapped anywhere (paths have few spaces) to at most a number of lines,
// the last one elided.
class ClampedLabel : public QWidget {
    Q_OBJECT

public:
    explicit ClampedLabel(int maxLines, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return m_text; }
    void setColor(const QColor& color);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The lines the text takes at a width, at most m_maxLines.
    QStringList lines(int width) const;

    int m_maxLines;
    QString m_text;
    QColor m_color;
};

} // namespace inkveil
