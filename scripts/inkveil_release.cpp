// inkveil-release: makes the update artefacts of one release.
//
//   inkveil-release keygen SECRET_KEY_FILE PUBLIC_KEY_FILE
//   inkveil-release bundle  --install PREFIX --version V --out FOLDER
//   inkveil-release sign    --key SECRET_KEY_FILE BUNDLE
//   inkveil-release release --install PREFIX --version V --key SECRET_KEY_FILE
//                           --url https://host/path/Inkveil-V.zip [--notes TEXT] --out FOLDER
//
// PREFIX is an installed tree holding bin/inkveil. "release" writes
// FOLDER/Inkveil.app (signed), FOLDER/<archive named as in the URL> and
// FOLDER/latest.json. Give the public key to the build as
// INKVEIL_RELEASE_PUBLIC_KEY.

#include "app/app_bundle.h"
#include "app/bundle_signature.h"
#include "app/desktop_entry.h"
#include "app/private_files.h"
#include "app/zip_writer.h"
#include "core/errors.h"
#include "core/updater.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

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
    const auto pair = BundleSignature::generateKeyPair();
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

int release(const QStringList& args)
{
    QStringList rest;
    const auto given = options(args,
                               {QStringLiteral("install"), QStringLiteral("version"), QStringLiteral("key"),
                                QStringLiteral("url"), QStringLiteral("notes"), QStringLiteral("out")},
                               rest);
    if (!rest.isEmpty())
        usage("release takes only options");
    const QString version = required(given, QStringLiteral("version"));
    requireVersion(version);
    const QString out = required(given, QStringLiteral("out"));
    const QString url = required(given, QStringLiteral("url"));
    const QByteArray key = secretKey(required(given, QStringLiteral("key")));

    QJsonObject manifest{{QStringLiteral("version"), version}, {QStringLiteral("url"), url}};
    if (given.contains(QStringLiteral("notes")))
        manifest.insert(QStringLiteral("notes"), given.value(QStringLiteral("notes")));
    const QByteArray manifestText = QJsonDocument(manifest).toJson();
    // Publish only what the program itself would accept.
    const auto offer = Updater::readManifest(manifestText, QStringLiteral("0"));
    const QString archiveName = offer ? offer->downloadURL.fileName() : QString();
    if (!offer || !archiveName.endsWith(QStringLiteral(".zip")))
        throw std::invalid_argument("the URL must be an https address of a .zip file");

    const QString bundlePath = makeBundle(required(given, QStringLiteral("install")), version, out);
    BundleSignature::sign(bundlePath, key);
    ZipWriter zip(out + u'/' + archiveName);
    zip.addTree(bundlePath, kBundleName.toUtf8());
    zip.close();
    writeFile(out + QStringLiteral("/latest.json"), manifestText);
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
        usage("commands: keygen, bundle, sign, release");
    } catch (const UsageError& error) {
        std::fprintf(stderr, "inkveil-release: %s\n", error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "inkveil-release: %s\n", error.what());
        return 1;
    }
}
