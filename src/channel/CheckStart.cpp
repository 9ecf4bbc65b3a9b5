#include "channel/CheckStart.h"

#include <QCoreApplication>
#include <optional>

#include "platform/Dialogs.h"

namespace brimvolt {

CheckStarted StartVoltageCheck(platform::CDialogs& dialogs, QWidget* owner, const QString& named,
                               const QString& question, const std::function<QString()>& whyNot,
                               const std::function<QString(const QString&)>& check) {
    const QString caption = QCoreApplication::translate("CheckStart", "Проверка напряжения");
    QString refusal = whyNot();
    if (refusal.isEmpty()) {
        QString cell = named;
        if (cell.isEmpty()) {
            const std::optional<QString> typed = dialogs.AskText(owner, question, caption);
            if (!typed) {
                return CheckStarted::No;
            }
            cell = *typed;
        }
        refusal = check(cell);
        if (refusal.isEmpty()) {
            return named.isEmpty() ? CheckStarted::AskedCell : CheckStarted::NamedCell;
        }
    }
    dialogs.Message(owner, refusal, caption, platform::Buttons::Ok);
    return CheckStarted::No;
}

}  // namespace brimvolt
