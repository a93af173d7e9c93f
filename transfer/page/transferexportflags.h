#pragma once

#include <array>

// The transfer page's export-to-folder choices, in the order the save sheet's
// end picks them: each export action clears them all and sets its own, so
// the first one set is the export the sheet was opened for.
enum class TransferExport : int {
    PhotoSelected,
    PhotoAll,
    MusicSelected,
    MusicAll,
    AppSelected,
    AppAll,
    AppDir,
    VideoAll,
};

constexpr int kTransferExportCount = 8;

struct TransferExportFlags
{
    std::array<bool, kTransferExportCount> flags{};

    void clear() { flags.fill(false); }
    // Clears every flag and sets one: what each export action does first.
    void choose(TransferExport which)
    {
        clear();
        flags[std::size_t(which)] = true;
    }
    bool isSet(TransferExport which) const { return flags[std::size_t(which)]; }
    // The first flag set in dispatch order, or -1.
    int first() const
    {
        for (int i = 0; i < kTransferExportCount; ++i)
            if (flags[std::size_t(i)])
                return i;
        return -1;
    }
};
