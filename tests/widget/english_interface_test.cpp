#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTemporaryDir>
#include <QTranslator>
#include <functional>
#include <memory>

#include "FakeModulePorts.h"
#include "app/AboutDlg.h"
#include "app/BrimvoltDlg.h"
#include "curve/ColorsIni.h"
#include "curvefile/CurveFileWriter.h"
#include "curvefile/CurveFlows.h"
#include "link/Discovery.h"
#include "module/DisplayTexts.h"
#include "platform/DialogTemplate.h"
#include "platform/QtTranslation.h"
#include "resources/Templates.h"
#include "support/ScriptedDialogs.h"

namespace {

using brimvolt::platform::ControlKind;
using brimvolt::platform::DialogTemplate;

// The width a control leaves its text: a button's less its margin and frame, a check box's or
// radio button's less the indicator and the gap after it, a label's less its margins.
int TextRoom(const QWidget& control) {
    const QStyle& style = *control.style();
    if (qobject_cast<const QCheckBox*>(&control) != nullptr) {
        return control.width() - style.pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &control) -
               style.pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &control);
    }
    if (qobject_cast<const QRadioButton*>(&control) != nullptr) {
        return control.width() -
               style.pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, &control) -
               style.pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, &control);
    }
    if (qobject_cast<const QAbstractButton*>(&control) != nullptr) {
        return control.width() - style.pixelMetric(QStyle::PM_ButtonMargin, nullptr, &control) -
               2 * style.pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &control);
    }
    if (const auto* label = qobject_cast<const QLabel*>(&control)) {
        return label->contentsRect().width() - 2 * label->margin();
    }
    return control.width();
}

// Why text does not fit a room `room` pixels wide and `lines` lines high; empty when it does.
QString Misfit(const QFont& font, const QString& text, int room, int lines = 1) {
    const QFontMetrics metrics(font);
    for (const QString& word :
         text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        if (metrics.horizontalAdvance(word) > room) {
            return QStringLiteral("\"%1\": the word \"%2\" is %3 px wide, the room %4 px")
                .arg(text, word)
                .arg(metrics.horizontalAdvance(word))
                .arg(room);
        }
    }
    const int needed =
        metrics.boundingRect(QRect(0, 0, room, 100000), Qt::TextWordWrap, text).height() /
        metrics.lineSpacing();
    if (needed > lines) {
        return QStringLiteral("\"%1\" takes %2 lines in %3 px, the room %4")
            .arg(text)
            .arg(needed)
            .arg(room)
            .arg(lines);
    }
    return QString();
}

// The texts of a window built from a template that do not fit their controls: buttons on one
// line, statics on the lines the template gives them (eight dialog units each).
QStringList TemplateMisfits(const QWidget& window, const DialogTemplate& dialogTemplate,
                            QPoint origin) {
    const brimvolt::platform::DialogBaseUnits units = brimvolt::platform::TemplateBaseUnits();
    QStringList misfits;
    for (const brimvolt::platform::ControlSpec& entry : dialogTemplate.controls) {
        if (entry.text.isEmpty() ||
            (entry.kind != ControlKind::Static && entry.kind != ControlKind::Button)) {
            continue;
        }
        const QString text = dialogTemplate.Shown(entry.text);
        const QPoint at = units.ToPixels(entry.rectDu).topLeft() + origin;
        const QWidget* control = nullptr;
        for (const QWidget* child : window.findChildren<QWidget*>()) {
            const auto* label = qobject_cast<const QLabel*>(child);
            const auto* button = qobject_cast<const QAbstractButton*>(child);
            if (child->pos() == at && ((label != nullptr && label->text() == text) ||
                                       (button != nullptr && button->text() == text))) {
                control = child;
            }
        }
        if (control == nullptr) {
            misfits.append(
                QStringLiteral("no control shows \"%1\" where the template puts it").arg(text));
            continue;
        }
        const int lines =
            entry.kind == ControlKind::Button ? 1 : std::max(1, entry.rectDu.height() / 8);
        if (const QString why = Misfit(control->font(), text, TextRoom(*control), lines);
            !why.isEmpty()) {
            misfits.append(why);
        }
    }
    return misfits;
}

class EnglishInterface : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        previousFolder = QDir::currentPath();
        QDir::setCurrent(folder.path());
    }

    void TearDown() override { QDir::setCurrent(previousFolder); }

    static std::unique_ptr<QTranslator> English() {
        std::unique_ptr<QTranslator> english =
            brimvolt::platform::InstallProgramTranslation(QStringLiteral("en"));
        EXPECT_NE(english, nullptr) << "the English translation is not built in";
        return english;
    }

    QTemporaryDir folder;
    QString previousFolder;
};

TEST_F(EnglishInterface, EveryTextFitsItsControlInBothLanguages) {
    for (const bool english : {false, true}) {
        SCOPED_TRACE(english ? "en" : "ru");
        const std::unique_ptr<QTranslator> translation = english ? English() : nullptr;
        brimvolt::testing::FakePortSystem ports;
        brimvolt::testing::ScriptedDialogs dialogs;
        CBrimvoltDlg dlg(ports, dialogs);
        dlg.Create();
        dlg.pollTimer.stop();
        dlg.discoveryTimer.stop();

        const DialogTemplate& mainTemplate = brimvolt::resources::MainTemplate();
        const QPoint origin =
            dlg.Control(1004)->pos() - brimvolt::platform::TemplateBaseUnits()
                                           .ToPixels(mainTemplate.controls[0].rectDu)
                                           .topLeft();
        QStringList misfits = TemplateMisfits(dlg, mainTemplate, origin);

        // The texts the buttons take while the module runs and holds a resistance reading.
        brimvolt::StatusRecord status{};
        status.statusFlags = brimvolt::flags::kRunning | brimvolt::flags::kRinHeld;
        const brimvolt::PollTexts running = brimvolt::ComposePollTexts(status, 1);
        for (const auto& [id, text] :
             {std::pair{1007, running.startButtonText}, std::pair{1021, running.rinButtonText}}) {
            const QWidget& button = *dlg.Control(id);
            if (const QString why = Misfit(button.font(), text, TextRoom(button)); !why.isEmpty()) {
                misfits.append(why);
            }
        }
        // Parameter rows are cut at the list's edge, where three of the Russian names always were.
        const QList<int> lists = english ? QList<int>{1001, 1003} : QList<int>{};
        for (const int id : lists) {
            const auto& list = *qobject_cast<QListWidget*>(dlg.Control(id));
            const int room = list.viewport()->width() -
                             2 * (list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
            for (int row = 0; row < list.count(); ++row) {
                if (const QString why = Misfit(list.font(), list.item(row)->text(), room);
                    !why.isEmpty()) {
                    misfits.append(why);
                }
            }
        }
        // The discovery messages wrap inside the display block.
        for (const auto result : {brimvolt::FindResult::NoPort, brimvolt::FindResult::NoModule}) {
            const QString message = brimvolt::DiscoveryMessage(result);
            const int lines =
                dlg.displayTextRect.height() / QFontMetrics(dlg.displayFont).lineSpacing();
            if (const QString why =
                    Misfit(dlg.displayFont, message, dlg.displayTextRect.width(), lines);
                !why.isEmpty()) {
                misfits.append(why);
            }
        }
        // The menu bar keeps both commands in sight, none pushed into an overflow button.
        for (QAction* action : dlg.MenuBar()->actions()) {
            if (!dlg.MenuBar()->rect().contains(dlg.MenuBar()->actionGeometry(action))) {
                misfits.append(QStringLiteral("the menu command \"%1\" is out of the bar")
                                   .arg(action->text()));
            }
        }

        CAboutDlg about(&dlg);
        misfits += TemplateMisfits(about, brimvolt::resources::AboutTemplate(), QPoint());
        EXPECT_TRUE(misfits.isEmpty()) << misfits.join(QLatin1Char('\n')).toStdString();
    }
}

TEST_F(EnglishInterface, DisplayLinesKeepSixteenCharacters) {
    const std::unique_ptr<QTranslator> english = English();
    for (int temperature = 0; temperature <= 255; ++temperature) {
        const QString line = brimvolt::TemperatureText(static_cast<std::uint8_t>(temperature));
        EXPECT_EQ(line.size(), 16) << line.toStdString();
        EXPECT_TRUE(line.startsWith(QStringLiteral("Temperature:"))) << line.toStdString();
    }
}

// What the program writes keeps its Russian keys and captions whatever the interface speaks.
TEST_F(EnglishInterface, FilesAreTheSameBytesInBothLanguages) {
    const auto writeAll = [](const QString& into) {
        QDir().mkpath(into);
        brimvolt::ReadOrCreateColorsIni(into);
        for (const int charge : {0, 1}) {
            brimvolt::CurveStore store;
            store.chargeCurve = charge;
            store.curveCapacityText = QStringLiteral("1.234Ah");
            store.headerHours = 1;
            store.headerMinutes = 2;
            store.headerSeconds = 3;
            store.lastIndex = -1;
            for (const std::uint16_t mv : {4100, 4050, 3990}) {
                store.Append(store.lastIndex + 1, mv);
            }
            store.durationSeconds = 2;
            brimvolt::Autosave(store, into + QLatin1Char('/'));
            brimvolt::testing::ScriptedDialogs dialogs;
            dialogs.paths.push_back(into + (charge ? "/saved.zar" : "/saved.raz"));
            brimvolt::CurveWindowContext context{
                store, dialogs, nullptr, into + QLatin1Char('/'), {}};
            brimvolt::SaveCurve(context);
            EXPECT_TRUE(dialogs.messages.isEmpty());
        }
    };
    const QString russian = folder.filePath(QStringLiteral("ru"));
    const QString english = folder.filePath(QStringLiteral("en"));
    writeAll(russian);
    {
        const std::unique_ptr<QTranslator> translation = English();
        writeAll(english);
    }
    const QStringList names = QDir(russian).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(names, (QStringList{"Colors.ini", "saved.raz", "saved.zar", "temp.raz", "temp.zar"}));
    EXPECT_EQ(QDir(english).entryList(QDir::Files, QDir::Name), names);
    for (const QString& name : names) {
        QFile a(russian + QLatin1Char('/') + name);
        QFile b(english + QLatin1Char('/') + name);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        EXPECT_EQ(a.readAll(), b.readAll()) << name.toStdString();
    }
}

}  // namespace
