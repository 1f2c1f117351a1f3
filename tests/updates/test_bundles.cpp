#include "tests/updates/test_bundles.h"

#include "update/desktop_entry.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <stdexcept>

namespace inkveil::test {

QString makeBundle(const QString& parent, const QString& name, const QString& version, const QString& identifier)
{
    const QString bundle = parent + u'/' + name;
    const auto executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    writeFile(bundle + QStringLiteral("/AppRun"),
              "#!/bin/sh\nprintf '%s\\n' '" + version.toUtf8() + "' >> \"$INKVEIL_TEST_MARKER\"\n", executable);
    writeFile(bundle + u'/' + identifier + QStringLiteral(".desktop"),
              DesktopEntry::write({{QStringLiteral("Type"), QStringLiteral("Application")},
                                   {QStringLiteral("Name"), QStringLiteral("Inkveil")},
                                   {QStringLiteral("X-AppImage-Version"), version}}));
    writeFile(bundle + QStringLiteral("/usr/bin/inkveil"), "program " + version.toUtf8(), executable);
    writeFile(bundle + QStringLiteral("/usr/lib/libnotes.so.1"), "library");
    writeFile(bundle + QStringLiteral("/usr/share/Schl\u00fcssel \u2014 notes.txt"), "non-ASCII names survive");
    if (!QFile::link(QStringLiteral("libnotes.so.1"), bundle + QStringLiteral("/usr/lib/libnotes.so")))
        throw std::runtime_error("cannot link in " + bundle.toStdString());
    return bundle;
}

QString bundleVersion(const QString& bundle)
{
    const auto identity = readAppBundle(bundle);
    return identity && identity->version ? *identity->version : QString();
}

bool waitUntil(const std::function<bool()>& done, int ms)
{
    return QTest::qWaitFor(done, ms);
}

} // namespace inkveil::test
