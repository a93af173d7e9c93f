// The real window over a phone whose names are markup: a photo named
// `<img src="&#47;...">.JPG`, an app whose display name is `<img src="/...">`
// and a device name of four thousand characters. Every view that shows them
// must show the text itself (Qt would load what a markup name points at), and
// the window keeps its size.

#include "tests/support/eventwait.h"
#include "app/veldruneappdelegate.h"
#include "device/devicebackend.h"
#include "device/simulated/simulatedbackend.h"
#include "device/status/prdeviceboard.h"
#include "device/status/prdevicestatuspage.h"
#include "maintenance/system/prphonesystemviewcontroller.h"
#include "pathtree/prapptreecontroller.h"
#include "pathtree/prsystemlibtreecontroller.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "platform/propertylist.h"
#include "tools/devicegen/devicescenario.h"
#include "transfer/page/prtansferviewcontroller.h"
#include "transfer/page/prtransferapppane.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include "tests/support/plaintextwalk.h"
#include "tests/support/lsanmedia.h"
#include "tests/support/windowtesting.h"

namespace {

constexpr int kWaitMs = testsupport::kEventWaitMs;
const QString kMarker = QStringLiteral("ostra-zero");
const QString kAppName = QStringLiteral("<img src=\"/nonexistent/ostra-zero\">");
const QString kFileName = QStringLiteral("<img src=\"&#47;nonexistent&#47;ostra-zero\">.JPG");
const QString kApp = QStringLiteral("com.ostra.demo.notebook");

QString deviceName()
{
    return kAppName + QString(4000 - kAppName.size(), QLatin1Char('x'));
}

// The demo phone with the hostile names written into its folder.
bool writeHostilePhone(const QString &folder, QString *error)
{
    if (!devicegen::writeScenario({folder, 1}, nullptr, error))
        return false;
    QVariantMap device = PropertyList::readDictionary(folder + QStringLiteral("/device.plist")).value_or(QVariantMap());
    QVariantMap values = device.value(QStringLiteral("Values")).toMap();
    QVariantMap identity = values.value(QString()).toMap();
    identity[QStringLiteral("DeviceName")] = deviceName();
    values[QString()] = identity;
    device[QStringLiteral("Values")] = values;
    QVariantMap apps = PropertyList::readDictionary(folder + QStringLiteral("/apps.plist")).value_or(QVariantMap());
    QVariantMap app = apps.value(kApp).toMap();
    app[QStringLiteral("CFBundleDisplayName")] = kAppName;
    apps[kApp] = app;
    QDirIterator photos(folder + QStringLiteral("/media/DCIM"), {QStringLiteral("*.JPG")}, QDir::Files,
                        QDirIterator::Subdirectories);
    if (!photos.hasNext())
        return false;
    const QString photo = photos.next();
    return PropertyList::writeFile(folder + QStringLiteral("/device.plist"), device, PropertyList::Format::Xml)
           && PropertyList::writeFile(folder + QStringLiteral("/apps.plist"), apps, PropertyList::Format::Binary)
           && QFile::copy(photo, QFileInfo(photo).path() + QLatin1Char('/') + kFileName)
           && QFile::copy(photo, folder + QStringLiteral("/containers/") + kApp + QStringLiteral("/Documents/")
                                     + kFileName);
}

class HostilePhoneWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(writeHostilePhone(m_scenario.filePath(QStringLiteral("phone")), &error)) << qPrintable(error);
        Paths::setHomeFolder(m_home.path());
        PRDeviceBoard::setStartDelayMs(0);
        backend = std::make_shared<amd::SimulatedBackend>();
        m_previous = amd::setDeviceBackend(backend);
        delegate = std::make_unique<VeldruneAppDelegate>(NotificationCenter::defaultCenter());
        delegate->window->resize(1142, 700);
        delegate->window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(delegate->window));
    }

    void TearDown() override
    {
        delegate.reset();
        amd::setDeviceBackend(m_previous);
        backend.reset();
        Paths::setHomeFolder(QString());
    }

    // Every place of the window that mentions a hostile name reads as the
    // name: its tag shows instead of being taken for markup.
    void expectShownAsWritten(int atLeast)
    {
        const testsupport::ShownPlaces shown =
            testsupport::walkShownText(delegate->window, kMarker, QStringLiteral("<img src=\""));
        EXPECT_GE(shown.places, atLeast);
        EXPECT_TRUE(shown.wrong.isEmpty()) << qPrintable(shown.wrong.join(QLatin1Char('\n')));
    }

    QTemporaryDir m_scenario;
    QTemporaryDir m_home;
    std::shared_ptr<amd::SimulatedBackend> backend;
    std::shared_ptr<amd::DeviceBackend> m_previous;
    std::unique_ptr<VeldruneAppDelegate> delegate;
};

} // namespace

TEST_F(HostilePhoneWindow, MarkupNamesReadAsTextAndALongNameKeepsTheWindowsSize)
{
    const amd::DeviceHandle phone = backend->plug(m_scenario.filePath(QStringLiteral("phone")));
    ASSERT_NE(phone, 0u) << qPrintable(backend->errorString());
    PRDeviceStatusPage *status = delegate->statusPage();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !status->iDeviceNamelab->text().isEmpty(); }, kWaitMs));
    QCoreApplication::processEvents();
    EXPECT_LE(status->iDeviceNamelab->text().size(), 64);
    EXPECT_TRUE(testsupport::shownText(status->iDeviceNamelab->toolTip()).startsWith(deviceName().left(1000)));
    EXPECT_LT(delegate->window->width(), 1600);
    EXPECT_LT(status->iDeviceNamelab->minimumSizeHint().width(), 1600);
    testsupport::screenshot(delegate->window, QStringLiteral("hostile-phone-status"));

    // The apps pane: the list, and the app's documents in the file table.
    PRTansferViewController *transfer = delegate->GetTansferViewController();
    delegate->ClickApp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return transfer->isLoadFinished(PRTansferViewController::Load::App); }, kWaitMs));
    PRTransferAppPane *apps = transfer->appPane;
    QSignalSpy walked(apps, &PRTransferAppPane::walkEnded);
    apps->expandApp(kApp);
    ASSERT_TRUE(!walked.isEmpty() || walked.wait(kWaitMs));
    PRAppTreeController *tree = apps->appTreeController;
    PRPathDirNode *documents = tree->folderAtPath(tree->appRoot(kApp), QStringLiteral("/Documents"));
    ASSERT_NE(documents, nullptr);
    apps->appOutlineView->setCurrentIndex(tree->indexOfNode(documents));
    QCoreApplication::processEvents();
    expectShownAsWritten(4); // the name's label, the app, the document's folder and row

    // The photos pane.
    delegate->ClickPhoto();
    ASSERT_TRUE(QTest::qWaitFor([&] { return transfer->isLoadFinished(PRTansferViewController::Load::Photo); }, kWaitMs));
    expectShownAsWritten(5);

    // The file-system page, on the camera folder.
    PRPhoneSystemViewController *system = delegate->GetSystemViewController();
    delegate->ClickSystemLib();
    ASSERT_TRUE(QTest::qWaitFor([&] { return system->bLoadFinished(); }, kWaitMs));
    PRSystemLibTreeController *lib = system->GetLibTreeController();
    PRPathDirNode *camera = lib->folderAtPath(lib->systemRoot(), QStringLiteral("/DCIM/100APPLE"));
    ASSERT_NE(camera, nullptr);
    system->theOutlineView->setCurrentIndex(lib->indexOfNode(camera));
    QCoreApplication::processEvents();
    expectShownAsWritten(7);
    testsupport::screenshot(delegate->window, QStringLiteral("hostile-phone-files"));

    backend->unplug(phone);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate->getDeviceConnected(); }, kWaitMs));
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
