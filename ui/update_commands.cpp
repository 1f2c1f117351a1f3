#include "ui/update_commands.h"

#include "app/app_model.h"

#include <QAction>
#include <QMetaObject>

namespace inkveil {

void connectUpdateCommands(AppModel& model, QAction& updateTo, QAction& checkForUpdates)
{
    updateTo.setVisible(false);
    QObject::connect(&checkForUpdates, &QAction::triggered, &model,
                     [&model] { QMetaObject::invokeMethod(&model, "checkForUpdatesManually"); });
    QObject::connect(&updateTo, &QAction::triggered, &model,
                     [&model] { QMetaObject::invokeMethod(&model, "promptForUpdate"); });
}

} // namespace inkveil
