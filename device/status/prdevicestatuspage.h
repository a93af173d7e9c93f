#pragma once

#include "device/pridevicenode.h"

#include <QVariantMap>
#include <QWidget>

class PRColorProgressView;
class QLabel;
class QProgressBar;

// The status page of a connected phone: its name, identity, capacity, and
// the storage bar with its labels. Everything shown comes from the phone and
// is set as plain text.
class PRDeviceStatusPage : public QWidget
{
    Q_OBJECT

public:
    explicit PRDeviceStatusPage(QWidget *parent = nullptr);

    // A new phone: nothing of the previous one stays on the page.
    void clearDevice();
    // The identity labels (each only when the phone gave the value) and the
    // used/free bar.
    void showDevice(const PRiDeviceNode &node);
    // The five segments and their size labels, from the media metrics.
    void showBoard(const QVariantMap &metrics, const PRiDeviceNode &node);

    QLabel *iDeviceNamelab = nullptr;
    QLabel *iDeviceCapacityValuelab = nullptr;
    QLabel *iDeviceSoftwareVersionValuelab = nullptr;
    QLabel *iDeviceFirmValuelab = nullptr;
    QLabel *iDeviceIDValuelab = nullptr;
    QLabel *iDeviceSerialValuelab = nullptr;
    QLabel *iDevicepPhoneValuelab = nullptr;
    PRColorProgressView *iDeviceColorView = nullptr;
    QLabel *usedSpaceLab = nullptr;
    QLabel *freeSpacelab = nullptr;
    QLabel *photoSizelab = nullptr;
    QLabel *musicSizelab = nullptr;
    QLabel *movieSizelab = nullptr;
    QLabel *appSizelab = nullptr;
    QLabel *otherSizelab = nullptr;
    QProgressBar *cleanprogressor = nullptr;

private:
    QWidget *m_legend = nullptr;
};
