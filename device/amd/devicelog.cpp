#include "device/amd/devicelog.h"

#include <cstdarg>
#include <cstdio>

namespace amd {

void printDeviceLine(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
}

} // namespace amd
