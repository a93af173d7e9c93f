#include "filebrowser/prbrowserdevice.h"

#include "device/amd/appdirservice.h"

PRBrowserDevice PRBrowserDevice::of(const devjobs::JobControl &job)
{
    return PRBrowserDevice(job.deviceId(), job.handle(), job.udid());
}

bool PRBrowserDevice::ranBy(const devjobs::JobControl &job) const
{
    return isValid() && job.deviceId() == deviceId && (handle == 0 || job.handle() == handle)
           && (udid.isEmpty() || job.udid() == udid);
}

PRBrowserSession::PRBrowserSession(const PRBrowserDevice &device, const devjobs::JobControl *job)
    : m_device(device)
    , m_job(job)
{
}

PRBrowserSession::~PRBrowserSession() = default;

PRBrowserSession::Root &PRBrowserSession::open(const QString &bundleId)
{
    auto it = m_roots.find(bundleId);
    if (it != m_roots.end())
        return it->second;
    Root root;
    if (bundleId.isEmpty()) {
        root.service = std::make_unique<amd::AfcService>();
        root.code = root.service->open(m_device.deviceId).code();
        root.access = PRBrowserAccess::Whole;
    } else if (bundleId == u"." || bundleId == u".." || bundleId.contains(QLatin1Char('/'))
               || bundleId.contains(QLatin1Char('\\')) || bundleId.contains(QChar(0)) || bundleId.size() > 255) {
        // An identifier the phone gave is never a path of the house-arrest call.
        root.code = amd::kBackendInvalidArgument;
    } else {
        auto service = std::make_unique<amd::AppDirService>();
        root.code = service->open(m_device.deviceId, bundleId).code();
        root.access = PRBrowserAccess::Whole;
        // Where the phone refuses the container, its Documents may still open.
        if (root.code != 0 && root.code != amd::kBackendNoDevice && !gone()
            && service->openDocuments(m_device.deviceId, bundleId).ok()) {
            root.code = 0;
            root.access = PRBrowserAccess::DocumentsOnly;
        }
        root.service = std::move(service);
    }
    // The phone behind the id is the one the run is bound to, or none.
    const amd::DeviceHandle bound = m_device.handle != 0 ? m_device.handle : m_job ? m_job->handle() : 0;
    if (root.code == 0 && bound != 0 && root.service->deviceHandle() != bound)
        root.code = amd::kBackendNoDevice;
    if (root.code != 0) {
        m_noDevice = m_noDevice || root.code == amd::kBackendNoDevice;
        root.service.reset();
        root.access = PRBrowserAccess::None;
    }
    return m_roots.emplace(bundleId, std::move(root)).first->second;
}

amd::AfcService *PRBrowserSession::get(const QString &bundleId)
{
    return open(bundleId).service.get();
}

PRBrowserAccess PRBrowserSession::access(const QString &bundleId)
{
    return open(bundleId).access;
}

int PRBrowserSession::code(const QString &bundleId)
{
    return open(bundleId).code;
}

bool PRBrowserSession::lost(amd::AfcService *service)
{
    if (gone())
        return true;
    return service && !service->fileInfo(QStringLiteral("/"));
}

amd::ServiceError PRBrowserSession::stopError() const
{
    using Kind = amd::ServiceError::Kind;
    return amd::ServiceError(gone() ? Kind::PhoneGone : Kind::Cancelled);
}
