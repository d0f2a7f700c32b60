#pragma once

#include <cstdint>
#include <string>

// Reading a written stick back from the medium itself, past the system's caches, so that a
// stick is called ready only when it holds what was written.
namespace platform {

enum class ReadBackResult { Same, Different, Unreadable };

// Whether a disk's first sector can boot a volume that starts at `volumeFirstSector`: it
// carries boot code, and exactly the volume's partition is marked active.
bool CheckBootRecord(const std::uint8_t* sector, std::size_t size, std::uint64_t volumeFirstSector, std::string& detail);

} // namespace platform
