#include <QApplication>

#include <gtest/gtest.h>

// The window tests need a QApplication; without a display they draw offscreen, on a screen of
// 1024 × 768.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM",
                QString(TARVEL_TEST_SCREEN).section(QLatin1Char('='), 1).toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
