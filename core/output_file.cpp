#include "core/output_file.h"

#include "core/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace inkveil {

namespace {

const QString kPartialPrefix = QStringLiteral(".inkveil-partial-");

// A partial file is unlocked between its creation and its lock: documents
// redacted side by side must not take each other's for abandoned meanwhile.
std::mutex g_partialFiles;

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// rename(2) that fails with EEXIST instead of replacing.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // File systems without RENAME_NOREPLACE: link() never replaces either.
    if (::link(from.constData(), to.constData()) != 0)
        return -1;
    ::unlink(from.constData());
    return 0;
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

TemporaryOutput::TemporaryOutput(const QString& folder)
{
    QByteArray pattern = QFile::encodeName(QDir(folder).filePath(kPartialPrefix + QStringLiteral("XXXXXX.pdf")));
    const std::lock_guard lock(g_partialFiles);
    m_fd = ::mkostemps(pattern.data(), 4, O_CLOEXEC);
    if (m_fd < 0)
        throw FileError::fromErrno(folder, errno);
    m_path = QFile::decodeName(pattern);
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    // mkstemp makes it private; the published output gets the usual permissions.
    ::fchmod(m_fd, 0666 & ~currentUmask());
}

TemporaryOutput::~TemporaryOutput()
{
    // A folder that became read-only keeps the file: then at least not its
    // content. The next run in the folder removes it.
    if (!m_published && !m_path.isEmpty() && ::unlink(QFile::encodeName(m_path).constData()) != 0 && m_fd >= 0) {
        [[maybe_unused]] const int ignored = ::ftruncate(m_fd, 0);
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

void TemporaryOutput::checkInPlace(const QString& folder) const
{
    struct stat written {};
    struct stat named {};
    if (::fstat(m_fd, &written) != 0 || ::stat(QFile::encodeName(m_path).constData(), &named) != 0
        || written.st_dev != named.st_dev || written.st_ino != named.st_ino)
        throw FileError::fromErrno(folder, ENOENT);
}

QString TemporaryOutput::publish(const std::function<QString()>& chooseName)
{
    const QByteArray from = QFile::encodeName(m_path);
    for (;;) {
        const QString target = chooseName();
        if (renameNoReplace(from, QFile::encodeName(target)) == 0) {
            m_published = true;
            syncFolder(QFileInfo(target).absolutePath());
            return target;
        }
        if (errno != EEXIST)
            throw FileError::fromErrno(target, errno);
    }
}

void TemporaryOutput::removeAbandoned(const QString& folder)
{
    const std::lock_guard lock(g_partialFiles);
    const QStringList names = QDir(folder).entryList({kPartialPrefix + QStringLiteral("*.pdf")},
                                                     QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(QDir(folder).filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        // A live writer holds the lock; only an abandoned file can be taken.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

CreatedFolders::CreatedFolders(const QString& folder)
{
    QStringList missing;
    for (QString dir = QDir::cleanPath(QDir(folder).absolutePath()); !QFileInfo::exists(dir);
         dir = QFileInfo(dir).path()) {
        missing.prepend(dir);
        if (dir == QFileInfo(dir).path())
            break;
    }
    for (const QString& dir : missing) {
        if (::mkdir(QFile::encodeName(dir).constData(), 0777) != 0 && errno != EEXIST) {
            const int error = errno;
            removeCreated();
            throw FileError::fromErrno(dir, error);
        }
        m_created.append(dir);
    }
    if (!QFileInfo(folder).isDir()) {
        removeCreated();
        throw FileError::fromErrno(folder, ENOTDIR);
    }
}

void CreatedFolders::removeCreated()
{
    for (auto it = m_created.crbegin(); it != m_created.crend(); ++it)
        ::rmdir(QFile::encodeName(*it).constData()); // only succeeds when still empty
    m_created.clear();
}

CreatedFolders::~CreatedFolders()
{
    removeCreated();
}

} // namespace inkveil
