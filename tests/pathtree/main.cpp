#include <QGuiApplication>

#include <gtest/gtest.h>

// The models make icons (pixmaps), which need a GUI application; no window
// is ever shown, so the offscreen platform does.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
