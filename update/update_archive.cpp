#include "update/update_archive.h"

#include "core/errors.h"
#include "update/bundle_signature.h"
#include "update/update_error.h"

#include <QByteArrayList>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <functional>
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
using Reader = std::unique_ptr<archive, ReaderDeleter>;

[[noreturn]] void refuse(UpdateError error = UpdateError::unpack)
{
    throw UpdateFailure(error);
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
// application folder (the first component), read as text. Links through
// links are checked once unpacked.
bool staysInside(const QByteArrayList& components, const char* target)
{
    if (!target || target[0] == '\0' || target[0] == '/')
        return false;
    qsizetype depth = components.size() - 2;
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

// The seekable reader takes entries from the archive's central directory,
// so both passes see the same entries with the same declared sizes.
Reader openArchive(const QString& path)
{
    Reader in(archive_read_new());
    archive_read_support_format_zip_seekable(in.get());
    if (archive_read_open_filename(in.get(), QFile::encodeName(path).constData(), 1 << 16) != ARCHIVE_OK)
        refuse();
    return in;
}

struct Entry {
    QByteArrayList components;
    unsigned type = 0;
};

// Reads every header, checking each; calls `visit` for the ones that pass.
void forEachEntry(archive* in, const Limits& limits, const std::function<void(archive_entry*, const Entry&)>& visit)
{
    qint64 entries = 0;
    archive_entry* entry = nullptr;
    int status;
    while ((status = archive_read_next_header(in, &entry)) == ARCHIVE_OK) {
        if (++entries > limits.maxEntries)
            refuse();
        const auto components = relativeComponents(archive_entry_pathname(entry));
        if (!components || components->isEmpty() || archive_entry_hardlink(entry))
            refuse();
        const unsigned type = archive_entry_filetype(entry);
        if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK)
            refuse();
        if (type == AE_IFLNK && !staysInside(*components, archive_entry_symlink(entry)))
            refuse();
        visit(entry, Entry{*components, type});
    }
    if (status != ARCHIVE_EOF)
        refuse();
}

// The one top-level folder, found from the directory alone.
QByteArray checkDirectory(const QString& archivePath, const Limits& limits)
{
    Reader in = openArchive(archivePath);
    QSet<QByteArray> topLevel;
    qint64 declared = 0;
    forEachEntry(in.get(), limits, [&](archive_entry* entry, const Entry& found) {
        topLevel.insert(found.components.front());
        if (found.components.size() == 1 && found.type != AE_IFDIR)
            refuse();
        if (found.type == AE_IFREG) {
            if (!archive_entry_size_is_set(entry) || archive_entry_size(entry) < 0)
                refuse();
            declared += archive_entry_size(entry);
            if (declared > limits.maxUnpackedBytes)
                refuse();
        }
        if (archive_read_data_skip(in.get()) != ARCHIVE_OK)
            refuse();
    });
    qsizetype bundles = 0;
    for (const QByteArray& name : topLevel)
        bundles += name.size() > 4 && name.endsWith(".app");
    if (bundles == 0)
        refuse(UpdateError::notFound);
    const QByteArray name = *topLevel.begin();
    if (topLevel.size() != 1 || QFile::encodeName(QFile::decodeName(name)) != name)
        refuse();
    return name;
}

void copyData(archive* in, archive* out, qint64 declared)
{
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    qint64 written = 0;
    int status;
    while ((status = archive_read_data_block(in, &block, &size, &offset)) == ARCHIVE_OK) {
        written += qint64(size);
        if (written > declared)
            refuse();
        if (archive_write_data_block(out, block, size, offset) != ARCHIVE_OK)
            refuse();
    }
    if (status != ARCHIVE_EOF)
        refuse();
}

} // namespace

QString unpack(const QString& archivePath, const QString& folder, const Limits& limits)
{
    const QByteArray bundleName = checkDirectory(archivePath, limits);
    // Links along the folder's own path would trip the link checks below.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        throw FileError::fromErrno(folder, ENOENT);
    const QByteArray root = QFile::encodeName(canonical);

    Reader in = openArchive(archivePath);
    std::unique_ptr<archive, WriterDeleter> out(archive_write_disk_new());
    archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_SYMLINKS
                                                  | ARCHIVE_EXTRACT_SECURE_NODOTDOT);
    forEachEntry(in.get(), limits, [&](archive_entry* entry, const Entry& found) {
        if (found.components.front() != bundleName)
            refuse();
        const QByteArray target = root + '/' + found.components.join('/');
        archive_entry_set_pathname(entry, target.constData());
        if (found.type == AE_IFDIR)
            archive_entry_set_perm(entry, 0755);
        else if (found.type == AE_IFREG)
            archive_entry_set_perm(entry, (archive_entry_perm(entry) & S_IXUSR) ? 0755 : 0644);
        if (archive_write_header(out.get(), entry) != ARCHIVE_OK)
            refuse();
        if (found.type == AE_IFREG)
            copyData(in.get(), out.get(), archive_entry_size(entry));
        if (archive_write_finish_entry(out.get()) != ARCHIVE_OK)
            refuse();
    });
    if (archive_write_close(out.get()) != ARCHIVE_OK)
        refuse();
    const QString bundle = canonical + u'/' + QFile::decodeName(bundleName);
    checkLinks(fs::path(QFile::encodeName(bundle).toStdString()));
    // Folders that the archive only implied were made under the umask.
    BundleSignature::setClassModes(bundle);
    return bundle;
}

} // namespace inkveil::UpdateArchive
