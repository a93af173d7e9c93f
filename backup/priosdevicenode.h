#pragma once

#include "backup/nodes/prnode.h"

// One backup folder as the backup list shows it.
class PRIOSDeviceNode : public PRNode
{
    PR_PROPERTY(QString, strDeviceName, setStrDeviceName) = emptyText();
    // Size of the folder's Info.plist in bytes (empty for Manifest.plist backups).
    PR_PROPERTY(QString, strDeviceSize, setStrDeviceSize) = emptyText();
    // Local "yyyy-MM-dd hh:mm".
    PR_PROPERTY(QString, strDeviceBackUpTime, setStrDeviceBackUpTime) = emptyText();
    PR_PROPERTY(QString, strDeviceSerial, setStrDeviceSerial) = emptyText();
    PR_PROPERTY(QString, strDeviceType, setStrDeviceType) = emptyText();
    PR_PROPERTY(QString, strIOSVersion, setStrIOSVersion) = emptyText();
    // Name of the application image: "ipad" or "iphone".
    PR_PROPERTY(QString, deviceImage, setDeviceImage);
    PR_PROPERTY(QString, itunesVersion, setItunesVersion) = emptyText();
    PR_PROPERTY(QString, backUpFilePath, setBackUpFilePath) = emptyText();
    PR_PROPERTY(bool, beEncrypted, setBeEncrypted) = false;

public:
    const char *className() const override { return "PRIOSDeviceNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.text("strDeviceName", m_strDeviceName);
        v.text("strDeviceSize", m_strDeviceSize);
        v.text("strDeviceBackUpTime", m_strDeviceBackUpTime);
        v.text("strDeviceSerial", m_strDeviceSerial);
        v.text("strDeviceType", m_strDeviceType);
        v.text("strIOSVersion", m_strIOSVersion);
        v.text("deviceImage", m_deviceImage);
        v.text("itunesVersion", m_itunesVersion);
        v.text("backUpFilePath", m_backUpFilePath);
        v.flag("beEncrypted", m_beEncrypted);
    }
};
