#include "platform/disk/BootRecord.h"

#include "platform/disk/LittleEndian.h"

#include <algorithm>

namespace platform {

namespace {

constexpr std::size_t kBootCodeSize = 440;
constexpr std::size_t kTableOffset = 446;
constexpr std::size_t kEntrySize = 16;
constexpr std::uint8_t kActive = 0x80;

} // namespace

bool CheckBootRecord(const std::uint8_t* sector, std::size_t size, std::uint64_t volumeFirstSector, std::string& detail)
{
    if (!sector || size < 512 || sector[510] != 0x55 || sector[511] != 0xAA) {
        detail = "the stick has no master boot record";
        return false;
    }
    // A fresh format leaves the code area empty: anything there came from the installer.
    if (std::all_of(sector, sector + kBootCodeSize, [](std::uint8_t b) { return b == 0; })) {
        detail = "the master boot record carries no boot code";
        return false;
    }
    int active = 0;
    bool volumeActive = false;
    for (std::size_t index = 0; index < 4; ++index) {
        const std::uint8_t* entry = sector + kTableOffset + index * kEntrySize;
        if (entry[0] != kActive)
            continue;
        ++active;
        volumeActive = volumeActive || GetLittle32(entry + 8) == volumeFirstSector;
    }
    if (active != 1 || !volumeActive) {
        detail = "the stick's partition is not the one active partition (" + std::to_string(active) + " active)";
        return false;
    }
    return true;
}

} // namespace platform
