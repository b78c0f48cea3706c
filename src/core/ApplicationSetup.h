#pragma once

class QApplication;
class QCoreApplication;

// What the program sets once on the application at start-up.
namespace ApplicationSetup {

// Loads Qt's own French texts (standard dialogs, buttons, context menus).
// False when the system's translation file is missing: Qt's texts stay in
// English and nothing else changes.
bool installQtFrench(QCoreApplication &app);

} // namespace ApplicationSetup
