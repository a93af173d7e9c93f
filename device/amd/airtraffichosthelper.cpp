#include "device/amd/airtraffichosthelper.h"

#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "device/amd/devicelog.h"
#include "device/amd/devicemanager.h"
#include "device/amd/hostlibraryid.h"

namespace amd {

AirTrafficHostHelper::~AirTrafficHostHelper()
{
    m_stop = true;
    if (m_connection != 0)
        deviceBackend().atHostConnectionDestroy(m_connection);
    if (m_reader.joinable())
        m_reader.join();
}

int AirTrafficHostHelper::connect(const QString &udid, int deviceId)
{
    if (udid.isEmpty() || m_connection != 0)
        return 1;
    // Where there is no media-library host the phone's preferences are not
    // read: that would be a file-service session for nothing.
    if (!deviceBackend().hasMediaLibraryHost())
        return 1;
    m_deviceId = deviceId;
    const QString libraryId = copyHostLibraryID(deviceId);
    const AtHostConnection connection = deviceBackend().atHostConnectionCreateWithLibrary(libraryId, udid);
    if (connection == 0) {
        printDeviceLine("*** ATHostConnectionCreateWithLibrary failed(%s)\n", libraryId.toUtf8().constData());
        return 1;
    }
    m_connection = connection;
    return 0;
}

void AirTrafficHostHelper::startReader()
{
    if (m_reader.joinable() || m_connection == 0)
        return;
    m_reader = std::thread([this] { read(); });
}

void AirTrafficHostHelper::read()
{
    // Ends when the connection ends or is destroyed: each round either blocks
    // for a message or returns nothing.
    while (!m_stop) {
        const std::optional<QVariantMap> message = deviceBackend().atHostConnectionReadMessage(m_connection);
        if (!message)
            break;
        if (message->value(QStringLiteral("Command")).toString() != QLatin1String("AssetMetrics"))
            continue;
        const QVariant params = message->value(QStringLiteral("Params"));
        if (params.metaType().id() != QMetaType::QVariantMap)
            continue;
        if (const auto item = DeviceManager::instance().findItem(m_deviceId)) {
            if (const auto info = item->baseInfo())
                info->setBoardInfo(params.toMap());
        }
    }
}

} // namespace amd
