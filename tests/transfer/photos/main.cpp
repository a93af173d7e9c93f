// The photos tests draw thumbnails and drive the pane's widgets: a
// QApplication must exist (offscreen, as ctest sets it) before any test runs.

#include "results/prthumbnailer.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Movie thumbnails go through Qt Multimedia, which reads the choice early.
    preferFFmpegBackend();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
