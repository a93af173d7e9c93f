#include "tools/devicegen/scenariowriter.h"

namespace devicegen {

bool writePhotoExtras(Writer &out, int)
{
    return out.ok();
}

} // namespace devicegen
