#include "device/amd/deviceitem.h"

#include "device/amd/airtraffichosthelper.h"
#include "device/amd/baseinfo.h"

namespace amd {

DeviceItem::DeviceItem(int id, const BaseDevice &device) : m_id(id), m_device(device) {}

// The manager takes the helper out (joining its reader) before it lets go of
// an item, so this never runs on the helper's own reader thread.
DeviceItem::~DeviceItem() = default;

void DeviceItem::setHelper(std::unique_ptr<AirTrafficHostHelper> helper)
{
    m_helper = std::move(helper);
}

std::unique_ptr<AirTrafficHostHelper> DeviceItem::takeHelper()
{
    return std::move(m_helper);
}

} // namespace amd
