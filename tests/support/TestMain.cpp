#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// Every suite runs with a real QApplication on the offscreen platform, so widget tests and
// plain ones share one main and none needs a display.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
