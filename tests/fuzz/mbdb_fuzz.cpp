// Manifest.mbdb as a stranger writes it: every record the reader gives back
// must lie inside the file, and the walk must end.

#include "tests/fuzz/fuzzinput.h"

#include "backup/mbdbreader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = FuzzInput::put(QStringLiteral("Manifest.mbdb"), FuzzInput::bytes(data, size));
    if (path.isEmpty())
        return 0;
    MbdbReader reader;
    if (!reader.open(path))
        return 0;
    MbdbReader::Record record;
    qint64 last = reader.position();
    while (reader.next(record)) {
        // Each record moves the walk forward and never past the end: a
        // reader that stood still would loop for ever on this input.
        if (record.endOffset <= last || record.endOffset > qint64(size)
            || record.domain.size() + record.relativePath.size() > qsizetype(size))
            std::abort();
        last = record.endOffset;
    }
    return 0;
}
