#pragma once

#include "device/amd/devicenotify.h"

#include <QMap>
#include <QString>

namespace amd {

// What the window asks of the user while phones are attached that do not
// trust this computer yet: one text for all of them, the one that asks the
// most of the user first (a refusal, then a locked phone, then the Trust
// question), empty when nothing is asked.
class PairingPrompt
{
public:
    // Records the state of the phone of that UDID; None forgets it.
    void setState(const QString &udid, PairingState state);
    void clear() { m_states.clear(); }

    PairingState pressing() const;
    QString text() const;
    static QString textFor(PairingState state);

private:
    QMap<QString, PairingState> m_states;
};

} // namespace amd
