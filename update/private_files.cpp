#include "update/private_files.h"

#include "core/errors.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inkveil::PrivateFiles {

void writeFile(const QString& path, const QByteArray& data)
{
    QByteArray temporary = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // mode 0600
    if (fd < 0)
        throw FileError::fromErrno(path, errno);
    const auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temporary.constData());
        return FileError::fromErrno(path, error);
    };
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw fail(errno);
        written += n;
    }
    if (::fsync(fd) != 0)
        throw fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        throw FileError::fromErrno(path, error);
    }
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        throw FileError::fromErrno(path, error);
    }
}

} // namespace inkveil::PrivateFiles
