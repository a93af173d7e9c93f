#include "device/status/prdevicestatuspage.h"

#include "device/status/prcolorprogressview.h"
#include "results/prflowlayout.h"
#include "device/status/storageboard.h"
#include "platform/plaintext.h"
#include "results/prsharedcontrols.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

QLabel *plainLabel(QWidget *parent, const QString &text = QString())
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setText(text);
    return label;
}

// A value label keeps one line; a phone's long text is elided by the layout
// instead of widening the window.
QLabel *valueLabel(QWidget *parent)
{
    QLabel *label = plainLabel(parent);
    label->setMinimumWidth(40);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

QWidget *swatch(QWidget *parent, const QColor &colour)
{
    auto *w = new QWidget(parent);
    w->setFixedSize(12, 12);
    w->setStyleSheet(QStringLiteral("background: %1; border-radius: 2px;").arg(colour.name()));
    return w;
}

// The most characters of a phone's value a label shows; the whole value is
// in its tool tip. A phone names itself as long as it likes.
constexpr qsizetype kShownValueLimit = 64;

void setIfPresent(QLabel *label, const QString &value)
{
    if (value.isEmpty())
        return;
    label->setText(PlainText::elided(value, kShownValueLimit));
    label->setToolTip(value.size() > kShownValueLimit ? PlainText::markup(value) : QString());
}

} // namespace

PRDeviceStatusPage::PRDeviceStatusPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("PRDeviceStatusPage"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(40, 30, 40, 30);
    outer->setSpacing(14);

    iDeviceNamelab = plainLabel(this);
    iDeviceNamelab->setFont(lucidaGrande(20, true));
    iDeviceNamelab->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    outer->addWidget(iDeviceNamelab);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(6);
    const struct
    {
        const char *title;
        QLabel **value;
    } rows[] = {
        {"Capacity:", &iDeviceCapacityValuelab},    {"Software Version:", &iDeviceSoftwareVersionValuelab},
        {"Firmware Version:", &iDeviceFirmValuelab}, {"Identifier:", &iDeviceIDValuelab},
        {"Serial Number:", &iDeviceSerialValuelab},  {"Phone Number:", &iDevicepPhoneValuelab},
    };
    int row = 0;
    for (const auto &r : rows) {
        QLabel *title = plainLabel(this, tr(r.title));
        title->setStyleSheet(QStringLiteral("color: #555;"));
        *r.value = valueLabel(this);
        grid->addWidget(title, row, 0, Qt::AlignRight);
        grid->addWidget(*r.value, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    outer->addLayout(grid);

    iDeviceColorView = new PRColorProgressView(this);
    iDeviceColorView->setFixedHeight(24);
    outer->addWidget(iDeviceColorView);

    auto *spaceRow = new QHBoxLayout;
    usedSpaceLab = plainLabel(this);
    freeSpacelab = plainLabel(this);
    spaceRow->addWidget(usedSpaceLab);
    spaceRow->addStretch(1);
    spaceRow->addWidget(freeSpacelab);
    outer->addLayout(spaceRow);

    m_legend = new QWidget(this);
    // The legend wraps at a narrow window; each colour stays beside its size.
    auto *legend = new PRFlowLayout(m_legend, 3);
    legend->setContentsMargins(0, 0, 0, 0);
    legend->setSpacing(10);
    const struct
    {
        QColor colour;
        QLabel **label;
    } segments[] = {
        {QColor(132, 113, 177), &musicSizelab}, {QColor(238, 126, 129), &photoSizelab},
        {QColor(90, 152, 215), &movieSizelab},  {QColor(90, 215, 189), &appSizelab},
        {QColor(252, 196, 77), &otherSizelab},
    };
    for (const auto &s : segments) {
        auto *entry = new QWidget(m_legend);
        auto *pair = new QHBoxLayout(entry);
        pair->setContentsMargins(0, 0, 0, 0);
        pair->addWidget(swatch(entry, s.colour));
        *s.label = plainLabel(entry);
        pair->addWidget(*s.label);
        legend->addWidget(entry);
    }
    m_legend->hide();
    outer->addWidget(m_legend);

    cleanprogressor = new QProgressBar(this);
    cleanprogressor->setRange(0, 0);
    cleanprogressor->setTextVisible(false);
    cleanprogressor->setFixedHeight(6);
    cleanprogressor->hide();
    outer->addWidget(cleanprogressor);
    outer->addStretch(1);
}

void PRDeviceStatusPage::clearDevice()
{
    for (QLabel *label : {iDeviceNamelab, iDeviceCapacityValuelab, iDeviceSoftwareVersionValuelab,
                          iDeviceFirmValuelab, iDeviceIDValuelab, iDeviceSerialValuelab, iDevicepPhoneValuelab,
                          usedSpaceLab, freeSpacelab, photoSizelab, musicSizelab, movieSizelab, appSizelab,
                          otherSizelab}) {
        label->clear();
        label->setToolTip(QString());
    }
    iDeviceColorView->setProgressValueWithusedValue(0, 0);
    iDeviceColorView->update();
    m_legend->hide();
}

void PRDeviceStatusPage::showDevice(const PRiDeviceNode &node)
{
    setIfPresent(iDeviceNamelab, node.deviceName);
    setIfPresent(iDeviceCapacityValuelab, node.deviceSize);
    setIfPresent(iDeviceSoftwareVersionValuelab, node.iOSVersion);
    setIfPresent(iDeviceFirmValuelab, node.firemVersion);
    setIfPresent(iDeviceIDValuelab, node.udidNumber);
    setIfPresent(iDeviceSerialValuelab, node.seriNumber);
    setIfPresent(iDevicepPhoneValuelab, node.PhoneNumber);

    const StorageBoard::UsedFree bar = StorageBoard::usedFree(node.totalDeviceSize, node.freeDeviceSize);
    iDeviceColorView->setProgressValueWithusedValue(bar.used, bar.free);
    iDeviceColorView->update();
    usedSpaceLab->setText(tr("%1 of %2").arg(bar.usedText, node.deviceSize));
    freeSpacelab->setText(tr("%1 free").arg(node.freeSize));
}

void PRDeviceStatusPage::showBoard(const QVariantMap &metrics, const PRiDeviceNode &node)
{
    const StorageBoard::Segments s =
        StorageBoard::segments(StorageBoard::readMetrics(metrics), node.totalDeviceSize, node.freeDeviceSize);
    photoSizelab->setText(s.photoText);
    musicSizelab->setText(s.musicText);
    movieSizelab->setText(s.movieText);
    appSizelab->setText(s.appText);
    otherSizelab->setText(s.otherText);
    m_legend->show();
    iDeviceColorView->setProgressValueWithMusicValue(s.music, s.photo, s.video, s.app, s.others);
}
