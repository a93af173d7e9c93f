// A backup's own property lists (Info, Manifest, Status) as a stranger
// writes them, read as the backup list reads them.
//
// Input: one selector byte, then the list. The list is always parsed from
// memory; bit 0 of the selector also makes it the folder's Info.plist, bit 1
// its Manifest.plist, bit 2 its Status.plist, and the folder is then read as
// a backup of the list.

#include "tests/fuzz/fuzzinput.h"

#include "backup/priosdevicecontroller.h"
#include "backup/priosdevicenode.h"
#include "platform/plistbounds.h"
#include "platform/propertylist.h"

#include <cstdlib>

namespace {

// The nesting a parsed tree reaches, counted without recursion so that the
// check itself cannot run out of stack on what it checks.
int depthOf(const QVariant &root)
{
    struct Item
    {
        QVariant value;
        int depth;
    };
    QList<Item> stack{{root, 1}};
    int deepest = 0;
    while (!stack.isEmpty()) {
        const Item item = stack.takeLast();
        deepest = std::max(deepest, item.depth);
        if (item.value.typeId() == QMetaType::QVariantMap) {
            for (const QVariant &v : item.value.toMap())
                stack.append({v, item.depth + 1});
        } else if (item.value.typeId() == QMetaType::QVariantList) {
            for (const QVariant &v : item.value.toList())
                stack.append({v, item.depth + 1});
        }
    }
    return deepest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned selector = data[0];
    const QByteArray list = FuzzInput::bytes(data + 1, size - 1);

    if (const std::optional<QVariant> root = PropertyList::fromData(list)) {
        // The bound the pre-scan promises: a deeper tree is never built (the
        // leaves of the deepest containers add one level).
        if (depthOf(*root) > PlistBounds::kMaxDepth + 1)
            std::abort();
    }

    const struct
    {
        unsigned bit;
        const char *name;
    } files[] = {{1, "Info.plist"}, {2, "Manifest.plist"}, {4, "Status.plist"}};
    bool any = false;
    for (const auto &file : files) {
        const QString name = QLatin1String(file.name);
        if (selector & file.bit) {
            FuzzInput::put(name, list);
            any = true;
        } else {
            FuzzInput::remove(name);
        }
    }
    if (any) {
        // A backup folder holds more than its lists; the list reads an
        // emptier one as no backup at all.
        static const bool stored = !FuzzInput::put(QStringLiteral("stored-file"), "x").isEmpty();
        Q_UNUSED(stored);
        const auto node = PRIOSDeviceController::readBackupFolder(FuzzInput::folder());
        if (node && node->backUpFilePath() != FuzzInput::folder())
            std::abort();
    }
    return 0;
}
