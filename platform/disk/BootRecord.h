#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Whether a disk's first sector can boot a volume that starts at `volumeFirstSector`: it
// carries boot code, and exactly the volume's partition is marked active. `detail` says why not.
bool CheckBootRecord(const std::uint8_t* sector, std::size_t size, std::uint64_t volumeFirstSector, std::string& detail);

} // namespace platform
