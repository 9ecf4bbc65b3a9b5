#include "app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "platform/DialogTemplate.h"
#include "resources/Templates.h"

using namespace brimvolt;

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    const platform::DialogTemplate& dialogTemplate = resources::AboutTemplate();
    setWindowTitle(dialogTemplate.Shown(dialogTemplate.caption));
    setFont(platform::DialogFont());
    const platform::DialogBaseUnits units = platform::TemplateBaseUnits();
    const platform::BuiltControls controls = platform::BuildControls(this, dialogTemplate, units);
    for (qsizetype i = 0; i < dialogTemplate.controls.size(); ++i) {
        if ((dialogTemplate.controls[i].style & platform::kIcon) == 0) {
            continue;
        }
        // The icon keeps its own size at the template's position.
        for (QWidget* control : controls.unnamed) {
            auto* label = qobject_cast<QLabel*>(control);
            if (label != nullptr && label->text().isEmpty()) {
                label->setPixmap(resources::AppIcon().pixmap(32, 32));
                label->resize(32, 32);
                break;
            }
        }
    }
    if (auto* ok = qobject_cast<QPushButton*>(controls.byId.value(resources::kIdOk))) {
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        ok->setFocus();
    }
    setFixedSize(units.ToPixels(dialogTemplate.sizeDu));
}
