// The contacts, messages and notes panes of the transfer page over the
// simulated phone and its simulated backup: the lists, the previews (a
// contact card, conversations paged fifty at a time, a note) and the exports
// into Documents.

#include "tests/support/eventwait.h"
#include "tests/transfer/transferfixture.h"

#include "filesafety/prreveal.h"
#include "filesafety/prthumbnailer.h"
#include "results/prconversationview.h"
#include "results/recordmodels.h"
#include "transfer/page/prtansferviewcontroller.h"
#include "transfer/page/prtransferpersonalpane.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

using namespace transfertest;

namespace {

constexpr int kWaitMs = testsupport::kEventWaitMs;
using Load = PRTansferViewController::Load;

class PersonalPaneTest : public PhoneTest
{
protected:
    void SetUp() override
    {
        PhoneTest::SetUp();
        page = std::make_unique<PRTansferViewController>();
        page->showView(&host);
        host.resize(1100, 700);
        page->recordLoad().setBackupRoot(m_home.filePath(QStringLiteral("tmp/Backup")));
        for (PRTransferPersonalPane *pane : {page->contactPane, page->messagePane, page->notePane}) {
            pane->setDocumentsFolder(m_home.filePath(QStringLiteral("Documents")));
            pane->setNotice([this](const QString &, const QString &text) { notices.append(text); });
            pane->setReveal([this](const QString &folder) { revealed.append(folder); });
        }
        connect = QObject::connect(page.get(), &PRTansferViewController::backupAlert,
                                   [this](const QString &text, const QString &) { alerts.append(text); });
    }
    void TearDown() override
    {
        QObject::disconnect(connect);
        page.reset();
        PhoneTest::TearDown();
    }

    int plugPhone(amd::DeviceHandle *handle = nullptr)
    {
        const int phone = plug(scenario(), handle);
        PRiDeviceNode node;
        node.udidNumber = devicegen::kUniqueDeviceId;
        node.iOSVersion = QStringLiteral("16.7.2");
        node.deviceName = devicegen::kDeviceName;
        page->setCurrentIDevicenode(node);
        return phone;
    }

    static std::shared_ptr<PRMessageTreeNode> conversation(int messages)
    {
        auto node = std::make_shared<PRMessageTreeNode>();
        node->setMessageTreeNodeName(QStringLiteral("Ada"));
        node->setMessageTreeNodeAdress(QStringLiteral("+15550100"));
        for (int i = 0; i < messages; ++i) {
            auto m = std::make_shared<PRMessageNode>();
            m->setMessageContent(QStringLiteral("Message %1").arg(i + 1));
            m->setMessageType(i % 2 ? QStringLiteral("Send") : QStringLiteral("Received"));
            m->setMessagePhone(QStringLiteral("+15550100"));
            node->messages().append(m);
        }
        return node;
    }

    QWidget host;
    QTemporaryDir m_home;
    std::unique_ptr<PRTansferViewController> page;
    QStringList notices;
    QStringList revealed;
    QStringList alerts;
    QMetaObject::Connection connect;
};

TEST_F(PersonalPaneTest, ThePanesFillFromOneBackupAndPreviewTheirRows)
{
    for (PRTransferPersonalPane *pane : {page->contactPane, page->messagePane, page->notePane})
        EXPECT_FALSE(pane->noPhoneLab->isHidden());
    const int phone = plugPhone();
    QSignalSpy ended(page.get(), &PRTansferViewController::loadEnded);
    page->showNoteView();
    page->showNote(phone);
    page->showMessageView();
    page->showMessage(phone);
    EXPECT_TRUE(page->isLoadStarted(Load::Message));
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->isLoadFinished(Load::Message) && page->isLoadFinished(Load::Note); },
                                kWaitMs))
        << qPrintable(alerts.join(';'));
    // The contacts came with the messages: the pane is filled and done.
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->isLoadFinished(Load::Contact); }, kWaitMs));
    EXPECT_TRUE(alerts.isEmpty());
    EXPECT_GT(page->contactPane->controller->rowCount(), 0);
    EXPECT_GT(page->messagePane->controller->rowCount(), 0);
    EXPECT_GT(page->notePane->controller->rowCount(), 0);
    // The first row is selected by the finish step, without a preview.
    EXPECT_EQ(page->messagePane->table->selectionModel()->selectedRows().size(), 1);
    EXPECT_TRUE(page->messagePane->messageTreeScrollView->chatViews().isEmpty());

    // A contact's card: empty values hide their labels.
    PRTransferPersonalPane *contacts = page->contactPane;
    int row = -1;
    for (int i = 0; i < contacts->controller->rowCount() && row < 0; ++i) {
        const auto c = std::dynamic_pointer_cast<PRContactNode>(contacts->controller->nodeAt(i));
        if (c && !c->contactName().isEmpty() && !c->contactPhone().isEmpty())
            row = i;
    }
    ASSERT_GE(row, 0);
    contacts->table->clearSelection();
    contacts->table->selectRow(row);
    const auto contact = std::dynamic_pointer_cast<PRContactNode>(contacts->controller->nodeAt(row));
    EXPECT_EQ(contacts->contactLabels[0]->text(), contact->contactName());
    EXPECT_EQ(contacts->contactLabels[1]->text(), QStringLiteral("Phone: ") + contact->contactPhone());
    EXPECT_FALSE(contacts->contactLabels[1]->isHidden());
    EXPECT_EQ(contacts->contactLabels[2]->isHidden(), contact->contactEmail().isEmpty());

    // A conversation as bubbles; a note's text.
    PRTransferPersonalPane *messages = page->messagePane;
    messages->table->clearSelection();
    messages->table->selectRow(0);
    EXPECT_FALSE(messages->messageTreeScrollView->chatViews().isEmpty());
    PRTransferPersonalPane *notes = page->notePane;
    notes->table->clearSelection();
    notes->table->selectRow(0);
    const auto note = std::dynamic_pointer_cast<PRNoteNode>(notes->controller->nodeAt(0));
    EXPECT_EQ(notes->noteContentlab->text(), note->noteContent());

    // With rows selected, the contact and message menus keep their items
    // off; the note menu's follow its actions.
    for (PRTransferPersonalPane *pane : {contacts, messages, notes}) {
        pane->menuNeedsUpdate(pane->menu);
        for (QAction *a : pane->menu->actions())
            EXPECT_EQ(a->isEnabled(), pane == notes) << qPrintable(a->text());
        EXPECT_TRUE(pane->noPhoneLab->isHidden());
    }

    // One backup served the three kinds.
    EXPECT_TRUE(QFileInfo::exists(page->recordLoad().backupRoot() + '/' + devicegen::kUniqueDeviceId + "/Manifest.plist"));
    EXPECT_TRUE(page->recordLoad().bBackup());

    // The phone leaves: its lists go with it.
    page->deviceRemoved(phone);
    EXPECT_EQ(page->contactPane->controller->rowCount(), 0);
    EXPECT_EQ(page->messagePane->controller->rowCount(), 0);
    EXPECT_FALSE(page->isLoadFinished(Load::Note));
    EXPECT_FALSE(page->notePane->noPhoneLab->isHidden());
}

TEST_F(PersonalPaneTest, ConversationsArePagedFiftyAtATime)
{
    PRTransferPersonalPane *pane = page->messagePane;
    PRTransferRecordLoad::Lists lists;
    lists.messageTreeArray = {conversation(49), conversation(50), conversation(51)};
    pane->setContent(lists);
    PRConversationView *view = pane->messageTreeScrollView;
    auto show = [&](int row) {
        pane->table->clearSelection();
        pane->table->selectRow(row);
    };
    show(0);
    EXPECT_EQ(view->chatViews().size(), 49);
    EXPECT_EQ(view->moreButton(), nullptr);
    show(1);
    EXPECT_EQ(view->chatViews().size(), 50);
    ASSERT_NE(view->moreButton(), nullptr);
    view->moreButton()->click();
    EXPECT_EQ(view->chatViews().size(), 50);
    EXPECT_EQ(view->moreButton(), nullptr);
    show(2);
    EXPECT_EQ(view->chatViews().size(), 50);
    ASSERT_NE(view->moreButton(), nullptr);
    view->moreButton()->click();
    EXPECT_EQ(view->chatViews().size(), 51);
    EXPECT_EQ(view->moreButton(), nullptr);
}

TEST_F(PersonalPaneTest, ExportsLandInTheirDocumentsFolders)
{
    const int phone = plugPhone();
    page->showContact(phone);
    page->showNote(phone);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->isLoadFinished(Load::Contact) && page->isLoadFinished(Load::Note); },
                                kWaitMs));
    const QString documents = m_home.filePath(QStringLiteral("Documents"));
    QSignalSpy contactsEnded(page->contactPane, &PRTransferPersonalPane::exportEnded);
    page->contactPane->exportAllAction->trigger();
    EXPECT_TRUE(page->contactPane->isBusy());
    ASSERT_TRUE(contactsEnded.size() == 1 || contactsEnded.wait(kWaitMs));
    const int vcards = int(QDir(documents + "/Contact").entryList(QDir::Files).size());
    EXPECT_EQ(vcards, page->contactPane->controller->rowCount());
    EXPECT_EQ(revealed, QStringList{documents + "/Contact"});

    QSignalSpy notesEnded(page->notePane, &PRTransferPersonalPane::exportEnded);
    page->notePane->table->selectRow(0);
    page->notePane->exportSelectedAction->trigger();
    ASSERT_TRUE(notesEnded.size() == 1 || notesEnded.wait(kWaitMs));
    page->notePane->exportSelectedAction->trigger();
    ASSERT_TRUE(notesEnded.size() == 2 || notesEnded.wait(kWaitMs));
    // Two exports, two files: the second never replaces the first.
    const QStringList texts = QDir(documents + "/Note").entryList({QStringLiteral("*.txt")}, QDir::Files);
    EXPECT_EQ(texts.size(), 2) << qPrintable(texts.join(';'));
    EXPECT_TRUE(notices.isEmpty()) << qPrintable(notices.join(';'));
}

TEST_F(PersonalPaneTest, AFailedBackupEndsTheSpinnerAndTheKindRetries)
{
    amd::DeviceHandle handle = 0;
    const int phone = plugPhone(&handle);
    amd::SimulatedFaults faults;
    faults.failingCalls.insert(QStringLiteral("backup"), amd::kBackendIoError);
    backend->setFaults(handle, faults);
    // Chosen again the moment its spinner stops, before the failed run's own
    // end has come back: the new run is not undone by it.
    bool startedAtEnd = true;
    bool finishedAtEnd = true;
    QObject::connect(
        page.get(), &PRTansferViewController::loadEnded, page.get(),
        [&](Load which) {
            startedAtEnd = page->isLoadStarted(which);
            finishedAtEnd = page->isLoadFinished(which);
            backend->setFaults(handle, {});
            page->showContact(phone);
        },
        Qt::SingleShotConnection);
    page->showContact(phone);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->isLoadFinished(Load::Contact); }, kWaitMs));
    EXPECT_FALSE(startedAtEnd);
    EXPECT_FALSE(finishedAtEnd);
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts.first(), QStringLiteral("The phone could not be backed up."));
    EXPECT_GT(page->contactPane->controller->rowCount(), 0);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    preferFFmpegBackend();
    QApplication app(argc, argv);
    PRReveal::setStrategies({[](const QString &) { return true; }, [](const QUrl &) { return true; }});
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
