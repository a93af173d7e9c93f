// The stand-in phone's services, spoken to over a socket pair as a client
// speaks to them once lockdown has started them: the file service's packets,
// house arrest, the installation proxy and springboard services.

#include "tools/standin/standinservice.h"

#include "platform/propertylist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <zip.h>

#include <atomic>
#include <cstring>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class SocketStream : public standin::ServiceStream
{
public:
    explicit SocketStream(int fd) : m_fd(fd) {}
    bool readExact(char *buffer, std::size_t size) override
    {
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::recv(m_fd, buffer + done, size - done, 0);
            if (n <= 0)
                return false;
            done += std::size_t(n);
        }
        return true;
    }
    bool writeAll(const char *data, std::size_t size) override
    {
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::send(m_fd, data + done, size - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += std::size_t(n);
        }
        return true;
    }

private:
    int m_fd;
};

struct AfcReply
{
    quint64 operation = 0;
    QByteArray fields;
    QByteArray data;
    quint64 status() const { return operation == 1 ? qFromLittleEndian<quint64>(fields.constData()) : ~0ull; }
};

QByteArray le64(quint64 value)
{
    QByteArray bytes(8, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

// A phone's folder, and one service of it on the other end of a socket pair.
class ServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        root = m_dir.path() + QStringLiteral("/phone");
        file("media/DCIM/100APPLE/IMG_0001.JPG", photo());
        file("media/Books/.keep", {});
        ASSERT_EQ(::symlink("/etc", QFile::encodeName(root + "/media/link").constData()), 0);
        file("containers/com.example.open/Documents/a.txt", "open");
        file("containers/com.example.open/Library/Preferences/p.plist", "<plist/>");
        file("containers/com.example.docs/Documents/a.txt", "docs");
        file("containers/com.example.docs/Library/secret", "secret");
        file("containers/com.example.closed/Documents/a.txt", "closed");
        file("icons/com.example.open.png", "\x89PNG icon");
        const auto app = [](const char *type, const char *access) {
            QVariantMap map{{"ApplicationType", type}, {"CFBundleDisplayName", "App"}, {"CFBundleVersion", "1"}};
            if (*access)
                map.insert("SimulatedHouseArrest", access);
            return map;
        };
        apps = {{"com.example.open", app("User", "")},
                {"com.example.docs", app("User", "DocumentsOnly")},
                {"com.example.closed", app("User", "Refused")},
                {"com.apple.mobilesafari", app("System", "")}};
        writeApps();
    }

    void TearDown() override { stop(); }

    // Hangs up, as a client does, and waits for the service to end.
    void stop()
    {
        if (m_client >= 0)
            ::shutdown(m_client, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        if (m_client >= 0)
            ::close(m_client);
        m_client = -1;
        m_packet = 0;
    }

    void file(const QString &relative, const QByteArray &data)
    {
        const QString path = root + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(data);
    }
    void writeApps() { PropertyList::writeFile(root + "/apps.plist", apps, PropertyList::Format::Binary); }
    QVariantMap readApps() { return PropertyList::readDictionary(root + "/apps.plist").value_or(QVariantMap()); }
    static QByteArray photo()
    {
        QByteArray bytes(300 * 1000, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 % 251);
        return bytes;
    }

    void start(const QString &service, const QVariantMap &options = {})
    {
        const standin::ServiceHandler handler = standin::serviceHandler(service);
        ASSERT_TRUE(handler);
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        m_client = fds[0];
        const int server = fds[1];
        m_thread = std::thread([this, handler, server, options] {
            standin::ServiceContext context;
            context.root = root;
            context.appsMutex = std::make_shared<std::mutex>();
            context.gone = [] { return false; };
            context.leave = [this, server] {
                ++leaves;
                ::shutdown(server, SHUT_RDWR);
            };
            context.options = options;
            SocketStream stream(server);
            handler(stream, context);
            ::close(server);
        });
    }

    bool sendPlist(const QVariantMap &message)
    {
        const QByteArray body = PropertyList::toData(message, PropertyList::Format::Xml);
        QByteArray frame(4, Qt::Uninitialized);
        qToBigEndian(quint32(body.size()), frame.data());
        return SocketStream(m_client).writeAll((frame + body).constData(), std::size_t(frame.size() + body.size()));
    }
    QVariant receivePlist()
    {
        SocketStream stream(m_client);
        char header[4];
        if (!stream.readExact(header, 4))
            return {};
        QByteArray body(qFromBigEndian<quint32>(header), Qt::Uninitialized);
        if (!stream.readExact(body.data(), std::size_t(body.size())))
            return {};
        return PropertyList::fromData(body).value_or(QVariant());
    }
    QVariantMap ask(const QVariantMap &message)
    {
        EXPECT_TRUE(sendPlist(message));
        return receivePlist().toMap();
    }
    // The messages of one installation proxy command, up to its last.
    QList<QVariantMap> command(const QVariantMap &message)
    {
        QList<QVariantMap> replies;
        EXPECT_TRUE(sendPlist(message));
        while (replies.isEmpty() || (replies.last().value("Status") != "Complete" && !replies.last().contains("Error"))) {
            const QVariant reply = receivePlist();
            if (!reply.isValid())
                break;
            replies.append(reply.toMap());
        }
        return replies;
    }

    std::optional<AfcReply> afc(quint64 operation, const QByteArray &fields, const QByteArray &payload = {})
    {
        QByteArray packet("CFA6LPAA");
        packet += le64(40 + fields.size() + payload.size()) + le64(40 + fields.size()) + le64(++m_packet)
                  + le64(operation) + fields + payload;
        SocketStream stream(m_client);
        char header[40];
        if (!stream.writeAll(packet.constData(), std::size_t(packet.size())) || !stream.readExact(header, 40))
            return std::nullopt;
        EXPECT_EQ(QByteArray(header, 8), "CFA6LPAA");
        EXPECT_EQ(qFromLittleEndian<quint64>(header + 24), m_packet);
        const quint64 entire = qFromLittleEndian<quint64>(header + 8);
        const quint64 own = qFromLittleEndian<quint64>(header + 16);
        AfcReply reply{qFromLittleEndian<quint64>(header + 32), QByteArray(qsizetype(own - 40), 0),
                       QByteArray(qsizetype(entire - own), 0)};
        if (!stream.readExact(reply.fields.data(), std::size_t(reply.fields.size()))
            || !stream.readExact(reply.data.data(), std::size_t(reply.data.size())))
            return std::nullopt;
        return reply;
    }
    quint64 afcStatus(quint64 operation, const QByteArray &fields, const QByteArray &payload = {})
    {
        const auto reply = afc(operation, fields, payload);
        return reply ? reply->status() : ~1ull;
    }
    QList<QByteArray> afcStrings(quint64 operation, const QByteArray &path)
    {
        const auto reply = afc(operation, path + '\0');
        if (!reply || reply->operation != 2)
            return {};
        QList<QByteArray> list = reply->data.split('\0');
        list.removeLast();
        return list;
    }
    quint64 open(const QByteArray &path, quint64 mode)
    {
        const auto reply = afc(0x0D, le64(mode) + path + '\0');
        return reply && reply->operation == 0x0E ? qFromLittleEndian<quint64>(reply->fields.constData()) : 0;
    }
    std::optional<QByteArray> read(quint64 handle, quint64 length)
    {
        const auto reply = afc(0x0F, le64(handle) + le64(length));
        return reply && reply->operation == 2 ? std::optional(reply->data) : std::nullopt;
    }
    QByteArray readAll(quint64 handle)
    {
        QByteArray all;
        while (const auto piece = read(handle, 64 * 1024)) {
            if (piece->isEmpty())
                break;
            all += *piece;
        }
        return all;
    }

    QString root;
    QVariantMap apps;
    std::atomic<int> leaves{0};

private:
    QTemporaryDir m_dir;
    int m_client = -1;
    quint64 m_packet = 0;
    std::thread m_thread;
};

using AfcServiceTest = ServiceTest;

TEST_F(AfcServiceTest, ListsDescribesAndReadsInPieces)
{
    start("com.apple.afc");
    EXPECT_EQ(afcStrings(0x03, "/"), (QList<QByteArray>{".", "..", "Books", "DCIM", "link"}));
    EXPECT_EQ(afcStrings(0x03, "/nowhere"), QList<QByteArray>());
    EXPECT_EQ(afcStatus(0x03, "/nowhere\0"), 8u);

    const QList<QByteArray> info = afcStrings(0x0A, "/DCIM/100APPLE/IMG_0001.JPG");
    struct stat st{};
    ::stat(QFile::encodeName(root + "/media/DCIM/100APPLE/IMG_0001.JPG").constData(), &st);
    EXPECT_EQ(info, (QList<QByteArray>{"st_size", "300000", "st_blocks", QByteArray::number(qint64(st.st_blocks)),
                                       "st_nlink", "1", "st_ifmt", "S_IFREG", "st_mtime",
                                       QByteArray::number(qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec),
                                       "st_birthtime",
                                       QByteArray::number(qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec)}));
    EXPECT_TRUE(afcStrings(0x0A, "/link").contains("S_IFLNK"));
    EXPECT_TRUE(afcStrings(0x0A, "/DCIM").contains("S_IFDIR"));

    const quint64 handle = open("/DCIM/100APPLE/IMG_0001.JPG", 1);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(read(handle, 1000)->size(), 1000);
    const auto tell = afc(0x12, le64(handle));
    ASSERT_TRUE(tell);
    EXPECT_EQ(tell->operation, 0x13u);
    EXPECT_EQ(qFromLittleEndian<quint64>(tell->fields.constData()), 1000u);
    EXPECT_EQ(afcStatus(0x11, le64(handle) + le64(0) + le64(0)), 0u); // back to the start
    EXPECT_EQ(readAll(handle), photo());
    EXPECT_EQ(afcStatus(0x14, le64(handle)), 0u);
    EXPECT_EQ(afcStatus(0x0F, le64(handle) + le64(10)), 7u); // closed
}

TEST_F(AfcServiceTest, WritesRenamesAndRemoves)
{
    start("com.apple.afc");
    const quint64 handle = open("/Books/new.txt", 3);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(afcStatus(0x10, le64(handle), "hello "), 0u);
    EXPECT_EQ(afcStatus(0x10, le64(handle), "world"), 0u);
    EXPECT_EQ(afcStatus(0x14, le64(handle)), 0u);
    QFile written(root + "/media/Books/new.txt");
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "hello world");

    EXPECT_EQ(afcStatus(0x07, le64(5) + "/Books/new.txt" + '\0'), 0u);
    EXPECT_EQ(afcStatus(0x18, QByteArray("/Books/new.txt\0/Books/old.txt\0", 30)), 0u);
    EXPECT_EQ(QFileInfo(root + "/media/Books/old.txt").size(), 5);
    EXPECT_EQ(afcStatus(0x09, "/a/b/c\0"), 0u); // every folder on the way
    EXPECT_EQ(afcStatus(0x09, "/a/b\0"), 0u);   // already there
    EXPECT_EQ(afcStatus(0x09, "/Books/old.txt\0"), 16u);
    EXPECT_EQ(afcStatus(0x08, "/a\0"), 1u); // not empty, as the phone says it
    EXPECT_EQ(afcStatus(0x22, "/a\0"), 0u);
    EXPECT_FALSE(QFileInfo::exists(root + "/media/a"));
    EXPECT_EQ(afcStatus(0x08, "/Books/old.txt\0"), 0u);
    EXPECT_EQ(afcStatus(0x08, "/Books/old.txt\0"), 8u);
}

TEST_F(AfcServiceTest, StaysInsideItsRootAndOpensOnlyRegularFiles)
{
    start("com.apple.afc");
    EXPECT_EQ(afcStatus(0x03, "/../\0"), 7u);
    EXPECT_EQ(afcStatus(0x0D, le64(1) + "/../apps.plist" + '\0'), 7u);
    EXPECT_EQ(afcStatus(0x0D, le64(1) + "/link/passwd" + '\0'), 8u); // a link is never walked through
    EXPECT_EQ(afcStatus(0x0D, le64(3) + "/link" + '\0'), 8u);
    EXPECT_EQ(afcStatus(0x03, "/link\0"), 8u);
    EXPECT_EQ(afcStatus(0x0D, le64(1) + "/DCIM" + '\0'), 9u);
    EXPECT_EQ(afcStatus(0x18, QByteArray("/Books\0/../Books\0", 17)), 7u);
    EXPECT_EQ(afcStatus(0x22, "/link\0"), 0u); // the link goes, not what it points at
    EXPECT_TRUE(QFileInfo::exists("/etc/passwd"));
    EXPECT_TRUE(QFileInfo::exists(root + "/apps.plist"));
}

TEST_F(AfcServiceTest, PhoneLeavesMidCopyAfterTheBytesAskedFor)
{
    start("com.apple.afc", {{"LeaveAfterBytes", 100000}});
    const quint64 handle = open("/DCIM/100APPLE/IMG_0001.JPG", 1);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(read(handle, 65536)->size(), 65536);
    EXPECT_EQ(read(handle, 65536)->size(), 100000 - 65536);
    EXPECT_FALSE(read(handle, 65536));
    EXPECT_EQ(leaves.load(), 1);
}

using HouseArrestTest = ServiceTest;

TEST_F(HouseArrestTest, VendsTheWholeContainerOfAnOpenApp)
{
    start("com.apple.mobile.house_arrest");
    EXPECT_EQ(ask({{"Command", "VendContainer"}, {"Identifier", "com.example.open"}}),
              (QVariantMap{{"Status", "Complete"}}));
    EXPECT_EQ(afcStrings(0x03, "/"), (QList<QByteArray>{".", "..", "Documents", "Library"}));
    const quint64 handle = open("/Library/Preferences/p.plist", 1);
    EXPECT_EQ(readAll(handle), "<plist/>");
}

TEST_F(HouseArrestTest, VendsOnlyTheDocumentsOfAnAppStoreApp)
{
    start("com.apple.mobile.house_arrest");
    EXPECT_EQ(ask({{"Command", "VendDocuments"}, {"Identifier", "com.example.docs"}}),
              (QVariantMap{{"Status", "Complete"}}));
    EXPECT_EQ(afcStrings(0x03, "/"), (QList<QByteArray>{".", "..", "Documents"}));
    EXPECT_EQ(afcStatus(0x03, "/Library\0"), 10u);
    EXPECT_EQ(afcStatus(0x0D, le64(1) + "/Library/secret" + '\0'), 10u);
    EXPECT_EQ(afcStatus(0x08, "/Documents\0"), 10u);
    EXPECT_EQ(readAll(open("/Documents/a.txt", 1)), "docs");
}

TEST_F(HouseArrestTest, RefusesAsACurrentPhoneDoes)
{
    const QVariantMap refused{{"Error", "InstallationLookupFailed"}};
    for (const auto &[command, app] : {std::pair{"VendContainer", "com.example.docs"},
                                       {"VendContainer", "com.example.closed"}, {"VendDocuments", "com.example.closed"},
                                       {"VendDocuments", "com.example.missing"}, {"VendDocuments", "../media"}}) {
        stop();
        start("com.apple.mobile.house_arrest");
        EXPECT_EQ(ask({{"Command", command}, {"Identifier", app}}), refused) << command << " " << app;
    }
}

using InstallProxyTest = ServiceTest;

TEST_F(InstallProxyTest, BrowsesInPiecesWithTheAttributesAskedFor)
{
    for (int i = 0; i < 41; ++i)
        apps.insert(QStringLiteral("com.example.more%1").arg(i, 2, 10, QLatin1Char('0')),
                    QVariantMap{{"ApplicationType", "User"}, {"CFBundleDisplayName", "More"}});
    writeApps();
    start("com.apple.mobile.installation_proxy");
    const QList<QVariantMap> replies =
        command({{"Command", "Browse"},
                 {"ClientOptions", QVariantMap{{"ApplicationType", "User"},
                                               {"ReturnAttributes", QStringList{"CFBundleDisplayName"}}}}});
    ASSERT_EQ(replies.size(), 4);
    QStringList ids;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(replies[i].value("Status"), "BrowsingApplications");
        EXPECT_EQ(replies[i].value("Total").toInt(), 44);
        EXPECT_EQ(replies[i].value("CurrentIndex").toInt(), i * 20);
        EXPECT_EQ(replies[i].value("CurrentAmount").toInt(), i < 2 ? 20 : 4);
        for (const QVariant &app : replies[i].value("CurrentList").toList()) {
            EXPECT_EQ(app.toMap().keys(), (QStringList{"CFBundleDisplayName", "CFBundleIdentifier"}));
            ids.append(app.toMap().value("CFBundleIdentifier").toString());
        }
    }
    EXPECT_FALSE(ids.contains("com.apple.mobilesafari"));
    EXPECT_EQ(ids.size(), 44);
    EXPECT_EQ(replies[3], (QVariantMap{{"Status", "Complete"}}));

    const QVariantMap lookup =
        ask({{"Command", "Lookup"}, {"ClientOptions", QVariantMap{{"BundleIDs", QStringList{"com.apple.mobilesafari"}}}}});
    EXPECT_EQ(lookup.value("LookupResult").toMap().keys(), QStringList{"com.apple.mobilesafari"});
}

TEST_F(InstallProxyTest, InstallsArchivesAndUninstallsAnApp)
{
    // A packed app as the App Store makes it, its Info.plist compressed.
    QDir().mkpath(root + "/media/PublicStaging");
    const QByteArray info = PropertyList::toData(
        QVariantMap{{"CFBundleIdentifier", "com.example.new"}, {"CFBundleName", "New"}}, PropertyList::Format::Binary);
    zip_t *zip = zip_open(QFile::encodeName(root + "/media/PublicStaging/new.ipa").constData(), ZIP_CREATE, nullptr);
    ASSERT_NE(zip, nullptr);
    zip_source_t *source = zip_source_buffer(zip, info.constData(), zip_uint64_t(info.size()), 0);
    ASSERT_GE(zip_file_add(zip, "Payload/New.app/Info.plist", source, 0), 0);
    ASSERT_EQ(zip_close(zip), 0);
    start("com.apple.mobile.installation_proxy");

    EXPECT_EQ(command({{"Command", "Install"}, {"PackagePath", "PublicStaging/new.ipa"},
                       {"ClientOptions", QVariantMap{{"PackageType", "Developer"}}}})
                  .last()
                  .value("Error"),
              "PackageInspectionFailed");
    const QList<QVariantMap> installed = command({{"Command", "Install"}, {"PackagePath", "PublicStaging/new.ipa"}});
    int percent = 0;
    for (const QVariantMap &status : installed.mid(0, installed.size() - 1)) {
        EXPECT_GE(status.value("PercentComplete").toInt(), percent) << status.value("Status").toString().toStdString();
        percent = status.value("PercentComplete").toInt();
    }
    EXPECT_EQ(percent, 90);
    EXPECT_EQ(installed.last(), (QVariantMap{{"Status", "Complete"}}));
    EXPECT_EQ(readApps().value("com.example.new").toMap().value("CFBundleName"), "New");
    EXPECT_TRUE(QFileInfo(root + "/containers/com.example.new/Documents").isDir());

    const QVariantMap archive{{"Command", "Archive"},
                              {"ApplicationIdentifier", "com.example.open"},
                              {"ClientOptions", QVariantMap{{"SkipUninstall", true}}}};
    EXPECT_EQ(command(archive).last(), (QVariantMap{{"Status", "Complete"}}));
    EXPECT_TRUE(QFileInfo(root + "/media/ApplicationArchives/com.example.open.zip").isFile());
    EXPECT_EQ(command(archive).last().value("Error"), "AlreadyArchived");
    EXPECT_TRUE(ask({{"Command", "LookupArchives"}}).value("LookupResult").toMap().contains("com.example.open"));
    EXPECT_EQ(command({{"Command", "RemoveArchive"}, {"ApplicationIdentifier", "com.example.open"}}).last(),
              (QVariantMap{{"Status", "Complete"}}));
    EXPECT_FALSE(QFileInfo::exists(root + "/media/ApplicationArchives/com.example.open.zip"));

    for (int twice = 0; twice < 2; ++twice) // a phone ignores an app that is not there
        EXPECT_EQ(command({{"Command", "Uninstall"}, {"ApplicationIdentifier", "com.example.new"}}).last(),
                  (QVariantMap{{"Status", "Complete"}}));
    EXPECT_FALSE(readApps().contains("com.example.new"));
    EXPECT_FALSE(QFileInfo::exists(root + "/containers/com.example.new"));
}

using SpringboardTest = ServiceTest;

TEST_F(SpringboardTest, AnswersIcons)
{
    start("com.apple.springboardservices");
    EXPECT_EQ(ask({{"command", "getIconPNGData"}, {"bundleId", "com.example.open"}}),
              (QVariantMap{{"pngData", QByteArray("\x89PNG icon")}}));
    EXPECT_EQ(ask({{"command", "getIconPNGData"}, {"bundleId", "com.example.docs"}}), QVariantMap());
    EXPECT_EQ(ask({{"command", "getIconPNGData"}, {"bundleId", "../apps.plist"}}), QVariantMap());
}

TEST_F(SpringboardTest, CutsAReplyWhenAsked)
{
    start("com.apple.springboardservices", {{"CutReply", "com.apple.springboardservices"}});
    ASSERT_TRUE(sendPlist({{"command", "getIconPNGData"}, {"bundleId", "com.example.open"}}));
    EXPECT_FALSE(receivePlist().isValid());
}

} // namespace
