#include "update/zip_writer.h"

#include "core/errors.h"

#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace inkveil {
namespace {

struct EntryDeleter {
    void operator()(archive_entry* entry) const { archive_entry_free(entry); }
};
using Entry = std::unique_ptr<archive_entry, EntryDeleter>;

Entry newEntry(const QByteArray& name, unsigned type, int mode, qint64 size)
{
    Entry entry(archive_entry_new());
    archive_entry_set_pathname(entry.get(), name.constData());
    archive_entry_set_filetype(entry.get(), type);
    archive_entry_set_perm(entry.get(), static_cast<mode_t>(mode));
    archive_entry_set_size(entry.get(), size);
    archive_entry_set_mtime(entry.get(), 0, 0);
    return entry;
}

} // namespace

ZipWriter::ZipWriter(const QString& path) : m_path(path), m_archive(archive_write_new())
{
    if (archive_write_set_format_zip(m_archive) != ARCHIVE_OK
        || archive_write_open_filename(m_archive, QFile::encodeName(path).constData()) != ARCHIVE_OK)
        fail();
}

ZipWriter::~ZipWriter()
{
    archive_write_free(m_archive);
}

void ZipWriter::fail() const
{
    const char* message = archive_error_string(m_archive);
    throw FileError(m_path, message ? QString::fromUtf8(message) : QStringLiteral("Could not write %1").arg(m_path));
}

void ZipWriter::addFolder(const QByteArray& name, int mode)
{
    const Entry entry = newEntry(name.endsWith('/') ? name : name + '/', AE_IFDIR, mode, 0);
    if (archive_write_header(m_archive, entry.get()) != ARCHIVE_OK)
        fail();
}

void ZipWriter::addFile(const QByteArray& name, const QByteArray& content, int mode)
{
    const Entry entry = newEntry(name, AE_IFREG, mode, content.size());
    if (archive_write_header(m_archive, entry.get()) != ARCHIVE_OK)
        fail();
    if (!content.isEmpty() && archive_write_data(m_archive, content.constData(), size_t(content.size())) < 0)
        fail();
}

void ZipWriter::addSymlink(const QByteArray& name, const QByteArray& target)
{
    const Entry entry = newEntry(name, AE_IFLNK, 0777, 0);
    archive_entry_set_symlink(entry.get(), target.constData());
    if (archive_write_header(m_archive, entry.get()) != ARCHIVE_OK)
        fail();
}

void ZipWriter::addFileFrom(const QString& source, const QByteArray& name, int mode)
{
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(source, file.errorString());
    const Entry entry = newEntry(name, AE_IFREG, mode, file.size());
    if (archive_write_header(m_archive, entry.get()) != ARCHIVE_OK)
        fail();
    while (!file.atEnd()) {
        const QByteArray block = file.read(1 << 16);
        if (block.isEmpty() && file.error() != QFileDevice::NoError)
            throw FileError(source, file.errorString());
        if (archive_write_data(m_archive, block.constData(), size_t(block.size())) < 0)
            fail();
    }
}

void ZipWriter::addTree(const QString& folder, const QByteArray& name)
{
    const fs::path root(QFile::encodeName(folder).toStdString());
    std::error_code error;
    std::vector<fs::path> paths;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error))
        paths.push_back(it->path());
    if (error)
        throw FileError::fromErrno(folder, error.value());
    std::sort(paths.begin(), paths.end());

    addFolder(name, 0755);
    for (const fs::path& path : paths) {
        const QByteArray entryName = name + '/' + QByteArray::fromStdString(path.lexically_relative(root).native());
        const QString source = QFile::decodeName(path.c_str());
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0)
            throw FileError::fromErrno(source, errno);
        const int mode = static_cast<int>(info.st_mode & 07777);
        if (S_ISLNK(info.st_mode)) {
            const fs::path target = fs::read_symlink(path, error);
            if (error)
                throw FileError::fromErrno(source, error.value());
            addSymlink(entryName, QByteArray::fromStdString(target.native()));
        }
        else if (S_ISDIR(info.st_mode))
            addFolder(entryName, mode);
        else if (S_ISREG(info.st_mode))
            addFileFrom(source, entryName, mode);
        else
            throw FileError(source, QStringLiteral("%1 is neither a file, a folder nor a link").arg(source));
    }
}

void ZipWriter::close()
{
    if (archive_write_close(m_archive) != ARCHIVE_OK)
        fail();
}

} // namespace inkveil
