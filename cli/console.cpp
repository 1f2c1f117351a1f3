#include "cli/console.h"

#include <QJsonDocument>

#include <charconv>
#include <cstdio>

#include <unistd.h>

namespace inkveil::cli {

namespace {

void writeLine(std::FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fputc('\n', stream);
}

} // namespace

void printOut(const QString& line)
{
    writeLine(stdout, line.toUtf8());
    std::fflush(stdout);
}

void printErr(const QString& line)
{
    writeLine(stderr, line.toUtf8());
}

void printJson(const QJsonObject& object)
{
    writeLine(stdout, QJsonDocument(object).toJson(QJsonDocument::Compact));
    std::fflush(stdout);
}

QString formatNumber(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

ProgressLine::ProgressLine() : m_enabled(isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine()
{
    clear();
}

void ProgressLine::show(const QString& text)
{
    if (!m_enabled)
        return;
    // Carriage return, then erase to the end of the line.
    const QByteArray bytes = "\r\x1b[K" + text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
    m_shown = true;
}

void ProgressLine::clear()
{
    if (!m_shown)
        return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    m_shown = false;
}

} // namespace inkveil::cli
