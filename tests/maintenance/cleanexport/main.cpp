#include <QGuiApplication>

#include <gtest/gtest.h>

// The previews and exports run as device jobs, which hand their results over
// through the application's event loop; gtest_main is not used.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
