#include "update/desktop_entry.h"

#include <QByteArrayList>

namespace inkveil::DesktopEntry {
namespace {

const QByteArray kGroup = QByteArrayLiteral("[Desktop Entry]");

QString unescape(const QByteArray& raw)
{
    const QString text = QString::fromUtf8(raw);
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i].unicode()) {
        case u's': out += u' '; break;
        case u'n': out += u'\n'; break;
        case u't': out += u'\t'; break;
        case u'r': out += u'\r'; break;
        case u'\\': out += u'\\'; break;
        default: out += u'\\'; out += text[i]; break;
        }
    }
    return out;
}

QString escape(const QString& value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar ch = value[i];
        if (ch == u'\\')
            out += QStringLiteral("\\\\");
        else if (ch == u'\n')
            out += QStringLiteral("\\n");
        else if (ch == u'\t')
            out += QStringLiteral("\\t");
        else if (ch == u'\r')
            out += QStringLiteral("\\r");
        else if (ch == u' ' && i == 0)
            out += QStringLiteral("\\s");
        else
            out += ch;
    }
    return out;
}

} // namespace

std::optional<QString> value(const QByteArray& text, const QString& key)
{
    const QByteArray wanted = key.toUtf8();
    bool inGroup = false;
    std::optional<QString> found;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        if (trimmed.startsWith('[')) {
            inGroup = trimmed == kGroup;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inGroup || equals < 0 || line.left(equals).trimmed() != wanted)
            continue;
        if (found)
            return std::nullopt;
        QByteArray raw = line.mid(equals + 1);
        while (raw.startsWith(' ') || raw.startsWith('\t'))
            raw.remove(0, 1);
        found = unescape(raw);
    }
    return found;
}

QByteArray write(const QList<QPair<QString, QString>>& keys)
{
    QByteArray text = kGroup + '\n';
    for (const auto& [key, value] : keys)
        text += key.toUtf8() + '=' + escape(value).toUtf8() + '\n';
    return text;
}

} // namespace inkveil::DesktopEntry
