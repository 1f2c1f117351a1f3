#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

// Readable QStrings in assertion messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace inkveil::test {

// A fresh temporary folder per test, removed afterwards.
class TempDirTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

QByteArray readAll(const QString& path);

// Writes a file, creating its folders; returns its path. Throws when it cannot.
QString writeFile(const QString& path, const QByteArray& content,
                  QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner);

// Everything in a folder, hidden entries included, by name; empty when it is missing.
QStringList entriesOf(const QString& folder);

// Runs a program and returns its exit code, stdout and stderr.
struct ProcessResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
ProcessResult runProgram(const QString& program, const QStringList& args, int timeoutMs = 120000);

// Whether an external tool (pdftotext, qpdf, …) is on PATH.
bool haveTool(const QString& name);

} // namespace inkveil::test
