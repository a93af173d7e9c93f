#include "app/pagestandins.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

PRDevicePageStandIn::PRDevicePageStandIn(const QString &title, QObject *parent)
    : QObject(parent)
    , m_title(title)
{
}

void PRDevicePageStandIn::showView(QWidget *page)
{
    if (!page || page->layout())
        return;
    auto *layout = new QVBoxLayout(page);
    auto *title = new QLabel(m_title, page);
    QFont font = title->font();
    font.setPointSize(16);
    font.setBold(true);
    title->setFont(font);
    auto *note = new QLabel(tr("No device is connected. Connect your iPhone, iPad or iPod touch with a USB cable "
                               "to use this page."),
                            page);
    note->setWordWrap(true);
    layout->addStretch(1);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    layout->addWidget(note, 0, Qt::AlignHCenter);
    layout->addStretch(2);
}

PRCleanViewController::PRCleanViewController(QObject *parent)
    : PRDevicePageStandIn(tr("Cleaner"), parent)
{
}

PRPhoneSystemViewController::PRPhoneSystemViewController(QObject *parent)
    : PRDevicePageStandIn(tr("File System"), parent)
{
}
