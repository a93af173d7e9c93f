// The main window's widgets: header, sidebar, the ten page views and the
// home page with its tiles, the guide and about windows.

#include "app/veldruneappdelegate.h"
#include "device/status/prdevicestatuspage.h"
#include "filesafety/primages.h"
#include "platform/paths.h"
#include "platform/plaintext.h"
#include "results/prsharedcontrols.h"

#include <QCoreApplication>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPushButton *linkButton(QWidget *parent, const QString &title)
{
    auto *b = new QPushButton(title, parent);
    b->setFlat(true);
    b->setFont(lucidaGrande(11));
    b->setCursor(Qt::PointingHandCursor);
    b->setStyleSheet(QStringLiteral("QPushButton { border: none; color: rgb(121, 139, 167); }"));
    return b;
}

QProgressBar *spinner(QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedSize(16, 16);
    return bar;
}

PRSidebarRowWidgets makeRow(QWidget *parent, const QString &title)
{
    PRSidebarRowWidgets row;
    row.button = new QPushButton(parent);
    row.button->setFixedHeight(34);
    row.button->setCursor(Qt::PointingHandCursor);
    auto *layout = new QHBoxLayout(row.button);
    layout->setContentsMargins(14, 0, 8, 0);
    layout->setSpacing(10);
    row.image = new QLabel(row.button);
    row.image->setFixedSize(24, 24);
    row.image->setAttribute(Qt::WA_TransparentForMouseEvents);
    row.text = new QLabel(title, row.button);
    row.text->setFont(lucidaGrande(12));
    row.text->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(row.image);
    layout->addWidget(row.text, 1);
    return row;
}

// The backup list as the home table shows it: the device picture beside
// the name, from the image name the list carries, and every cell's whole text
// as its tooltip, for a name or date the column cuts short.
class PRBackupListView : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == PRImageAndTextCell::ImageRole && index.column() == PRIOSDeviceController::NameColumn)
            return imageNamed(QIdentityProxyModel::data(index, PRIOSDeviceController::ImageNameRole).toString())
                .toImage();
        if (role == Qt::ToolTipRole)
            return PlainText::markup(QIdentityProxyModel::data(index, Qt::DisplayRole).toString());
        return QIdentityProxyModel::data(index, role);
    }
};

} // namespace

QWidget *VeldruneAppDelegate::buildSidebar()
{
    auto *sidebar = new QLabel(window);
    sidebar->setPixmap(imageNamed(QStringLiteral("leftground")));
    sidebar->setScaledContents(true);
    auto *column = new QVBoxLayout(sidebar);
    column->setContentsMargins(0, 8, 1, 8);
    column->setSpacing(0);

    manageDeviceView = new QWidget(sidebar);
    auto *devicePanel = new QVBoxLayout(manageDeviceView);
    devicePanel->setContentsMargins(0, 0, 0, 0);
    devicePanel->setSpacing(0);

    // With a device: the fifteen rows.
    manageHasDeviceView = new QWidget(manageDeviceView);
    auto *rowsLayout = new QVBoxLayout(manageHasDeviceView);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(1);
    const auto &table = sidebarRows();
    for (size_t i = 0; i < table.size(); ++i) {
        rows[i] = makeRow(manageHasDeviceView, tr(table[i].title));
        rows[i].button->setObjectName(QLatin1String(table[i].button));
        const PRShellAction action = table[i].action;
        connect(rows[i].button, &QPushButton::clicked, this, [this, action] { (this->*action)(); });
        rowsLayout->addWidget(rows[i].button);
    }
    circleSystemProgress = spinner(rows[1].button);
    circleAppProgress = spinner(rows[2].button);
    circlePhotoProgress = spinner(rows[3].button);
    circleMusicProgress = spinner(rows[4].button);
    circleVideoProgress = spinner(rows[5].button);
    circleContactProgress = spinner(rows[12].button);
    circleMessageProgress = spinner(rows[13].button);
    circleNoteProgress = spinner(rows[14].button);
    for (auto [row, bar] : {std::pair{1, circleSystemProgress}, {2, circleAppProgress}, {3, circlePhotoProgress},
                            {4, circleMusicProgress}, {5, circleVideoProgress}, {12, circleContactProgress},
                            {13, circleMessageProgress}, {14, circleNoteProgress}})
        rows[size_t(row)].button->layout()->addWidget(bar);
    // The sidebar keeps its width, so that the widest page fits beside it at
    // the window's usual size; a title longer than its row goes on a second
    // line and its row grows to hold it.
    constexpr int sidebarWidth = 200;
    sidebar->setFixedWidth(sidebarWidth);
    for (size_t i = 0; i < rows.size(); ++i) {
        const PRSidebarRowWidgets &row = rows[i];
        const auto *inRow = static_cast<QBoxLayout *>(row.button->layout());
        const QMargins m = inRow->contentsMargins();
        int room = sidebarWidth - column->contentsMargins().right() - m.left() - m.right() - row.image->width()
                   - inRow->spacing();
        if (inRow->count() > 2)
            room -= inRow->spacing() + circleAppProgress->width();
        row.text->setWordWrap(true);
        row.button->setFixedHeight(std::max(row.button->height(), row.text->heightForWidth(room) + 4));
    }

    // Without a device: connect, and the backup browser.
    manageNoDeviceView = new QWidget(manageDeviceView);
    auto *noDevice = new QVBoxLayout(manageNoDeviceView);
    noDevice->setContentsMargins(0, 0, 0, 0);
    noDevice->setSpacing(1);
    connectDeviceRow = makeRow(manageNoDeviceView, tr("Connect Device"));
    connectDeviceBtn = connectDeviceRow.button;
    connectDeviceImageView = connectDeviceRow.image;
    connectDevicelab = connectDeviceRow.text;
    disConnectBroswerRow = makeRow(manageNoDeviceView, tr("Backup Browser"));
    disConnectBroswerBtn = disConnectBroswerRow.button;
    disConnectTextlab = disConnectBroswerRow.text;
    noDevice->addWidget(connectDeviceBtn);
    noDevice->addWidget(disConnectBroswerBtn);
    connect(connectDeviceBtn, &QPushButton::clicked, this, [this] {
        showPage(noDeviceView);
        highlightRow(0);
    });
    connect(disConnectBroswerBtn, &QPushButton::clicked, this, &VeldruneAppDelegate::ClickScaniTunesBackup);

    devicePanel->addWidget(manageHasDeviceView);
    devicePanel->addWidget(manageNoDeviceView);
    column->addWidget(manageDeviceView);
    column->addStretch(1);

    // The backup panel at the foot of the sidebar.
    manageBroswerBackupView = new QWidget(sidebar);
    auto *backupPanel = new QVBoxLayout(manageBroswerBackupView);
    backupPanel->setContentsMargins(14, 0, 8, 0);
    manageHasBackupView = new QWidget(manageBroswerBackupView);
    auto *hasBackup = new QVBoxLayout(manageHasBackupView);
    hasBackup->setContentsMargins(0, 0, 0, 0);
    broswerMainBtn = linkButton(manageHasBackupView, tr("iTunes Backup Broswer"));
    hasBackup->addWidget(broswerMainBtn);
    manageNoBackUpView = new QWidget(manageBroswerBackupView);
    auto *noBackup = new QVBoxLayout(manageNoBackUpView);
    noBackup->setContentsMargins(0, 0, 0, 0);
    disConnectBroswerMainBtn = linkButton(manageNoBackUpView, tr("iTunes Backup Broswer"));
    noBackup->addWidget(disConnectBroswerMainBtn);
    backupPanel->addWidget(manageHasBackupView);
    backupPanel->addWidget(manageNoBackUpView);
    column->addWidget(manageBroswerBackupView);
    connect(broswerMainBtn, &QPushButton::clicked, this, &VeldruneAppDelegate::ClickScaniTunesBackup);
    connect(disConnectBroswerMainBtn, &QPushButton::clicked, this, &VeldruneAppDelegate::ClickScaniTunesBackup);
    return sidebar;
}

QWidget *VeldruneAppDelegate::buildHomePage()
{
    auto *page = noDeviceView;
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(24, 14, 24, 10);
    column->setSpacing(8);

    auto *intro = new QHBoxLayout;
    imageView = new QLabel(page);
    imageView->setPixmap(imageNamed(QStringLiteral("ostra")).scaled(64, 64, Qt::KeepAspectRatio,
                                                                    Qt::SmoothTransformation));
    intro->addWidget(imageView);
    auto *texts = new QVBoxLayout;
    titleline = new QLabel(tr("Welcome to Ostra"), page);
    titleline->setFont(lucidaGrande(18, true));
    infoTextlab = new QLabel(tr("Browse the backups of your iPhone or iPad on this computer and bring back contacts, "
                                "messages, notes, calls and more, deleted ones included."),
                             page);
    infoTextlab->setWordWrap(true);
    infoTextlab->setFont(lucidaGrande(12));
    notelab = new QLabel(tr("Connect your iOS device to use the device pages."), page);
    notelab->setFont(lucidaGrande(11));
    notelab->setStyleSheet(QStringLiteral("color: rgb(121, 139, 167);"));
    texts->addWidget(titleline);
    texts->addWidget(infoTextlab);
    texts->addWidget(notelab);
    intro->addLayout(texts, 1);
    column->addLayout(intro);

    auto *grid = new QGridLayout;
    grid->setSpacing(10);
    const auto &table = homeTiles();
    for (size_t i = 0; i < table.size(); ++i) {
        auto *tile = new PRViewButton(page);
        tile->setObjectName(QLatin1String(table[i].tile));
        tile->setToolTip(tr(table[i].title));
        tile->setAccessibleName(tr(table[i].title));
        tile->setIcon(iconNamed(QLatin1String(table[i].imageAfter)));
        tile->setIconSize(QSize(104, 104));
        tile->setFixedSize(110, 110);
        tile->setFlat(true);
        tile->setStyleSheet(QStringLiteral("PRViewButton { border: none; }"));
        tiles[i] = tile;
        grid->addWidget(tile, int(i / 5), int(i % 5));
    }
    column->addLayout(grid);

    auto *backups = new QHBoxLayout;
    tableScrolleView = new QTableView(page);
    tableScrolleView->setModel(new PRBackupListView(tableScrolleView));
    static_cast<QIdentityProxyModel *>(tableScrolleView->model())->setSourceModel(deviceController);
    tableScrolleView->verticalHeader()->hide();
    tableScrolleView->horizontalHeader()->setStretchLastSection(true);
    tableScrolleView->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableScrolleView->setFont(lucidaGrande(11));
    // Narrow enough that the backup time, the last column, reads whole at the
    // home page's size.
    tableScrolleView->setColumnWidth(PRIOSDeviceController::NameColumn, 180);
    tableScrolleView->setColumnWidth(PRIOSDeviceController::TypeColumn, 80);
    tableScrolleView->setColumnWidth(PRIOSDeviceController::VersionColumn, 60);
    tableScrolleView->verticalHeader()->setDefaultSectionSize(26);
    tableScrolleView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tableScrolleView->setShowGrid(false);
    tableScrolleView->setMaximumHeight(96);
    tableScrolleView->setItemDelegateForColumn(0, new PRImageAndTextCell(tableScrolleView));
    tableScrolleView->setTextElideMode(Qt::ElideRight);
    backups->addWidget(tableScrolleView, 1);
    auto *buttons = new QVBoxLayout;
    button = new QPushButton(tr("Scan Backup"), page);
    helpBtn = new QPushButton(tr("Help"), page);
    buttons->addWidget(button);
    buttons->addWidget(helpBtn);
    buttons->addStretch(1);
    backups->addLayout(buttons);
    column->addLayout(backups);
    connect(button, &QPushButton::clicked, this, &VeldruneAppDelegate::ClickScaniTunesBackup);
    connect(helpBtn, &QPushButton::clicked, this, &VeldruneAppDelegate::ClickAbout);
    return page;
}

void VeldruneAppDelegate::buildGuideSheet()
{
    guideAccessWindow = new QDialog(window);
    guideAccessWindow->setObjectName(QStringLiteral("guideAccessWindow"));
    guideAccessWindow->setWindowTitle(tr("Allow access to your backups"));
    guideAccessWindow->setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(guideAccessWindow);
    auto *text = new QLabel(tr("Ostra cannot read the backup folder\n%1\n\nThe folder belongs to another user or its "
                               "permissions do not let you read it. Give your user read access to it (for "
                               "example with \"chmod -R u+rX\" as its owner), then click the backup tile again.")
                                .arg(Paths::backupRoot()),
                            guideAccessWindow);
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(text);
    auto *ok = new QPushButton(tr("OK"), guideAccessWindow);
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &VeldruneAppDelegate::QuiteTheGuideWindow);
}

void VeldruneAppDelegate::buildAboutWindow()
{
    aboutWindow = new QDialog(window);
    aboutWindow->setWindowTitle(tr("About Ostra"));
    auto *layout = new QVBoxLayout(aboutWindow);
    auto *logo = new QLabel(aboutWindow);
    logo->setPixmap(imageNamed(QStringLiteral("ostra")).scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    layout->addWidget(logo, 0, Qt::AlignHCenter);
    auto *name = new QLabel(QStringLiteral("Ostra %1").arg(QCoreApplication::applicationVersion()), aboutWindow);
    name->setFont(lucidaGrande(14, true));
    layout->addWidget(name, 0, Qt::AlignHCenter);
    layout->addWidget(new QLabel(tr("Reads iPhone and iPad backups and brings back your records."), aboutWindow));
}

void VeldruneAppDelegate::buildWindow()
{
    window = new PRMainWindow(*this);
    window->setObjectName(QStringLiteral("mainWindow"));
    window->setWindowTitle(QStringLiteral("Ostra"));
    window->setWindowIcon(iconNamed(QStringLiteral("ostra")));
    window->resize(849, 560);

    auto *central = new QWidget(window);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto *header = new QLabel(central);
    header->setPixmap(imageNamed(QStringLiteral("topGround")));
    header->setScaledContents(true);
    header->setFixedHeight(52);
    auto *headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(16, 0, 16, 0);
    auto *logo = new QLabel(header);
    logo->setPixmap(imageNamed(QStringLiteral("ostra")).scaled(36, 36, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    auto *title = new QLabel(QStringLiteral("Ostra"), header);
    title->setFont(lucidaGrande(18, true));
    title->setStyleSheet(QStringLiteral("color: white;"));
    headerRow->addWidget(logo);
    headerRow->addWidget(title);
    headerRow->addStretch(1);
    outer->addWidget(header);

    auto *middle = new QHBoxLayout;
    middle->setSpacing(0);
    middle->addWidget(buildSidebar());

    mainShowView = new QWidget(central);
    // One page at a time, and every page counts towards the minimum: the
    // window is as small as the widest page allows whichever page shows, so
    // a page switch never changes its size.
    auto *pages = new QStackedLayout(mainShowView);
    pages->setContentsMargins(0, 0, 0, 0);
    auto page = [this](const char *name) {
        auto *w = new QWidget(mainShowView);
        w->setObjectName(QLatin1String(name));
        return w;
    };
    StatuView = page("StatuView");
    m_statusPage = new PRDeviceStatusPage(StatuView);
    auto *statusLayout = new QVBoxLayout(StatuView);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->addWidget(m_statusPage);
    TansferView = page("TansferView");
    BackupView = page("BackupView");
    ClearnView = page("ClearnView");
    iTunesBackupBroswerView = page("iTunesBackupBroswerView");
    (new QVBoxLayout(iTunesBackupBroswerView))->setContentsMargins(0, 0, 0, 0);
    musicView = page("musicView");
    cleanLogView = page("cleanLogView");
    systemlibView = page("systemlibView");
    appView = page("appView");
    noDeviceView = page("noDeviceView");
    m_pages = {StatuView, TansferView,   BackupView, ClearnView, iTunesBackupBroswerView,
               musicView, cleanLogView, systemlibView, appView,  noDeviceView};
    for (QWidget *p : m_pages)
        pages->addWidget(p);
    buildHomePage();
    transferViewController->showView(TansferView);
    middle->addWidget(mainShowView, 1);
    outer->addLayout(middle, 1);

    // The cleaner page, with the head whose labels are the window's.
    buildCleanHead();

    auto *footer = new QLabel(central);
    footer->setPixmap(imageNamed(QStringLiteral("bottomGroundImage")));
    footer->setScaledContents(true);
    footer->setFixedHeight(34);
    auto *footerRow = new QHBoxLayout(footer);
    footerRow->setContentsMargins(16, 0, 16, 0);
    transferBtn = linkButton(footer, tr("Transfer"));
    cleanBtn = linkButton(footer, tr("iCloud Backup Browser"));
    backupDeviceBtn = linkButton(footer, tr("Back up"));
    learnmoreBtn = linkButton(footer, tr("Learn More..."));
    learnmoreBtn->setStyleSheet(QStringLiteral("QPushButton { border: none; color: blue; text-decoration: underline; }"));
    senderIndicator = spinner(footer);
    footerRow->addWidget(transferBtn);
    footerRow->addWidget(cleanBtn);
    footerRow->addWidget(backupDeviceBtn);
    footerRow->addStretch(1);
    footerRow->addWidget(senderIndicator);
    footerRow->addWidget(learnmoreBtn);
    outer->addWidget(footer);
    connect(transferBtn, &QPushButton::clicked, this, &VeldruneAppDelegate::ClickTansfer);
    connect(cleanBtn, &QPushButton::clicked, this, &VeldruneAppDelegate::ClickClean);
    connect(backupDeviceBtn, &QPushButton::clicked, this, &VeldruneAppDelegate::ClickBackup);

    window->setCentralWidget(central);
    buildGuideSheet();
    buildAboutWindow();
}
