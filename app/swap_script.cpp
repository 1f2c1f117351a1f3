#include "app/swap_script.h"

#include "app/private_files.h"
#include "core/errors.h"

#include <QByteArrayList>
#include <QProcess>

namespace inkveil::SwapScript {

QByteArray text(qint64 pid)
{
    // Paths only ever arrive as "$1" and "$2", always quoted: a folder name
    // with spaces, quotes or "$" cannot change what the script runs. Leaving
    // the swapped folders ("cd /") keeps the relaunched program out of a
    // folder that the swap deleted.
    const QByteArrayList lines = {
        "#!/bin/sh",
        "while kill -0 " + QByteArray::number(pid) + " 2>/dev/null; do sleep 0.2; done",
        "cd /",
        "if rm -rf \"$2.bak\" && mv \"$2\" \"$2.bak\" 2>/dev/null; then",
        "  if cp -a \"$1\" \"$2\" 2>/dev/null; then",
        "    rm -rf \"$2.bak\"",
        "  else",
        "    # cp may have left a half-copied bundle behind (a full disk, say). Clear it before",
        "    # restoring, or the backup is skipped and the broken app is relaunched.",
        "    rm -rf \"$2\"",
        "    [ -d \"$2.bak\" ] && mv \"$2.bak\" \"$2\"",
        "  fi",
        "fi",
        "nohup \"$2/AppRun\" >/dev/null 2>&1 &",
    };
    return lines.join('\n');
}

QString path(const QString& folder, qint64 pid)
{
    return folder + QStringLiteral("/mervo-update-%1.sh").arg(pid);
}

QString start(const QString& folder, qint64 pid, const QString& newApp, const QString& destination)
{
    const QString script = path(folder, pid);
    PrivateFiles::writeFile(script, text(pid));
    const QString shell = QStringLiteral("/bin/sh");
    if (!QProcess::startDetached(shell, {script, newApp, destination}))
        throw FileError(shell, QStringLiteral("Could not start %1").arg(shell));
    return script;
}

} // namespace inkveil::SwapScript
