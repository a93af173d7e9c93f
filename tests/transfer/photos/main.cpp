// The photos tests draw thumbnails and drive the pane's widgets: a
// QApplication must exist (offscreen, as ctest sets it) before any test runs.

#include "filesafety/prthumbnailer.h"

#include <QApplication>

#include <gtest/gtest.h>

// Movie thumbnails run Qt Multimedia's FFmpeg backend, which keeps the
// option dictionary of each decoder it opens and probes hardware decoders by
// loading and unloading their drivers: FFmpeg's and the system's memory, not
// this program's. The checker is told so, and not to walk the thread-local
// storage of the unloaded drivers (it crashes at exit on it).
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libavutil.so\nleak:libglib-2.0.so\nleak:_dlerror_run\nleak:_dl_exception_create\nleak:libpulse.so\n";
}

extern "C" const char *__lsan_default_options()
{
    return "use_tls=0";
}

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
