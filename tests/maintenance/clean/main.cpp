#include <QGuiApplication>

#include <gtest/gtest.h>

// The results' models and the scan's queued hand-overs need an application
// and its event loop; gtest_main is not used.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
