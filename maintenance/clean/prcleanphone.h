#pragma once

namespace amd {
class AfcService;
}

// Whether a failed call of a cleaner job failed because its phone left. The
// registry cancels the job a moment after the phone's calls start to fail,
// so after a failed call the phone is asked on the service's own connection.
namespace PRCleanPhone {

bool hasLeft(amd::AfcService &service);

} // namespace PRCleanPhone
