#pragma once

#include <QString>

class QApplication;
class QCoreApplication;

// What the program sets once on the application at start-up.
namespace ApplicationSetup {

// Loads Qt's own French texts (standard dialogs, buttons, context menus).
// False when the system's translation file is missing: Qt's texts stay in
// English and nothing else changes.
bool installQtFrench(QCoreApplication &app);

// The program's icon on every window, and its font: Liberation Sans, which
// has the widths of the Arial the window layouts were drawn with, at the
// original's 8 points.
void applyLook(QApplication &app);

// The program's picture (a resource of this library).
QString iconResource();

} // namespace ApplicationSetup
