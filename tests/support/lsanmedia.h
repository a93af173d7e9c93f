#pragma once

// For a test program that plays or decodes media: the media framework's own
// leftovers (FFmpeg's option dictionaries, glib's and the sound server
// client's few bytes, the dynamic loader's error strings) are not ours to
// mend. Include in one file of the program.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libavutil.so\nleak:libavcodec.so\nleak:libavformat.so\nleak:libglib-2.0.so\nleak:libpulse.so\n"
           "leak:_dlerror_run\nleak:_dl_exception_create\n";
}
