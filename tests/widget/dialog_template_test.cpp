#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <set>

#include "platform/DialogTemplate.h"
#include "resources/Templates.h"

using namespace brimvolt::platform;
namespace resources = brimvolt::resources;

namespace {

TEST(DialogUnits, ConvertEdgesSoNeighboursMeet) {
    const DialogBaseUnits units{6, 13};
    struct Case {
        QRect du;
        QRect px;
    };
    const Case cases[] = {
        {QRect(0, 0, 320, 200), QRect(0, 0, 480, 325)},
        {QRect(262, 72, 50, 16), QRect(393, 117, 75, 26)},
        // 13 / 8 is not whole: the edges round down, so the second static starts where the
        // first ends although each height alone would round differently.
        {QRect(164, 56, 24, 8), QRect(246, 91, 36, 13)},
        {QRect(164, 64, 24, 8), QRect(246, 104, 36, 13)},
        {QRect(44, 8, 118, 13), QRect(66, 13, 177, 21)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(units.ToPixels(c.du), c.px) << c.du.x() << "," << c.du.y();
    }
    EXPECT_EQ(units.ToPixels(QSize(260, 96)), QSize(390, 156));
}

TEST(UpDown, StepsOneAtATimeAndStopsAtTheEnds) {
    QWidget parent;
    CUpDown vertical(Qt::Vertical, &parent);
    vertical.SetRange(1, 8);
    vertical.SetPos(7);
    QSignalSpy spy(&vertical, &CUpDown::Scrolled);

    vertical.Step(+1);
    vertical.Step(+1);  // already at the top: reported again, not moved
    vertical.Step(-1);
    ASSERT_EQ(spy.size(), 3);
    EXPECT_EQ(spy[0][1].toInt(), 8);
    EXPECT_EQ(spy[1][1].toInt(), 8);
    EXPECT_EQ(spy[2][1].toInt(), 7);
    for (const QList<QVariant>& args : spy) {
        EXPECT_EQ(args[0].toInt(), CUpDown::kThumbPosition);
    }

    vertical.SetPos(500);
    EXPECT_EQ(vertical.GetPos(), 8);
    vertical.SetRange(20, 70);
    EXPECT_EQ(vertical.GetPos(), 20) << "a new range pulls the position in";

    CUpDown reversed(Qt::Horizontal, &parent);
    reversed.SetRange(10, 0);
    reversed.SetPos(5);
    reversed.Step(+1);
    EXPECT_EQ(reversed.GetPos(), 4) << "a reversed range counts down on the raising arrow";
}

TEST(UpDown, ArrowButtonsAndKeysMoveIt) {
    QWidget parent;
    CUpDown horizontal(Qt::Horizontal, &parent);
    horizontal.SetRange(0, 1);
    horizontal.SetPos(1);
    horizontal.resize(24, 24);
    const QList<QToolButton*> arrows = horizontal.findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    QToolButton* left = arrows[0]->arrowType() == Qt::LeftArrow ? arrows[0] : arrows[1];
    left->click();
    EXPECT_EQ(horizontal.GetPos(), 0);
    QTest::keyClick(&horizontal, Qt::Key_Right);
    EXPECT_EQ(horizontal.GetPos(), 1);

    CUpDown vertical(Qt::Vertical, &parent);
    QLineEdit buddy(&parent);
    vertical.SetRange(0, 30);
    vertical.SetPos(10);
    vertical.SetBuddy(&buddy);
    QTest::keyClick(&buddy, Qt::Key_Up);
    QTest::keyClick(&buddy, Qt::Key_Up);
    QTest::keyClick(&buddy, Qt::Key_Down);
    EXPECT_EQ(vertical.GetPos(), 11);
    QTest::keyClick(&buddy, Qt::Key_5);
    EXPECT_EQ(buddy.text(), "5") << "other keys still reach the edit";
}

TEST(MainTemplate, HoldsEveryControlOnceInTabOrder) {
    const DialogTemplate& main = resources::MainTemplate();
    EXPECT_EQ(main.sizeDu, QSize(320, 200));
    EXPECT_EQ(main.caption, "Brimvolt - Измеритель емкости (Версия 6.3 Моя)");
    std::set<int> ids;
    int unnamed = 0;
    for (const ControlSpec& entry : main.controls) {
        if (entry.id == kUnnamedId) {
            ++unnamed;
        } else {
            EXPECT_TRUE(ids.insert(entry.id).second) << "twice: " << entry.id;
        }
    }
    const std::set<int> expected = {2,    1000, 1001, 1002, 1003, 1004, 1006, 1007, 1008,
                                    1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017, 1018,
                                    1019, 1020, 1021, 1022, 1023, 1024, 1028, 1032, 1034};
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(unnamed, 10);

    QWidget dialog;
    const BuiltControls built = BuildControls(&dialog, main, TemplateBaseUnits());
    QList<int> focusOrder;
    for (QWidget* w : built.tabOrder) {
        focusOrder.append(built.byId.key(w, kUnnamedId));
    }
    EXPECT_EQ(focusOrder,
              (QList<int>{1004, 1007, 2, 1022, 1000, 1001, 1002, 1021, 1003, 1023, 1028}));
}

TEST(MainTemplate, BuildsTheKindsAndStylesItNames) {
    QWidget dialog;
    const BuiltControls built =
        BuildControls(&dialog, resources::MainTemplate(), TemplateBaseUnits(), QPoint(0, 20));
    auto* combo = qobject_cast<QComboBox*>(built.byId.value(1000));
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(combo->insertPolicy(), QComboBox::NoInsert);
    EXPECT_NE(qobject_cast<QListWidget*>(built.byId.value(1003)), nullptr);
    auto* edit = qobject_cast<QLineEdit*>(built.byId.value(1002));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    auto* value = qobject_cast<QLabel*>(built.byId.value(1013));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(value->geometry(), QRect(246, 20 + 130, 36, 13)) << "shifted by the origin";
    auto* spin = qobject_cast<CUpDown*>(built.byId.value(1034));
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->Orientation(), Qt::Horizontal);
    EXPECT_EQ(qobject_cast<CUpDown*>(built.byId.value(1032))->Orientation(), Qt::Vertical);
    for (int id : {2, 1004, 1007, 1021, 1022, 1023, 1028}) {
        auto* button = qobject_cast<QPushButton*>(built.byId.value(id));
        ASSERT_NE(button, nullptr) << id;
        EXPECT_FALSE(button->isDefault()) << "no default push button: " << id;
    }
    EXPECT_EQ(qobject_cast<QPushButton*>(built.byId.value(1007))->text(), "Пуск");
}

TEST(Resources, AboutBoxMenuAndIcon) {
    const DialogTemplate& about = resources::AboutTemplate();
    EXPECT_EQ(about.caption, "О программе");
    EXPECT_EQ(about.sizeDu, QSize(260, 96));
    QWidget dialog;
    const BuiltControls built = BuildControls(&dialog, about, TemplateBaseUnits());
    auto* ok = qobject_cast<QPushButton*>(built.byId.value(resources::kIdOk));
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());

    EXPECT_EQ(resources::CurveTemplate().caption, "Разрядная кривая");
    EXPECT_TRUE(resources::CurveTemplate().controls.isEmpty());

    const QList<resources::MenuCommand>& menu = resources::MainMenu();
    ASSERT_EQ(menu.size(), 4);
    EXPECT_EQ(menu[0].id, 57664);
    EXPECT_EQ(menu[1].id, 32775);
    EXPECT_EQ(menu[2].id, resources::kIdJournal);
    EXPECT_EQ(menu[3].id, resources::kIdTestProgram);

    EXPECT_FALSE(resources::AppIcon().pixmap(32, 32).isNull());
    EXPECT_FALSE(resources::AppIcon().pixmap(16, 16).isNull());
}

}  // namespace
