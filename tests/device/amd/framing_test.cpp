#include "tests/device/amd/devicetestfixture.h"

#include "device/amd/sbservice.h"
#include "platform/propertylist.h"
#include "tests/support/qtprinters.h"

#include <QtEndian>

#include <chrono>

using Kind = amd::ServiceError::Kind;

namespace {

QByteArray frame(const QByteArray &body)
{
    char header[4];
    qToBigEndian(quint32(body.size()), header);
    return QByteArray(header, 4) + body;
}

QByteArray lengthOnly(quint32 length)
{
    char header[4];
    qToBigEndian(length, header);
    return QByteArray(header, 4);
}

QByteArray xml(const QVariant &root)
{
    return PropertyList::toData(root, PropertyList::Format::Xml);
}

} // namespace

class FramingTest : public DeviceLayerTest
{
protected:
    void SetUp() override
    {
        DeviceLayerTest::SetUp();
        m_id = plugPhone();
        ASSERT_GE(m_id, 0);
    }

    // A springboard client whose peer answers with script.
    std::unique_ptr<amd::SBService> openWith(const FakeBackend::PeerScript &script)
    {
        m_fake->setPeerScript(script);
        auto service = std::make_unique<amd::SBService>();
        EXPECT_TRUE(service->open(m_id).ok());
        return service;
    }

    int m_id = -1;
};

TEST_F(FramingTest, RepliesInPiecesAreAssembledWhole)
{
    const QVariantMap reply{{QStringLiteral("pngData"), QByteArray(5000, 'p')},
                            {QStringLiteral("note"), QStringLiteral("caf\u00e9")}};
    for (const int piece : {1, 3, 0}) {
        SCOPED_TRACE(piece);
        auto service = openWith({frame(xml(reply)), piece});
        EXPECT_EQ(service->receivePlist().toOptional(), reply);
        EXPECT_EQ(m_fake->unreadReply(service->serviceSocket()), 0);
    }
}

TEST_F(FramingTest, BadLengthsAndBodiesYieldNothing)
{
    const QByteArray trailing = xml(QVariantMap{{QStringLiteral("a"), 1}});

    // A length of 0 reads no further.
    auto zero = openWith({lengthOnly(0) + trailing});
    EXPECT_FALSE(zero->receivePlist());
    EXPECT_EQ(m_fake->unreadReply(zero->serviceSocket()), trailing.size());

    // A length over the cap is refused before anything is allocated or read.
    auto huge = openWith({lengthOnly(0x80000000u) + trailing});
    EXPECT_FALSE(huge->receivePlist());
    EXPECT_EQ(m_fake->unreadReply(huge->serviceSocket()), trailing.size());
    EXPECT_LE(m_fake->largestReceiveRequest, qint64(amd::BaseService::kMaxFrameBytes));

    auto array = openWith({frame(xml(QVariantList{1, 2}))});
    EXPECT_FALSE(array->receivePlist());

    auto garbage = openWith({frame("not a property list")});
    EXPECT_FALSE(garbage->receivePlist());

    const QByteArray body = xml(QVariantMap{{QStringLiteral("pngData"), QByteArray(100, 'x')}});
    auto cut = openWith({frame(body).left(body.size() / 2)});
    EXPECT_FALSE(cut->receivePlist());

    auto halfHeader = openWith({QByteArray("\0\0", 2)});
    EXPECT_FALSE(halfHeader->receivePlist());
}

TEST_F(FramingTest, ASilentPeerEndsTheReadAfterTheTimeout)
{
    amd::BaseService::setReceiveTimeout(200);
    auto silent = openWith({frame(xml(QVariantMap{{QStringLiteral("a"), 1}})).left(6), 0, true});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(silent->receivePlist().error().kind(), Kind::Stalled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(FramingTest, IconRequestAndReplies)
{
    m_fake->sendPiece = 5; // the request goes out in many sends
    const QByteArray png("\x89PNG\r\n\x1a\n....", 12);
    auto service = openWith({frame(xml(QVariantMap{{QStringLiteral("pngData"), png}})), 1});
    QByteArray out("old");
    EXPECT_TRUE(service->getIconPNGData(QStringLiteral("com.example.app"), &out).ok());
    EXPECT_EQ(out, png);

    const QByteArray sent = m_fake->peerReceived();
    ASSERT_GE(sent.size(), 4);
    EXPECT_EQ(qFromBigEndian<quint32>(sent.constData()), quint32(sent.size() - 4));
    const auto request = PropertyList::fromData(sent.mid(4));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->toMap(), (QVariantMap{{QStringLiteral("command"), QStringLiteral("getIconPNGData")},
                                             {QStringLiteral("bundleId"), QStringLiteral("com.example.app")}}));

    auto noIcon = openWith({frame(xml(QVariantMap{{QStringLiteral("other"), 1}}))});
    out = "old";
    EXPECT_EQ(noIcon->getIconPNGData(QStringLiteral("com.example.app"), &out).kind(), Kind::BadReply);
    EXPECT_TRUE(out.isEmpty());

    auto wrongType = openWith({frame(xml(QVariantMap{{QStringLiteral("pngData"), QStringLiteral("text")}}))});
    EXPECT_EQ(wrongType->getIconPNGData(QStringLiteral("com.example.app"), &out).kind(), Kind::BadReply);

    // A device that is gone takes no request.
    m_fake->configure(kPhone, [](FakeBackend::Device &d) { d.present = false; });
    EXPECT_TRUE(wrongType->getIconPNGData(QStringLiteral("com.example.app"), &out).failed());
}
