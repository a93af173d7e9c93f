// The real window on backups a stranger edited: it starts, scans, previews
// and exports them without reading anything outside the backup, without
// hanging on a FIFO, and without holding the GUI thread on a long text.

#include "tests/support/eventwait.h"
#include "app/veldruneappdelegate.h"
#include "filesafety/prreveal.h"
#include "filesafety/prthumbnailer.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "results/prconversationview.h"
#include "results/prexportrun.h"
#include "results/prresultviewcontroller.h"
#include "results/prsharedcontrols.h"
#include "results/prthumgrid.h"
#include "tests/support/hostilebackups.h"
#include "tests/support/plaintextwalk.h"
#include "tests/support/qtprinters.h"
#include "tests/support/windowtesting.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr int kScanTimeoutMs = testsupport::kEventWaitMs;

class HostileWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        m_root = m_home.path() + QStringLiteral("/Library/Application Support/MobileSync/Backup");
        m_previous = PRReveal::setStrategies({[](const QString &) { return true; }, [](const QUrl &) { return true; }});
    }

    void TearDown() override
    {
        m_delegate.reset();
        Paths::setHomeFolder(QString());
        PRReveal::setStrategies(m_previous);
    }

    hostile::Backup make(const QString &name, const char *version)
    {
        hostile::Backup backup;
        EXPECT_TRUE(hostile::writeBackup(m_root + QLatin1Char('/') + name, QLatin1String(version), backup));
        return backup;
    }
    QString outside() const { return m_home.path() + QStringLiteral("/outside"); }

    void openWindow()
    {
        Paths::setHomeFolder(m_home.path());
        m_delegate = std::make_unique<VeldruneAppDelegate>(NotificationCenter::defaultCenter());
        m_delegate->window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_delegate->window));
    }

    PRResultViewController *scanFirstBackup()
    {
        QTest::mouseClick(m_delegate->window->findChild<PRViewButton *>(QStringLiteral("iTunesBackupButton")),
                          Qt::LeftButton);
        PRResultViewController *page = m_delegate->GetresultViewController();
        if (page && !page->scanFinished()) {
            QSignalSpy ended(page, &PRResultViewController::scanEnded);
            if (!ended.wait(kScanTimeoutMs))
                return nullptr;
        }
        return page;
    }

    // Every record of every category and every backup file ticked, then
    // exported into a new folder; the result of the run.
    PRExportRun::Result exportEverything(PRResultViewController *page, const QString &target)
    {
        using Show = void (PRResultViewController::*)();
        for (Show show : {&PRResultViewController::actContact, &PRResultViewController::actMessage,
                          &PRResultViewController::actNote, &PRResultViewController::actCallHistory,
                          &PRResultViewController::actBookMark, &PRResultViewController::actCalender,
                          &PRResultViewController::actFaceTwitter, &PRResultViewController::actPhoto}) {
            (page->*show)();
            if (page->selectAllBtn->isEnabled() && !page->selectAllBtn->isChecked())
                page->selectAllBtn->click();
        }
        page->actBackUpBoswer();
        page->treeController->setData(page->treeController->index(0, 0), Qt::Checked, Qt::CheckStateRole);
        EXPECT_TRUE(page->saveBtn->isEnabled());
        page->saveBtn->click();
        EXPECT_NE(page->sp, nullptr);
        if (!page->sp)
            return {};
        QSignalSpy ended(page, &PRResultViewController::exportEnded);
        page->sp->selectFile(target);
        QMetaObject::invokeMethod(page->sp, "accept");
        EXPECT_TRUE(ended.wait(kScanTimeoutMs));
        return ended.isEmpty() ? PRExportRun::Result{} : ended.first().first().value<PRExportRun::Result>();
    }

    QTemporaryDir m_home;
    QString m_root;
    PRReveal::Strategies m_previous;
    std::unique_ptr<VeldruneAppDelegate> m_delegate;
};

TEST_F(HostileWindow, StartsWhateverTheBackupListsAre)
{
    // Each of these once kept the window from appearing, or crashed it.
    const hostile::Backup fifo = make(QStringLiteral("0001-fifo"), "14.2");
    ASSERT_TRUE(hostile::replaceWithFifo(fifo.folder + QStringLiteral("/Info.plist")));
    ASSERT_TRUE(hostile::replaceWithFifo(fifo.folder + QStringLiteral("/Manifest.plist")));
    const hostile::Backup zero = make(QStringLiteral("0002-zero"), "14.2");
    ASSERT_TRUE(hostile::replaceWithLink(zero.folder + QStringLiteral("/Info.plist"), QStringLiteral("/dev/zero")));
    const hostile::Backup deep = make(QStringLiteral("0003-deep"), "14.2");
    ASSERT_TRUE(hostile::writeFile(deep.folder + QStringLiteral("/Info.plist"), hostile::deepXmlPlist(200000)));
    const hostile::Backup deepBinary = make(QStringLiteral("0004-deep-binary"), "14.2");
    ASSERT_TRUE(hostile::writeFile(deepBinary.folder + QStringLiteral("/Info.plist"), hostile::deepBinaryPlist(100000)));

    openWindow();
    // The three with a readable Manifest.plist stay in the list.
    EXPECT_EQ(m_delegate->deviceController->rowCount(), 3);
}

TEST_F(HostileWindow, NothingOutsideTheBackupIsReadOrExported)
{
    const hostile::Backup backup = make(QStringLiteral("0001"), "14.2");
    int n = 0;
    for (const QString &stored :
         {backup.storedBySuffix(QStringLiteral("CameraRollDomain"), QStringLiteral(".JPG")),
          backup.storedBySuffix(QStringLiteral("AppDomain-com.facebook"), QString()),
          backup.storedBySuffix(QStringLiteral("MediaDomain"), QStringLiteral("Contact.vcf")),
          backup.storedByPath(QStringLiteral("HomeDomain"), QStringLiteral("Library/Safari/Bookmarks.db"))}) {
        ASSERT_FALSE(stored.isEmpty());
        ASSERT_TRUE(hostile::replaceWithLink(
            stored, hostile::outsideFile(outside(), QStringLiteral("f%1").arg(++n), QByteArrayLiteral("\xff\xd8\xff\xe0"))));
    }
    openWindow();
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    page->actPhoto();

    QTemporaryDir target;
    const PRExportRun::Result result = exportEverything(page, target.filePath(QStringLiteral("Recovered")));
    EXPECT_GT(result.written, 10);
    EXPECT_EQ(hostile::filesHoldingMarker(target.path()), QStringList());
}

TEST_F(HostileWindow, PipesNeverHoldTheWindow)
{
    const hostile::Backup backup = make(QStringLiteral("0001"), "14.2");
    const QString sms = backup.storedByPath(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"));
    ASSERT_TRUE(hostile::replaceWithFifo(sms + QStringLiteral("-wal")));
    ASSERT_TRUE(hostile::replaceWithFifo(backup.storedBySuffix(QStringLiteral("MediaDomain"), QStringLiteral("Contact.vcf"))));
    // Every picture of the camera roll, so the first preview meets one.
    for (const auto &e : backup.entries) {
        if (e.domain == QStringLiteral("CameraRollDomain") && e.storedFileWritten
            && e.kind == samplegen::EntryKind::File) {
            ASSERT_TRUE(hostile::replaceWithFifo(e.storedPath));
        }
    }

    openWindow();
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    page->actPhoto();
    page->actMessage();
    QTemporaryDir target;
    exportEverything(page, target.filePath(QStringLiteral("Recovered")));
    // Closing joins every worker: none of them may be waiting on a FIFO.
    m_delegate.reset();
}

class HostileLongMessage : public HostileWindow, public ::testing::WithParamInterface<qsizetype>
{
};

// 1 MB once took minutes to lay out; 150 MB overflowed Qt's text layout.
INSTANTIATE_TEST_SUITE_P(Sizes, HostileLongMessage, ::testing::Values(qsizetype(1) << 20, qsizetype(150) << 20));

TEST_P(HostileLongMessage, NeverHoldsTheGuiThread)
{
    const hostile::Backup backup = make(QStringLiteral("0001"), "14.2");
    ASSERT_TRUE(hostile::longMessage(backup, GetParam()));
    openWindow();
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);

    testsupport::GuiProbe probe;
    page->actMessage();
    for (int row = 0; row < page->messageTreeController->rowCount(); ++row) {
        page->messageTreeTableView->selectRow(row);
        QTest::qWait(20);
    }
    probe.stop();
    // The real bound is 100 ms; this leaves room for a sanitized run.
    EXPECT_LT(probe.worst(), 1500);
}

TEST_F(HostileWindow, ReportsKeepTheirNames)
{
    const hostile::Backup backup = make(QStringLiteral("0001"), "14.2");
    ASSERT_TRUE(hostile::spoofReportNames(backup));
    openWindow();
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    QTemporaryDir target;
    const QString root = target.filePath(QStringLiteral("Recovered"));
    exportEverything(page, root);
    const QByteArray report = hostile::readFile(root + QStringLiteral("/Message/Message's Message.html"));
    EXPECT_FALSE(report.isEmpty());
    EXPECT_FALSE(report.contains("SPOOFED-REPORT"));
    EXPECT_FALSE(report.contains("<script"));
}

TEST_F(HostileWindow, MarkupNamesReadAsText)
{
    // Qt takes a tool tip that looks like markup for markup, and loads the
    // picture it names on the GUI thread.
    const hostile::Backup backup = make(QStringLiteral("0001"), "14.2");
    ASSERT_TRUE(hostile::markupNames(backup, QStringLiteral("<img src=\"&#47;nonexistent&#47;ostra-zero\">")));
    openWindow();
    const auto expectShownAsWritten = [&](int atLeast) {
        const testsupport::ShownPlaces shown =
            testsupport::walkShownText(m_delegate->window, QStringLiteral("ostra-zero"), QStringLiteral("<img src=\""));
        EXPECT_GE(shown.places, atLeast);
        EXPECT_TRUE(shown.wrong.isEmpty()) << qPrintable(shown.wrong.join(QLatin1Char('\n')));
    };
    expectShownAsWritten(1); // the backup list
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    page->actPhoto();
    QCoreApplication::processEvents();
    expectShownAsWritten(2); // and the photo grid
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    preferFFmpegBackend();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
