#pragma once

#include "device/backup/devicebackuprunner.h"

namespace amd {

class SimulatedBackend;

// The backup of a simulated phone: copies the backup its scenario prepared
// (see simulatedbackend.h) into <root>/<udid>, as idevicebackup2 would have
// written it. Files of an earlier run are replaced, others kept, so a second
// run behaves like an incremental one. Only folders and regular files are
// copied; links and anything else in the scenario are left out.
//
// A "backup" entry of the phone's failing calls makes the run fail with that
// code; a phone that is unplugged before or while copying fails it as a
// disconnect does. The runner must not outlive the backend.
class SimulatedBackupRunner : public DeviceBackupRunner
{
public:
    explicit SimulatedBackupRunner(SimulatedBackend &backend) : m_backend(backend) {}

    DeviceBackupOutcome run(const QString &udid, const QString &root, const Progress &progress,
                            const std::atomic<bool> &cancel) override;

private:
    SimulatedBackend &m_backend;
};

} // namespace amd
