#include "tools/devicegen/scenariowriter.h"

namespace devicegen {

bool writeAppExtras(Writer &out, QVariantMap &, int)
{
    return out.ok();
}

} // namespace devicegen
