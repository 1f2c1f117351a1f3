#pragma once

class QAction;

namespace inkveil {

class AppModel;

// Binds the Help menu's update items to the model's update prompts:
// "Update to <version>…" shown only while an update is offered, and
// "Check for Updates…" whenever the build can verify updates. Neither is ever
// disabled.
void connectUpdateCommands(AppModel& model, QAction& updateTo, QAction& checkForUpdates);

} // namespace inkveil
