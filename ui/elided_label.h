#pragma once

#include <QLabel>

namespace inkveil {

// One line of text that ends in "…" when it does not fit; the whole text is
// its tooltip and accessible name then.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& fullText() const { return m_text; }

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString m_text;
};

} // namespace inkveil
