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
 * The name a save proposes: the capacity text (or "Безымянный") with the curve's extension,
 * without spaces or anything else that cannot stand in a file name.
 */
QString ProposedCurveFileName(const QString& capacityText, bool chargeCurve);

}  // namespace brimvolt
