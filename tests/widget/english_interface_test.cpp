#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>

#include "FakeModulePorts.h"
#include "app/AboutDlg.h"
#include "app/BrimvoltDlg.h"
#include "curve/ColorsIni.h"
#include "curvefile/CurveFileWriter.h"
#include "curvefile/CurveFlows.h"
#include "journalview/CompareDlg.h"
#include "journalview/JournalDlg.h"
#include "link/Discovery.h"
#include "module/DisplayTexts.h"
#include "platform/QtTranslation.h"
#include "resources/Templates.h"
#include "support/ScriptedDialogs.h"

namespace {

using brimvolt::platform::ControlKind;
using brimvolt::platform::DialogTemplate;

// The width a control leaves its text: a button's less margin and frame, a check box's or radio
// button's less the indicator and the gap after it.
int TextRoom(const QWidget& control) {
    const auto metric = [&](QStyle::PixelMetric m) {
        return control.style()->pixelMetric(m, nullptr, &control);
    };
    if (qobject_cast<const QCheckBox*>(&control) != nullptr) {
        return control.width() - metric(QStyle::PM_IndicatorWidth) -
               metric(QStyle::PM_CheckBoxLabelSpacing);
    }
    if (qobject_cast<const QRadioButton*>(&control) != nullptr) {
        return control.width() - metric(QStyle::PM_ExclusiveIndicatorWidth) -
               metric(QStyle::PM_RadioButtonLabelSpacing);
    }
    if (qobject_cast<const QAbstractButton*>(&control) != nullptr) {
        return control.width() - metric(QStyle::PM_ButtonMargin) -
               2 * metric(QStyle::PM_DefaultFrameWidth);
    }
    return control.contentsRect().width();
}

// Appends to misfits why text does not fit `room` pixels across on `lines` lines, if it does not.
void CheckFits(QStringList& misfits, const QFont& font, const QString& text, int room,
               int lines = 1) {
    const QFontMetrics metrics(font);
    for (const QString& word : text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts)) {
        if (metrics.horizontalAdvance(word) > room) {
            misfits.append(QString("\"%1\": \"%2\" is wider than %3 px").arg(text, word).arg(room));
        }
    }
    const QRect wrapped = metrics.boundingRect(QRect(0, 0, room, 100000), Qt::TextWordWrap, text);
    if (wrapped.height() / metrics.lineSpacing() > lines) {
        misfits.append(
            QString("\"%1\" needs more than %2 lines of %3 px").arg(text).arg(lines).arg(room));
    }
}

// Buttons keep to one line; statics to the lines the template gives them, eight units each.
void CheckTemplate(QStringList& misfits, const QWidget& window, const DialogTemplate& t,
                   QPoint origin) {
    for (const brimvolt::platform::ControlSpec& entry : t.controls) {
        if (entry.text.isEmpty() || entry.kind == ControlKind::Edit) {
            continue;
        }
        const QString text = t.Shown(entry.text);
        const QPoint at = brimvolt::platform::TemplateBaseUnits().ToPixels(entry.rectDu).topLeft();
        const QWidget* control = nullptr;
        for (const QWidget* child : window.findChildren<QWidget*>()) {
            const auto* label = qobject_cast<const QLabel*>(child);
            const auto* button = qobject_cast<const QAbstractButton*>(child);
            if (child->pos() == at + origin && (label    ? label->text()
                                                : button ? button->text()
                                                         : QString()) == text) {
                control = child;
            }
        }
        if (control == nullptr) {
            misfits.append(QString("\"%1\" is not where the template puts it").arg(text));
            continue;
        }
        const bool button = entry.kind == ControlKind::Button;
        CheckFits(misfits, control->font(), text, TextRoom(*control),
                  button ? 1 : std::max(1, entry.rectDu.height() / 8));
    }
}

// The buttons of a window that lays itself out, as it shows.
void CheckButtons(QStringList& misfits, QWidget& window) {
    window.show();
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (button->isVisible() && !button->text().isEmpty()) {
            CheckFits(misfits, button->font(), button->text(), TextRoom(*button));
        }
    }
}

class EnglishInterface : public ::testing::Test {
protected:
    void SetUp() override { QDir::setCurrent(folder.path()); }
    void TearDown() override { QDir::setCurrent(previousFolder); }

    static std::unique_ptr<QTranslator> English() {
        auto english = brimvolt::platform::InstallProgramTranslation(QStringLiteral("en"));
        EXPECT_NE(english, nullptr) << "the English translation is not built in";
        return english;
    }

    QTemporaryDir folder;
    QString previousFolder = QDir::currentPath();
};

TEST_F(EnglishInterface, EveryTextFitsItsControl) {
    const std::unique_ptr<QTranslator> english = English();
    brimvolt::testing::FakePortSystem ports;
    brimvolt::testing::ScriptedDialogs dialogs;
    CBrimvoltDlg dlg(ports, dialogs);
    dlg.Create();
    dlg.Channel().pollTimer.stop();
    dlg.Channel().discoveryTimer.stop();
    const DialogTemplate& main = brimvolt::resources::MainTemplate();
    QStringList misfits;
    CheckTemplate(
        misfits, dlg, main,
        dlg.Control(1004)->pos() -
            brimvolt::platform::TemplateBaseUnits().ToPixels(main.controls[0].rectDu).topLeft());
    CAboutDlg about(&dlg);
    CheckTemplate(misfits, about, brimvolt::resources::AboutTemplate(), QPoint());
    dlg.OnJournal();
    CheckButtons(misfits, *dlg.JournalWindow());
    CCompareDlg compare(dialogs);
    compare.Create(&dlg, folder.path(), {});
    CheckButtons(misfits, compare);

    // What the buttons say while a run goes on and a resistance reading is held.
    brimvolt::StatusRecord status{};
    status.statusFlags = brimvolt::flags::kRunning | brimvolt::flags::kRinHeld;
    const brimvolt::PollTexts running = brimvolt::ComposePollTexts(status, 1);
    CheckFits(misfits, dlg.font(), running.startButtonText, TextRoom(*dlg.Control(1007)));
    CheckFits(misfits, dlg.font(), running.rinButtonText, TextRoom(*dlg.Control(1021)));
    for (const int id : {1001, 1003}) {
        const auto& list = *qobject_cast<QListWidget*>(dlg.Control(id));
        const int room = list.viewport()->width() -
                         2 * (list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
        for (int row = 0; row < list.count(); ++row) {
            CheckFits(misfits, list.font(), list.item(row)->text(), room);
        }
    }
    for (const auto result : {brimvolt::FindResult::NoPort, brimvolt::FindResult::NoModule}) {
        CheckFits(misfits, dlg.displayFont, brimvolt::DiscoveryMessage(result),
                  dlg.displayTextRect.width(),
                  dlg.displayTextRect.height() / QFontMetrics(dlg.displayFont).lineSpacing());
    }
    for (QAction* action : dlg.MenuBar()->actions()) {
        if (!dlg.MenuBar()->rect().contains(dlg.MenuBar()->actionGeometry(action))) {
            misfits.append(QString("the menu command \"%1\" is out of sight").arg(action->text()));
        }
    }
    for (int temperature = 0; temperature <= 255; temperature += 5) {
        const QString line = brimvolt::TemperatureText(static_cast<std::uint8_t>(temperature));
        EXPECT_TRUE(line.size() == 16 && line.startsWith("Temperature:")) << line.toStdString();
    }
    EXPECT_TRUE(misfits.isEmpty()) << misfits.join('\n').toStdString();
}

// The files keep their Russian keys and captions whatever the interface speaks.
TEST_F(EnglishInterface, FilesAreTheSameBytesInBothLanguages) {
    const auto writeAll = [](const QString& into) {
        QDir().mkpath(into);
        brimvolt::ReadOrCreateColorsIni(into);
        for (const int charge : {0, 1}) {
            brimvolt::CurveStore store;
            store.chargeCurve = charge;
            store.curveCapacityText = QStringLiteral("1.234Ah");
            store.lastIndex = -1;
            for (const std::uint16_t mv : {4100, 4050, 3990}) {
                store.Append(store.lastIndex + 1, mv);
            }
            store.durationSeconds = 3723;
            brimvolt::Autosave(store, into + '/');
            brimvolt::testing::ScriptedDialogs dialogs;
            dialogs.paths.push_back(into + (charge ? "/saved.zar" : "/saved.raz"));
            brimvolt::CurveWindowContext context{store, dialogs, nullptr, into + '/', {}};
            brimvolt::SaveCurve(context);
        }
        return QDir(into).entryList(QDir::Files, QDir::Name);
    };
    const QStringList names = writeAll(folder.filePath("ru"));
    {
        const std::unique_ptr<QTranslator> english = English();
        EXPECT_EQ(writeAll(folder.filePath("en")), names);
    }
    EXPECT_EQ(names, (QStringList{"Colors.ini", "saved.raz", "saved.zar", "temp.raz", "temp.zar"}));
    for (const QString& name : names) {
        QFile russian(folder.filePath("ru/" + name));
        QFile english(folder.filePath("en/" + name));
        ASSERT_TRUE(russian.open(QIODevice::ReadOnly) && english.open(QIODevice::ReadOnly));
        EXPECT_EQ(russian.readAll(), english.readAll()) << name.toStdString();
    }
}

}  // namespace
