#include "cli/commands.h"
#include "cli/console.h"
#include "cli/document_probe.h"
#include "core/engine.h"
#include "platform/mu_context.h"

#include <QJsonObject>

namespace inkveil::cli {

int runList(const ListOptions& options)
{
    const QStringList paths = InkveilEngine::discover(options.paths);
    if (paths.isEmpty()) {
        printErr(nothingFoundText());
        return kExitFailure;
    }

    platform::Context ctx;
    bool allReadable = true;
    for (const QString& path : paths) {
        const DocumentProbe probe = probeDocument(ctx, path);
        const bool readable = probe.status == DocumentProbe::Status::readable;
        allReadable = allReadable && readable;
        if (options.json) {
            QJsonObject object{{QStringLiteral("path"), path}, {QStringLiteral("readable"), readable}};
            if (readable)
                object.insert(QStringLiteral("pages"), static_cast<qint64>(probe.pageCount));
            else
                object.insert(QStringLiteral("reason"), reasonText(probe.status));
            printJson(object);
        } else if (readable) {
            printOut(probe.pageCount == 1 ? QStringLiteral("%1: 1 page").arg(path)
                                          : QStringLiteral("%1: %2 pages").arg(path).arg(probe.pageCount));
        } else {
            printOut(QStringLiteral("%1: %2").arg(path, reasonText(probe.status)));
        }
    }
    return allReadable ? kExitSuccess : kExitFailure;
}

} // namespace inkveil::cli
