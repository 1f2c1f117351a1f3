#include "update/bundle_swap.h"

#include "update/bundle_signature.h"
#include "update/self_updater.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace inkveil::BundleSwap {
namespace {

struct Fd {
    int fd = -1;
    explicit Fd(int value) : fd(value) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// A pidfd is not fooled by a reused process id; kill(0) is the fallback.
void waitForExit(qint64 pid)
{
#ifdef SYS_pidfd_open
    const Fd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0)));
    if (pidfd.fd >= 0) {
        pollfd waiting{pidfd.fd, POLLIN, 0};
        while (::poll(&waiting, 1, -1) < 0 && errno == EINTR) {
        }
        return;
    }
    if (errno == ESRCH)
        return;
#endif
    while (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)
        ::usleep(200'000);
}

bool isOwnPrivateFolder(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & 077) == 0;
}

[[noreturn]] void relaunch(const QByteArray& bundle, const sigset_t& originalMask)
{
    const int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; null >= 0 && fd < 3; ++fd)
        ::dup2(null, fd);
    if (::chdir("/") != 0) {
    }
    ::sigprocmask(SIG_SETMASK, &originalMask, nullptr);
    const QByteArray appRun = bundle + "/AppRun";
    char* const argv[] = {const_cast<char*>(appRun.constData()), nullptr};
    ::execv(appRun.constData(), argv);
    ::_exit(127);
}

std::optional<Request> parse(int argc, char** argv)
{
    if (argc != 9)
        return std::nullopt;
    bool ok = false;
    Request request;
    request.processId = QByteArray(argv[2]).toLongLong(&ok);
    request.workFolder = argv[3];
    request.bundleName = argv[4];
    request.destination = argv[5];
    request.trustedKey = QByteArray::fromHex(argv[6]);
    request.identifier = QString::fromUtf8(argv[7]);
    request.version = QString::fromUtf8(argv[8]);
    if (!ok || request.processId <= 0 || request.workFolder.isEmpty() || request.bundleName.contains('/')
        || request.destination.isEmpty())
        return std::nullopt;
    return request;
}

} // namespace

QByteArrayList arguments(const Request& request)
{
    return {kCommand,
            QByteArray::number(request.processId),
            request.workFolder,
            request.bundleName,
            request.destination,
            request.trustedKey.toHex(),
            request.identifier.toUtf8(),
            request.version.toUtf8()};
}

bool swapFolders(const QByteArray& destination, const QByteArray& workFolder, const QByteArray& bundleName,
                 Method method)
{
    if (parentOf(workFolder) != parentOf(destination))
        return false;
    const Fd parent(::open(parentOf(destination).constData(), O_DIRECTORY | O_RDONLY | O_CLOEXEC));
    if (parent.fd < 0)
        return false;
    const Fd work(::openat(parent.fd, nameOf(workFolder).constData(), O_DIRECTORY | O_NOFOLLOW | O_RDONLY | O_CLOEXEC));
    if (work.fd < 0 || !isOwnPrivateFolder(work.fd))
        return false;
    const QByteArray name = nameOf(destination);
    if (method == Method::exchange) {
        if (::renameat2(work.fd, bundleName.constData(), parent.fd, name.constData(), RENAME_EXCHANGE) == 0)
            return true;
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return false;
    }
    const char* previous = ".previous";
    if (::renameat(parent.fd, name.constData(), work.fd, previous) != 0)
        return false;
    if (::renameat(work.fd, bundleName.constData(), parent.fd, name.constData()) == 0)
        return true;
    ::renameat(work.fd, previous, parent.fd, name.constData());
    return false;
}

void removeTree(const QByteArray& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path.toStdString()), ignored);
}

std::optional<int> runIfAsked(int argc, char** argv)
{
    if (argc < 2 || QByteArray(argv[1]) != kCommand)
        return std::nullopt;
    const auto request = parse(argc, argv);
    if (!request) {
        std::fputs("inkveil: bad swap arguments\n", stderr);
        return 2;
    }
    // A logout or shutdown must not stop the swap half-way.
    sigset_t blocked;
    sigset_t original;
    sigemptyset(&blocked);
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE})
        sigaddset(&blocked, signal);
    ::sigprocmask(SIG_BLOCK, &blocked, &original);

    waitForExit(request->processId);
    try {
        SelfUpdater::checkLocation(request->destination);
        const QString bundle = QFile::decodeName(request->workFolder + '/' + request->bundleName);
        BundleSignature::setClassModes(bundle);
        SelfUpdater::verifySignature(bundle, request->trustedKey);
        SelfUpdater::verifyIdentity(bundle, request->version, request->identifier);
        swapFolders(request->destination, request->workFolder, request->bundleName);
    } catch (const std::exception&) {
        // The old bundle stays; it is relaunched below.
    }
    removeTree(request->workFolder);
    relaunch(request->destination, original);
}

} // namespace inkveil::BundleSwap
