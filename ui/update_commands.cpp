#include "ui/update_commands.h"

#include "app/app_model.h"

#include <QAction>

namespace inkveil {

namespace {

// The model's update prompts, reached only where the model has them, so the
// menu builds against a model with or without them.
template <typename Model>
void checkManually(Model& model)
{
    if constexpr (requires { model.checkForUpdatesManually(); })
        model.checkForUpdatesManually();
}

template <typename Model>
void promptForUpdate(Model& model)
{
    if constexpr (requires { model.promptForUpdate(); })
        model.promptForUpdate();
}

// "Update to 2.1…" while an update is offered; hidden otherwise.
void showOffer(const AppModel& model, QAction& updateTo)
{
    const auto& offer = model.availableUpdate();
    updateTo.setVisible(offer.has_value());
    updateTo.setText(offer ? QStringLiteral("Update to ") + offer->version + QStringLiteral("\u2026") : QString());
}

} // namespace

void connectUpdateCommands(AppModel& model, QAction& updateTo, QAction& checkForUpdates)
{
    QObject::connect(&checkForUpdates, &QAction::triggered, &model, [&model] { checkManually(model); });
    QObject::connect(&updateTo, &QAction::triggered, &model, [&model] { promptForUpdate(model); });
    QObject::connect(&model, &AppModel::availableUpdateChanged, &updateTo,
                     [&model, &updateTo] { showOffer(model, updateTo); });
    showOffer(model, updateTo);
}

} // namespace inkveil
