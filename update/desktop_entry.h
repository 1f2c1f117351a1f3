#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// The freedesktop desktop entry format, as far as a bundle's identity needs it.
namespace inkveil::DesktopEntry {

// The unescaped value of `key` in the "[Desktop Entry]" group. Nothing when
// the key is missing or given twice.
std::optional<QString> value(const QByteArray& text, const QString& key);

// A "[Desktop Entry]" group holding the keys in order, values escaped.
QByteArray write(const QList<QPair<QString, QString>>& keys);

} // namespace inkveil::DesktopEntry
