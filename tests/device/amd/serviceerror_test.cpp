#include "tests/device/amd/fakebackend.h"

#include "device/amd/serviceerror.h"

#include <gtest/gtest.h>

namespace {

using Kind = amd::ServiceError::Kind;

// A backend with words for one code of its library's own.
class WordyBackend : public FakeBackend
{
public:
    static constexpr int kLibraryCode = -0x1003;
    QString errorText(int code) const override
    {
        return code == kLibraryCode ? QStringLiteral("lockdown: invalid host id") : QString();
    }
};

class ServiceErrorMapping : public ::testing::Test
{
protected:
    void SetUp() override { m_previous = amd::setDeviceBackend(std::make_shared<WordyBackend>()); }
    void TearDown() override { amd::setDeviceBackend(m_previous); }

private:
    std::shared_ptr<amd::DeviceBackend> m_previous;
};

} // namespace

TEST_F(ServiceErrorMapping, EachBackendCodeHasItsKind)
{
    const struct
    {
        int code;
        Kind kind;
    } table[] = {
        {amd::kBackendNoDevice, Kind::PhoneGone},
        {amd::kBackendNotConnected, Kind::BrokenConnection},
        {amd::kBackendInvalidArgument, Kind::InvalidArgument},
        {amd::kBackendUnsupported, Kind::Unsupported},
        {amd::kBackendIoError, Kind::BrokenConnection},
        {amd::kBackendTimeout, Kind::Stalled},
        {amd::kBackendNotFound, Kind::NotFound},
        {amd::kBackendPairingFailed, Kind::NotTrusted},
        {amd::kBackendSessionFailed, Kind::Refused},
        {amd::kBackendServiceFailed, Kind::Refused},
        {amd::kBackendTrustPending, Kind::TrustPending},
        {amd::kBackendPasscodeLocked, Kind::Locked},
        {amd::kBackendTrustDenied, Kind::TrustDenied},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.code);
        const amd::ServiceError error = amd::ServiceError::fromBackend(row.code);
        EXPECT_EQ(error.kind(), row.kind);
        EXPECT_EQ(error.backendCode(), row.code);
        EXPECT_EQ(error.code(), row.code);
        EXPECT_TRUE(error.detail().isEmpty());
        EXPECT_EQ(error.isTrustQuestion(), amd::isTrustQuestion(row.code));
    }

    const amd::ServiceError none = amd::ServiceError::fromBackend(amd::kBackendOk);
    EXPECT_TRUE(none.ok());
    EXPECT_EQ(none.code(), 0);

    // A library's own code is the phone saying no, in the library's words.
    const amd::ServiceError library = amd::ServiceError::fromBackend(WordyBackend::kLibraryCode);
    EXPECT_EQ(library.kind(), Kind::Refused);
    EXPECT_EQ(library.backendCode(), WordyBackend::kLibraryCode);
    EXPECT_EQ(library.detail(), QStringLiteral("lockdown: invalid host id"));
    EXPECT_TRUE(amd::ServiceError::fromBackend(-0x5000).detail().isEmpty());

    // A failure of the layer's own still shows as a failure where a page
    // wants a code.
    EXPECT_EQ(amd::ServiceError(Kind::LocalFile).code(), 1);
}
