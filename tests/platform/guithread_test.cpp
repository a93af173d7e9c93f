#include "tests/support/qtprinters.h"

#include "platform/guithread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <thread>

TEST(GuiThread, WorkerCallsRunOnTheApplicationThreadAndWait)
{
    int argc = 1;
    char name[] = "test";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const std::thread::id gui = std::this_thread::get_id();

    std::thread::id ranOn;
    int order = 0, ranAt = 0, returnedAt = 0;
    std::thread worker([&] {
        EXPECT_FALSE(isGuiThread());
        runOnGuiThreadAndWait([&] {
            ranOn = std::this_thread::get_id();
            ranAt = ++order;
        });
        returnedAt = ++order;
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QTimer::singleShot(10000, &app, &QCoreApplication::quit); // never hang the suite
    app.exec();
    worker.join();

    EXPECT_EQ(ranOn, gui);
    EXPECT_EQ(ranAt, 1);
    EXPECT_EQ(returnedAt, 2) << "the caller waits for the call to finish";

    // On the GUI thread itself the call runs at once.
    bool direct = false;
    runOnGuiThreadAndWait([&] { direct = true; });
    EXPECT_TRUE(direct);
    EXPECT_TRUE(isGuiThread());
}
