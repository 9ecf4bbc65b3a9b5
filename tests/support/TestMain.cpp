#include <gtest/gtest.h>

#include <QApplication>

// Every suite runs with a real QApplication on the offscreen platform, so widget tests and
// plain ones share one main and none needs a display.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
