// The sidebar's spinners while a device page loads its content, and the row
// buttons that the end of a load enables.

#include "app/veldruneappdelegate.h"

#include "platform/guithread.h"
#include "platform/notificationcenter.h"

#include <QProgressBar>
#include <QPushButton>

#include <cstring>
#include <functional>
#include <initializer_list>

namespace {

// Runs fn on the GUI thread: at once when already there, else queued behind
// what the thread has to do. A page's worker never waits for the window, so
// a load cannot stall on a busy (or quitting) GUI thread. Queued calls keep
// their order, so a start posted before a finish is shown before it.
void onGuiThread(QObject *context, std::function<void()> fn)
{
    if (isGuiThread())
        fn();
    else
        QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
}

void startSpinners(std::initializer_list<QProgressBar *> spinners)
{
    for (QProgressBar *bar : spinners) {
        if (!bar)
            continue;
        // An empty range is the busy animation.
        bar->setRange(0, 0);
        bar->show();
    }
}

void stopSpinners(std::initializer_list<QProgressBar *> spinners)
{
    for (QProgressBar *bar : spinners) {
        if (!bar)
            continue;
        bar->hide();
        bar->setRange(0, 1);
        bar->reset();
    }
}

} // namespace

QPushButton *VeldruneAppDelegate::rowButton(const char *name) const
{
    const auto &table = sidebarRows();
    for (size_t i = 0; i < table.size(); ++i)
        if (std::strcmp(table[i].button, name) == 0)
            return rows[i].button;
    return nullptr;
}

void VeldruneAppDelegate::finishRows(std::initializer_list<QProgressBar *> spinners,
                                     std::initializer_list<const char *> buttons)
{
    stopSpinners(spinners);
    for (const char *name : buttons)
        if (QPushButton *b = rowButton(name))
            b->setEnabled(true);
}

// --- Loads that report their start directly and their end by notification --

void VeldruneAppDelegate::SystemlibhasStartHandle()
{
    onGuiThread(this, [this] { SystemlibhasStartHandleOnMain(); });
}

void VeldruneAppDelegate::SystemlibhasStartHandleOnMain()
{
    startSpinners({circleSystemProgress});
}

void VeldruneAppDelegate::AppScanhasStartHandle()
{
    onGuiThread(this, [this] { AppScanhasStartHandleOnMain(); });
}

void VeldruneAppDelegate::AppScanhasStartHandleOnMain()
{
    startSpinners({circleAppProgress});
}

void VeldruneAppDelegate::photoScanhasStartHandle()
{
    onGuiThread(this, [this] { photoScanhasStartHandleOnMain(); });
}

void VeldruneAppDelegate::photoScanhasStartHandleOnMain()
{
    startSpinners({circlePhotoProgress});
}

void VeldruneAppDelegate::musicScanhasStartHandle()
{
    onGuiThread(this, [this] { musicScanhasStartHandleOnMain(); });
}

void VeldruneAppDelegate::musicScanhasStartHandleOnMain()
{
    // One load brings the music and the videos.
    startSpinners({circleMusicProgress, circleVideoProgress});
}

void VeldruneAppDelegate::SystemlibhasFinishedHandle(const Notification &)
{
    onGuiThread(this, [this] { finishRows({circleSystemProgress}, {"systemlibBtn"}); });
}

void VeldruneAppDelegate::AppScanFinishedHandle(const Notification &)
{
    onGuiThread(this, [this] { finishRows({circleAppProgress}, {"appBtn"}); });
}

void VeldruneAppDelegate::photoScanFinishedHandle(const Notification &)
{
    onGuiThread(this, [this] { finishRows({circlePhotoProgress}, {"photoBtn"}); });
}

void VeldruneAppDelegate::musicScanFinishedHandle(const Notification &)
{
    onGuiThread(this,
                [this] { finishRows({circleMusicProgress, circleVideoProgress}, {"musicBtn", "videoBtn"}); });
}

// --- The transfer page's contacts, messages and notes -----------------------

void VeldruneAppDelegate::contactScanhasStartHandle()
{
    onGuiThread(this, [this] { startSpinners({circleContactProgress}); });
}

void VeldruneAppDelegate::contactScanFinishedHandle()
{
    onGuiThread(this, [this] { finishRows({circleContactProgress}, {"transContactBtn"}); });
}

void VeldruneAppDelegate::messageScanhasStartHandle()
{
    onGuiThread(this, [this] { startSpinners({circleMessageProgress}); });
}

void VeldruneAppDelegate::messageScanFinishedHandle()
{
    onGuiThread(this, [this] { finishRows({circleMessageProgress}, {"transMessageBtn"}); });
}

void VeldruneAppDelegate::noteScanhasStartHandle()
{
    onGuiThread(this, [this] { startSpinners({circleNoteProgress}); });
}

void VeldruneAppDelegate::noteScanFinishedHandle()
{
    onGuiThread(this, [this] { finishRows({circleNoteProgress}, {"transNoteBtn"}); });
}
