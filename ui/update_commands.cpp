#include "ui/update_commands.h"

#include "app/app_model.h"

#include <QAction>

namespace inkveil {

void connectUpdateCommands(AppModel& model, QAction& updateTo, QAction& checkForUpdates)
{
    QObject::connect(&checkForUpdates, &QAction::triggered, &model, [&model] { model.checkForUpdatesManually(); });
    QObject::connect(&updateTo, &QAction::triggered, &model, [&model] { model.promptForUpdate(); });
    const auto showOffer = [&model, &updateTo] {
        updateTo.setText(model.updateMenuTitle());
        updateTo.setVisible(model.availableUpdate().has_value());
    };
    QObject::connect(&model, &AppModel::availableUpdateChanged, &updateTo, showOffer);
    showOffer();
    // A build that could verify no update offers none.
    checkForUpdates.setVisible(model.updatesEnabled());
}

} // namespace inkveil
