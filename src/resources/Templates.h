#pragma once

#include <QIcon>
#include <QList>
#include <QString>

#include "platform/DialogTemplate.h"

namespace brimvolt::resources {

constexpr int kAboutTemplate = 100;
constexpr int kMainTemplate = 102;
constexpr int kMainMenu = 129;
constexpr int kCurveTemplate = 130;
constexpr int kAppIcon = 128;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAppAbout = 57664;
constexpr int kIdShowHideCurve = 32775;
constexpr int kIdJournal = 32776;
constexpr int kIdTestProgram = 32777;
constexpr int kIdCheckVoltage = 32778;

/** The main window: 320 × 200 dialog units, its controls in tab order. */
const platform::DialogTemplate& MainTemplate();
/** The About box. */
const platform::DialogTemplate& AboutTemplate();
/** The curve window: a caption and no controls. */
const platform::DialogTemplate& CurveTemplate();

/** A command of a menu bar's top level. */
struct MenuCommand {
    int id;
    QString text;
};
/** Menu 129: three commands with no drop-down menus, in the interface's language. */
QList<MenuCommand> MainMenu();
/**
 * The drop-down of the menu's "Программа": the test program's window, and a voltage check of the
 * cell in the holder. The bar has no room for another command.
 */
QList<MenuCommand> ProgramMenu();

/** Icon 128: a small battery, at the sizes a window and the task bar use. */
QIcon AppIcon();

}  // namespace brimvolt::resources
