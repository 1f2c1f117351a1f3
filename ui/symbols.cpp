#include "ui/symbols.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

namespace inkveil::Symbols {

namespace {

// Draws one symbol in a 24 × 24 box.
void draw(QPainter& p, Symbol symbol, const QColor& ink)
{
    const QColor paper = QColor(Qt::white);
    QPen pen(ink, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);

    auto document = [&](bool withLines) {
        QPainterPath page;
        page.moveTo(6, 3);
        page.lineTo(14, 3);
        page.lineTo(19, 8);
        page.lineTo(19, 21);
        page.lineTo(6, 21);
        page.closeSubpath();
        p.drawPath(page);
        p.drawPolyline(QPolygonF({QPointF(14, 3), QPointF(14, 8), QPointF(19, 8)}));
        if (withLines) {
            p.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap));
            for (double y : {12.0, 15.0, 18.0})
                p.drawLine(QPointF(9, y), QPointF(y == 18.0 ? 13.5 : 16, y));
            p.setPen(pen);
        }
    };
    auto shield = [] {
        QPainterPath path;
        path.moveTo(12, 2.5);
        path.cubicTo(15, 4.5, 17.5, 5, 20, 5);
        path.cubicTo(20, 13, 17.5, 18.5, 12, 21.5);
        path.cubicTo(6.5, 18.5, 4, 13, 4, 5);
        path.cubicTo(6.5, 5, 9, 4.5, 12, 2.5);
        return path;
    };
    auto check = [&](const QColor& colour, double width) {
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(8.5, 12), QPointF(11, 14.5), QPointF(15.5, 9.5)}));
    };

    switch (symbol) {
    case Symbol::plus:
        p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12, 5), QPointF(12, 19));
        p.drawLine(QPointF(5, 12), QPointF(19, 12));
        break;
    case Symbol::docBadgePlus:
        document(false);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(QPointF(17.5, 17.5), 5.2, 5.2);
        p.setPen(QPen(paper, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(17.5, 15), QPointF(17.5, 20));
        p.drawLine(QPointF(15, 17.5), QPointF(20, 17.5));
        break;
    case Symbol::docRichtext:
        document(true);
        break;
    case Symbol::chevronLeft:
        p.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(15, 5), QPointF(8, 12), QPointF(15, 19)}));
        break;
    case Symbol::chevronRight:
        p.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(9, 5), QPointF(16, 12), QPointF(9, 19)}));
        break;
    case Symbol::viewfinder:
        for (const auto& [cx, cy, dx, dy] : {std::tuple{3, 3, 1, 1}, {21, 3, -1, 1}, {3, 21, 1, -1}, {21, 21, -1, -1}})
            p.drawPolyline(QPolygonF({QPointF(cx, cy + 5 * dy), QPointF(cx, cy), QPointF(cx + 5 * dx, cy)}));
        p.drawEllipse(QPointF(12, 12), 1.2, 1.2);
        break;
    case Symbol::checkmarkShield:
        p.drawPath(shield());
        check(ink, 1.8);
        break;
    case Symbol::checkmarkShieldFill:
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPath(shield());
        check(paper, 2.0);
        break;
    case Symbol::infoCircle:
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12, 11), QPointF(12, 16.5));
        p.drawPoint(QPointF(12, 7.5));
        break;
    case Symbol::eyeSlashFill: {
        QPainterPath eye;
        eye.moveTo(2, 12);
        eye.cubicTo(6, 5, 18, 5, 22, 12);
        eye.cubicTo(18, 19, 6, 19, 2, 12);
        QPainterPath iris;
        iris.addEllipse(QPointF(12, 12), 3.8, 3.8);
        QPainterPath pupil;
        pupil.addEllipse(QPointF(12, 12), 1.9, 1.9);
        QPainterPath slash;
        slash.moveTo(4, 3.5);
        slash.lineTo(20, 20.5);
        QPainterPathStroker gap;
        gap.setWidth(4.6);
        gap.setCapStyle(Qt::RoundCap);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPath(eye.subtracted(iris).united(pupil).subtracted(gap.createStroke(slash)));
        p.setPen(QPen(ink, 1.9, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(slash);
        break;
    }
    case Symbol::xmarkCircleFill:
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
        p.setPen(QPen(paper, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8.5, 8.5), QPointF(15.5, 15.5));
        p.drawLine(QPointF(15.5, 8.5), QPointF(8.5, 15.5));
        break;
    case Symbol::folder: {
        QPainterPath path;
        path.moveTo(3, 6);
        path.lineTo(9.5, 6);
        path.lineTo(11.5, 8);
        path.lineTo(21, 8);
        path.lineTo(21, 19);
        path.lineTo(3, 19);
        path.closeSubpath();
        p.drawPath(path);
        p.drawLine(QPointF(3, 11), QPointF(21, 11));
        break;
    }
    }
}

class SymbolEngine : public QIconEngine {
public:
    SymbolEngine(Symbol symbol, QColor tint) : m_symbol(symbol), m_tint(tint) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor ink = m_tint.isValid() ? m_tint : QApplication::palette().color(QPalette::WindowText);
        if (mode == QIcon::Disabled)
            ink.setAlphaF(ink.alphaF() * 0.35f);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const double side = std::min(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / 24.0, side / 24.0);
        draw(*painter, m_symbol, ink);
        painter->restore();
    }

    // On a transparent pixmap of its own (the default leaves it unfilled).
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pix(size * scale);
        pix.setDevicePixelRatio(scale);
        pix.fill(Qt::transparent);
        QPainter painter(&pix);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pix;
    }

    QIconEngine* clone() const override { return new SymbolEngine(m_symbol, m_tint); }
    QString key() const override { return QStringLiteral("inkveil-symbol"); }

private:
    Symbol m_symbol;
    QColor m_tint;
};

// The freedesktop name that stands for a symbol, where one fits.
QString themeName(Symbol symbol)
{
    switch (symbol) {
    case Symbol::plus: return QStringLiteral("list-add");
    case Symbol::docBadgePlus: return QStringLiteral("document-new");
    case Symbol::docRichtext: return QStringLiteral("x-office-document");
    case Symbol::chevronLeft: return QStringLiteral("go-previous");
    case Symbol::chevronRight: return QStringLiteral("go-next");
    case Symbol::folder: return QStringLiteral("folder");
    case Symbol::infoCircle: return QStringLiteral("dialog-information");
    case Symbol::xmarkCircleFill: return QStringLiteral("list-remove");
    case Symbol::checkmarkShield: return QStringLiteral("security-high");
    default: return {};
    }
}

} // namespace

QIcon drawn(Symbol symbol, const QColor& tint)
{
    return QIcon(new SymbolEngine(symbol, tint));
}

QIcon icon(Symbol symbol, const QColor& tint)
{
    const QString name = themeName(symbol);
    if (tint.isValid() || name.isEmpty())
        return drawn(symbol, tint);
    return QIcon::fromTheme(name, drawn(symbol, tint));
}

} // namespace inkveil::Symbols
