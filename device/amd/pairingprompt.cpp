#include "device/amd/pairingprompt.h"

#include <QCoreApplication>

namespace amd {

namespace {

int weight(PairingState state)
{
    switch (state) {
    case PairingState::Denied: return 3;
    case PairingState::Locked: return 2;
    case PairingState::WaitingForTrust: return 1;
    case PairingState::None: break;
    }
    return 0;
}

} // namespace

void PairingPrompt::setState(const QString &udid, PairingState state)
{
    if (state == PairingState::None)
        m_states.remove(udid);
    else
        m_states.insert(udid, state);
}

PairingState PairingPrompt::pressing() const
{
    PairingState most = PairingState::None;
    for (const PairingState state : m_states)
        if (weight(state) > weight(most))
            most = state;
    return most;
}

QString PairingPrompt::text() const
{
    return textFor(pressing());
}

QString PairingPrompt::textFor(PairingState state)
{
    switch (state) {
    case PairingState::WaitingForTrust:
        return QCoreApplication::translate("PairingPrompt",
                                           "Tap Trust on the iPhone, where it asks \"Trust This Computer?\".");
    case PairingState::Locked:
        return QCoreApplication::translate("PairingPrompt", "Unlock the iPhone to let this computer read it.");
    case PairingState::Denied:
        return QCoreApplication::translate(
            "PairingPrompt", "The iPhone does not trust this computer: unplug it, plug it in again and tap Trust.");
    case PairingState::None: break;
    }
    return {};
}

} // namespace amd
