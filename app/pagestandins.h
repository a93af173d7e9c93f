#pragma once

#include <QObject>
#include <QString>

class QWidget;

// The device pages (cleaner, device file system)
// until the device layer exists: each shows its page with a note that no
// device is connected, and takes the navigation's messages without loading
// anything.
class PRDevicePageStandIn : public QObject
{
    Q_OBJECT

public:
    explicit PRDevicePageStandIn(const QString &title, QObject *parent = nullptr);
    void showView(QWidget *page);

private:
    QString m_title;
};

class PRCleanViewController : public PRDevicePageStandIn
{
    Q_OBJECT

public:
    explicit PRCleanViewController(QObject *parent = nullptr);
    void showPhoneClean(int) {}
    void showCleanJunkView() {}
    void showCleanCacheview() {}
    void showCleanCookView() {}
    void showCleanMediaView() {}
};

class PRPhoneSystemViewController : public PRDevicePageStandIn
{
    Q_OBJECT

public:
    explicit PRPhoneSystemViewController(QObject *parent = nullptr);
    void showPhoneSystemView(QWidget *page) { showView(page); }
    void LookupSystemTree(int) {}
};
