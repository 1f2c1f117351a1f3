// inkveil-release: makes the update artefacts of one release.
//
//   inkveil-release keygen SECRET_KEY_FILE PUBLIC_KEY_FILE
//   inkveil-release bundle  --install PREFIX --version V --out FOLDER
//   inkveil-release sign    --key SECRET_KEY_FILE BUNDLE
//   inkveil-release release --install PREFIX --version V --key SECRET_KEY_FILE
//                           --url https://host/path/Inkveil-V.zip [--notes TEXT]
//                           [--valid-days N] --out FOLDER
//   inkveil-release manifest --version V --key SECRET_KEY_FILE --url URL [--notes TEXT]
//                            [--valid-days N] --out FOLDER
//
// PREFIX is an installed tree holding bin/inkveil. "release" writes
// FOLDER/Inkveil.app (signed), FOLDER/<archive named as in the URL> and
// FOLDER/latest.json, after checking them as a client would; what a client
// would refuse is removed again. The manifest is signed and expires after N
// days (30 by default): clients take an expired one for a server that holds
// updates back, so publish a fresh one with "manifest" before then. Give the
// public key to the build as INKVEIL_RELEASE_PUBLIC_KEY.

#include "core/errors.h"
#include "update/app_bundle.h"
#include "update/bundle_signature.h"
#include "update/desktop_entry.h"
#include "update/private_files.h"
#include "update/release_key.h"
#include "update/self_updater.h"
#include "update/update_archive.h"
#include "update/updater.h"
#include "update/zip_writer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;
using namespace inkveil;

namespace {

const QString kBundleName = QStringLiteral("Inkveil.app");
const QString kProgram = QStringLiteral("inkveil");

const QByteArray kAppRun = "#!/bin/sh\n"
                           "# Starts the program inside this folder, wherever the folder lies.\n"
                           "APPDIR=\"$(dirname \"$(readlink -f \"$0\")\")\"\n"
                           "export APPDIR\n"
                           "exec \"$APPDIR/usr/bin/inkveil\" \"$@\"\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void usage(const char* why)
{
    throw UsageError(why);
}

// "--name value" pairs; every name must be one of `known`.
QHash<QString, QString> options(const QStringList& args, const QStringList& known, QStringList& rest)
{
    QHash<QString, QString> found;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (!args[i].startsWith(QStringLiteral("--"))) {
            rest.append(args[i]);
            continue;
        }
        const QString name = args[i].mid(2);
        if (!known.contains(name) || i + 1 == args.size())
            usage("unknown option or missing value");
        found.insert(name, args[++i]);
    }
    return found;
}

QString required(const QHash<QString, QString>& options, const QString& name)
{
    const QString value = options.value(name);
    if (value.isEmpty())
        usage(qPrintable(QStringLiteral("--%1 is required").arg(name)));
    return value;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(path, file.errorString());
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& data, QFileDevice::Permissions permissions = {})
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(data) != data.size()
        || (permissions && !file.setPermissions(permissions)) || !file.flush())
        throw FileError(path, file.errorString());
}

QByteArray secretKey(const QString& path)
{
    const QByteArray key = QByteArray::fromHex(readFile(path).trimmed());
    if (key.size() != 64)
        throw std::invalid_argument("the secret key file must hold 128 hex digits");
    return key;
}

void requireVersion(const QString& version)
{
    if (!Updater::isNewer(version, QStringLiteral("0")))
        throw std::invalid_argument("the version must be dot-separated numbers, such as 1.4.2");
}

// <out>/Inkveil.app from an installed tree: the tree under usr/, AppRun and
// the desktop entry that names the identifier and the version.
QString makeBundle(const QString& install, const QString& version, const QString& out)
{
    requireVersion(version);
    const QFileInfo program(install + QStringLiteral("/bin/") + kProgram);
    if (!program.isFile() || !program.isExecutable())
        throw FileError(program.filePath(), QStringLiteral("%1 is not an installed program").arg(program.filePath()));
    const QString bundle = out + u'/' + kBundleName;
    if (QFileInfo::exists(bundle))
        throw FileError(bundle, QStringLiteral("%1 exists already").arg(bundle));
    if (!QDir().mkpath(bundle))
        throw FileError(bundle, QStringLiteral("Could not create %1").arg(bundle));

    std::error_code error;
    fs::copy(fs::path(QFile::encodeName(install).toStdString()),
             fs::path(QFile::encodeName(bundle + QStringLiteral("/usr")).toStdString()),
             fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error)
        throw FileError::fromErrno(install, error.value());

    writeFile(bundle + QStringLiteral("/AppRun"), kAppRun,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                  | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
    writeFile(bundle + u'/' + kBundleIdentifier + QStringLiteral(".desktop"),
              DesktopEntry::write({
                  {QStringLiteral("Type"), QStringLiteral("Application")},
                  {QStringLiteral("Name"), QStringLiteral("Inkveil")},
                  {QStringLiteral("Comment"), QStringLiteral("Permanently redact PDF documents")},
                  {QStringLiteral("Exec"), kProgram + QStringLiteral(" %F")},
                  {QStringLiteral("MimeType"), QStringLiteral("application/pdf;")},
                  {QStringLiteral("Categories"), QStringLiteral("Office;")},
                  {QStringLiteral("Terminal"), QStringLiteral("false")},
                  {QStringLiteral("X-AppImage-Version"), version},
              }));
    return bundle;
}

int keygen(const QStringList& args)
{
    if (args.size() != 2)
        usage("keygen takes a secret and a public key file");
    const auto pair = ReleaseKey::generate();
    PrivateFiles::writeFile(args[0], pair.secretKey.toHex() + '\n');
    writeFile(args[1], pair.publicKey.toHex() + '\n');
    std::printf("%s\n", pair.publicKey.toHex().constData());
    return 0;
}

int bundle(const QStringList& args)
{
    QStringList rest;
    const auto given = options(args, {QStringLiteral("install"), QStringLiteral("version"), QStringLiteral("out")}, rest);
    if (!rest.isEmpty())
        usage("bundle takes only options");
    makeBundle(required(given, QStringLiteral("install")), required(given, QStringLiteral("version")),
               required(given, QStringLiteral("out")));
    return 0;
}

int sign(const QStringList& args)
{
    QStringList rest;
    const auto given = options(args, {QStringLiteral("key")}, rest);
    if (rest.size() != 1)
        usage("sign takes one bundle");
    BundleSignature::sign(rest[0], secretKey(required(given, QStringLiteral("key"))));
    return 0;
}

struct ManifestOptions {
    QString version;
    QString url;
    QString notes;
    QByteArray secretKey;
    int validDays = 30;
};

ManifestOptions manifestOptions(const QHash<QString, QString>& given)
{
    ManifestOptions options;
    options.version = required(given, QStringLiteral("version"));
    requireVersion(options.version);
    options.url = required(given, QStringLiteral("url"));
    options.notes = given.value(QStringLiteral("notes"));
    options.secretKey = secretKey(required(given, QStringLiteral("key")));
    if (given.contains(QStringLiteral("valid-days"))) {
        bool ok = false;
        options.validDays = given.value(QStringLiteral("valid-days")).toInt(&ok);
        if (!ok || options.validDays < 1 || options.validDays > 366)
            usage("--valid-days must be a number of days from 1 to 366");
    }
    return options;
}

// The signed manifest, checked as a client checks it; also the archive name
// that its URL ends in.
std::pair<QByteArray, QString> signedManifest(const ManifestOptions& options)
{
    const QDateTime expires =
        QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() + qint64(options.validDays) * 86400, Qt::UTC);
    const QByteArray text =
        Updater::writeManifest({options.version, options.url, options.notes, expires}, options.secretKey);
    const auto result = Updater::readManifest(text, QStringLiteral("0"), ReleaseKey::publicKeyOf(options.secretKey));
    const QString archiveName = result.offer ? result.offer->downloadURL.fileName() : QString();
    if (!result.offer || result.offer->version != options.version || !archiveName.endsWith(QStringLiteral(".zip")))
        throw std::invalid_argument("the URL must be an https address of a .zip file");
    return {text, archiveName};
}

// What a client does with the archive: the same limits, the same unpacking,
// the same signature and identity checks.
void checkAsClient(const QString& archive, const QString& version, const QByteArray& publicKey)
{
    const qint64 size = QFileInfo(archive).size();
    if (size > SelfUpdater::Installation().maxArchiveBytes)
        throw std::runtime_error("the archive is larger than clients download");
    QTemporaryDir work;
    if (!work.isValid())
        throw FileError(work.path(), work.errorString());
    UpdateArchive::Limits limits;
    limits.maxUnpackedBytes = std::min(limits.maxUnpackedBytes, 8 * size);
    try {
        const QString bundle = UpdateArchive::unpack(archive, work.path(), limits);
        SelfUpdater::verifySignature(bundle, publicKey);
        SelfUpdater::verifyIdentity(bundle, version, kBundleIdentifier);
    } catch (const SelfUpdater::UpdateFailure& failure) {
        throw std::runtime_error(std::string("clients would refuse this release: ") + failure.what());
    }
}

int release(const QStringList& args)
{
    QStringList rest;
    const auto given = options(args,
                               {QStringLiteral("install"), QStringLiteral("version"), QStringLiteral("key"),
                                QStringLiteral("url"), QStringLiteral("notes"), QStringLiteral("valid-days"),
                                QStringLiteral("out")},
                               rest);
    if (!rest.isEmpty())
        usage("release takes only options");
    const ManifestOptions manifest = manifestOptions(given);
    const QString out = required(given, QStringLiteral("out"));
    const auto [manifestText, archiveName] = signedManifest(manifest);

    const QString bundlePath = makeBundle(required(given, QStringLiteral("install")), manifest.version, out);
    const QString archive = out + u'/' + archiveName;
    const QString manifestPath = out + QStringLiteral("/latest.json");
    try {
        BundleSignature::sign(bundlePath, manifest.secretKey);
        ZipWriter zip(archive);
        zip.addTree(bundlePath, kBundleName.toUtf8());
        zip.close();
        checkAsClient(archive, manifest.version, ReleaseKey::publicKeyOf(manifest.secretKey));
        writeFile(manifestPath, manifestText);
    } catch (...) {
        // Nothing half-made to publish by mistake.
        QDir(bundlePath).removeRecursively();
        QFile::remove(archive);
        throw;
    }
    return 0;
}

int manifest(const QStringList& args)
{
    QStringList rest;
    const auto given = options(args,
                               {QStringLiteral("version"), QStringLiteral("key"), QStringLiteral("url"),
                                QStringLiteral("notes"), QStringLiteral("valid-days"), QStringLiteral("out")},
                               rest);
    if (!rest.isEmpty())
        usage("manifest takes only options");
    const QString out = required(given, QStringLiteral("out"));
    const QByteArray text = signedManifest(manifestOptions(given)).first;
    if (!QDir().mkpath(out))
        throw FileError(out, QStringLiteral("Could not create %1").arg(out));
    PrivateFiles::writeFile(out + QStringLiteral("/latest.json"), text);
    QFile::setPermissions(out + QStringLiteral("/latest.json"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                              | QFileDevice::ReadOther);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 2; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    try {
        if (command == QStringLiteral("keygen"))
            return keygen(args);
        if (command == QStringLiteral("bundle"))
            return bundle(args);
        if (command == QStringLiteral("sign"))
            return sign(args);
        if (command == QStringLiteral("release"))
            return release(args);
        if (command == QStringLiteral("manifest"))
            return manifest(args);
        usage("commands: keygen, bundle, sign, release, manifest");
    } catch (const UsageError& error) {
        std::fprintf(stderr, "inkveil-release: %s\n", error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "inkveil-release: %s\n", error.what());
        return 1;
    }
}
