#pragma once

// What the window tests share: screenshots for the eye and a probe of how
// long the GUI thread was held.

#include "tests/support/guiprobe.h"

#include <QString>
#include <QWidget>

namespace testsupport {

// Saves a picture of w into OSTRA_SCREENSHOT_DIR when it is set.
inline void screenshot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("OSTRA_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace testsupport
