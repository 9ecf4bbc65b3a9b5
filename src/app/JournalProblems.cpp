#include "app/JournalProblems.h"

#include <QCoreApplication>

#include "platform/Dialogs.h"

namespace brimvolt {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(CBrimvoltDlg)
};

}  // namespace

void CJournalProblems::Tell(QWidget* parent, const QString& text) {
    // A retry that fails the same way says nothing new; a box already open is answered first.
    if (stopped || told.contains(text)) {
        return;
    }
    told.insert(text);
    waiting.push_back(text);
    if (telling) {
        return;
    }
    telling = true;
    while (!waiting.empty() && !stopped) {
        const QString next = waiting.front();
        waiting.pop_front();
        dialogs.Message(parent, next, Text::tr("Журнал испытаний"), platform::Buttons::Ok);
    }
    telling = false;
}

}  // namespace brimvolt
