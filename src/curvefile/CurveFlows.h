#pragma once

#include <QString>
#include <functional>

#include "platform/Dialogs.h"
#include "plot/CurveStore.h"

class QWidget;

namespace brimvolt {

/** What the save and load commands of the curve window work on. */
struct CurveWindowContext {
    CurveStore& store;
    platform::CDialogs& dialogs;
    QWidget* owner;
    QString dataFolder;  // with trailing '/': where the file dialogs start
    std::function<void(const QString&)> setTitle;
};

/** "Сохранить в файле": asks for a name and writes the curve there. */
void SaveCurve(CurveWindowContext& context);

/**
 * "Загрузить из файла": asks for a file and replaces the curve with the one it holds. True when
 * the curve was replaced (the caller repaints); a failed load changes nothing.
 */
bool LoadCurve(CurveWindowContext& context);

/**
 * The second half of "Загрузить из файла", for a file named elsewhere (the command line): reads
 * the curve at `path` and replaces the window's one with it, telling the operator as a load
 * does when the file cannot be read.
 */
bool LoadCurveFile(CurveWindowContext& context, const QString& path);

/**
 * Before a curve replaces the window's one during a run, the operator is warned as before a
 * load; false when they cancel.
 */
bool ConfirmCurveReplace(CurveWindowContext& context);

/**
 * Puts a curve read elsewhere (a file, the journal) into the window's store as a load does:
 * the points, length and capacity; `loaded` gets the store's old arrays.
 */
void TakeCurve(CurveWindowContext& context, CurveStore& loaded, const QString& fileName,
               const QString& title);

/** The window's title for a curve named `name`. */
QString CurveTitle(bool charge, const QString& name);

/** The file dialogs' types of discharge (.raz) and charge (.zar) curves. */
platform::FileFilter DischargeFilter();
platform::FileFilter ChargeFilter();

/** The text without spaces or anything else that cannot stand in a file name. */
QString WithoutNameBreakers(const QString& text);

/**
 * The name a save proposes: the capacity text (or "Безымянный") with the curve's extension,
 * without spaces or anything else that cannot stand in a file name.
 */
QString ProposedCurveFileName(const QString& capacityText, bool chargeCurve);

}  // namespace brimvolt
