#include "app/update_archive.h"

#include "app/update_error.h"
#include "core/errors.h"

#include <QByteArrayList>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace inkveil::UpdateArchive {
namespace {

using SelfUpdater::UpdateError;
using SelfUpdater::UpdateFailure;

struct ReaderDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};

[[noreturn]] void refuse()
{
    throw UpdateFailure(UpdateError::unpack);
}

// Components of a path inside the archive, "." and empty ones left out;
// nothing when the path is absolute or climbs with "..".
std::optional<QByteArrayList> relativeComponents(const char* path)
{
    if (!path || path[0] == '/')
        return std::nullopt;
    QByteArrayList parts;
    for (const QByteArray& part : QByteArray(path).split('/')) {
        if (part == "..")
            return std::nullopt;
        if (!part.isEmpty() && part != ".")
            parts.append(part);
    }
    return parts;
}

// Whether a link at `components` whose target is `target` stays inside the
// root, read as text. Links through links are checked once unpacked.
bool staysInside(const QByteArrayList& components, const char* target)
{
    if (!target || target[0] == '\0' || target[0] == '/')
        return false;
    qsizetype depth = components.size() - 1;
    for (const QByteArray& part : QByteArray(target).split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        depth += part == ".." ? -1 : 1;
        if (depth < 0)
            return false;
    }
    return true;
}

// Every link, followed through the file system, must end inside root.
void checkLinks(const fs::path& root)
{
    std::error_code error;
    const std::string prefix = root.native() + '/';
    fs::recursive_directory_iterator it(root, fs::directory_options::none, error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        if (!it->is_symlink(error))
            continue;
        char resolved[PATH_MAX];
        if (!::realpath(it->path().c_str(), resolved))
            refuse();
        const std::string target(resolved);
        if (target != root.native() && target.compare(0, prefix.size(), prefix) != 0)
            refuse();
    }
    if (error)
        refuse();
}

void copyData(archive* in, archive* out, qint64& unpacked, const Limits& limits)
{
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    int status;
    while ((status = archive_read_data_block(in, &block, &size, &offset)) == ARCHIVE_OK) {
        unpacked += qint64(size);
        if (unpacked > limits.maxUnpackedBytes)
            refuse();
        if (archive_write_data_block(out, block, size, offset) != ARCHIVE_OK)
            refuse();
    }
    if (status != ARCHIVE_EOF)
        refuse();
}

} // namespace

void unpack(const QString& archivePath, const QString& folder, const Limits& limits)
{
    const QByteArray nativeFolder = QFile::encodeName(folder);
    if (::mkdir(nativeFolder.constData(), 0700) != 0)
        throw FileError::fromErrno(folder, errno);
    // Links along the root's own path would trip the link checks below.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const fs::path root(QFile::encodeName(canonical).toStdString());

    std::unique_ptr<archive, ReaderDeleter> in(archive_read_new());
    archive_read_support_format_zip(in.get());
    if (archive_read_open_filename(in.get(), QFile::encodeName(archivePath).constData(), 1 << 16) != ARCHIVE_OK)
        refuse();

    std::unique_ptr<archive, WriterDeleter> out(archive_write_disk_new());
    archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT);

    qint64 entries = 0;
    qint64 unpacked = 0;
    archive_entry* entry = nullptr;
    int status;
    while ((status = archive_read_next_header(in.get(), &entry)) == ARCHIVE_OK) {
        if (++entries > limits.maxEntries)
            refuse();
        const auto components = relativeComponents(archive_entry_pathname(entry));
        if (!components || archive_entry_hardlink(entry))
            refuse();
        const auto type = archive_entry_filetype(entry);
        if (type == AE_IFLNK && !staysInside(*components, archive_entry_symlink(entry)))
            refuse();
        if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK)
            refuse();
        if (components->isEmpty()) {
            if (type != AE_IFDIR)
                refuse();
            continue; // the root itself
        }
        const QByteArray target = QByteArray::fromStdString(root.native()) + '/' + components->join('/');
        archive_entry_set_pathname(entry, target.constData());
        if (archive_write_header(out.get(), entry) != ARCHIVE_OK)
            refuse();
        if (type == AE_IFREG)
            copyData(in.get(), out.get(), unpacked, limits);
        if (archive_write_finish_entry(out.get()) != ARCHIVE_OK)
            refuse();
    }
    if (status != ARCHIVE_EOF || archive_write_close(out.get()) != ARCHIVE_OK)
        refuse();
    checkLinks(root);
}

} // namespace inkveil::UpdateArchive
