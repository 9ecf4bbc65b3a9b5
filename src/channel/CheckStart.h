#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace brimvolt {

namespace platform {
class CDialogs;
}

/**
 * A view's "Проверить напряжение": the cell named for the holder is taken at once, else asked
 * for with `question`; then `check` starts it. A refusal (`whyNot` first, then the check's own)
 * is told in a box. A check of the named cell leaves the view to empty its field.
 */
enum class CheckStarted { No, NamedCell, AskedCell };
CheckStarted StartVoltageCheck(platform::CDialogs& dialogs, QWidget* owner, const QString& named,
                               const QString& question, const std::function<QString()>& whyNot,
                               const std::function<QString(const QString&)>& check);

}  // namespace brimvolt
