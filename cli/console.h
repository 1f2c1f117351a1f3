#pragma once

#include <QJsonObject>
#include <QString>

namespace inkveil::cli {

// One line of text, UTF-8, on standard output or standard error.
void printOut(const QString& line);
void printErr(const QString& line);

// One JSON object as one compact line on standard output.
void printJson(const QJsonObject& object);

// The shortest text that reads back as the same double, in C syntax whatever
// the locale.
QString formatNumber(double value);

// A line on standard error that rewrites itself, shown only while standard
// error is a terminal so that logs and pipes stay clean.
class ProgressLine {
public:
    ProgressLine();
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(const QString& text);
    void clear();

private:
    bool m_enabled = false;
    bool m_shown = false;
};

} // namespace inkveil::cli
