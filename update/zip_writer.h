#pragma once

#include <QByteArray>
#include <QString>

struct archive;

namespace inkveil {

// Writes a zip archive, keeping Unix modes and symbolic links. Entry names are
// taken as given, so tests can also build archives that must be refused.
// Failures throw FileError.
class ZipWriter {
public:
    explicit ZipWriter(const QString& path);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    void addFolder(const QByteArray& name, int mode = 0755);
    void addFile(const QByteArray& name, const QByteArray& content, int mode = 0644);
    void addSymlink(const QByteArray& name, const QByteArray& target);
    // `folder` and everything below it, links kept as links, under `name`.
    void addTree(const QString& folder, const QByteArray& name);
    // Completes the archive; the destructor only releases it.
    void close();

private:
    void addFileFrom(const QString& source, const QByteArray& name, int mode);
    [[noreturn]] void fail() const;

    QString m_path;
    ::archive* m_archive = nullptr;
};

} // namespace inkveil
