#pragma once

#include "platform/ReadBack.h"
#include "platform/linux/StickVolume.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform::linux {

// Writes files into a stick's FAT volume with mtools, without mounting it: our own read loop
// feeds `mcopy -i disk@@offset - ::/NAME`, so progress follows real byte counts. Reads them back
// the same way (`mtype`).
class FatFileWriter {
public:
    static constexpr std::size_t kChunkSize = 1024 * 1024;

    explicit FatFileWriter(StickVolume volume);

    // The environment every mtools run gets (the boot-loader installer's too): no drive check,
    // no user configuration, and code page 367 (US-ASCII) for short names. That one is built
    // into every glibc; the default 850 needs a conversion module that minimal systems leave out
    // (mtools then refuses every volume). The stick's names are all ASCII.
    static std::vector<std::string> MtoolsEnvironment();

    bool Exists(const std::string& name) const;

    // Copies `size` bytes from `sourceFd` to `name` (a path below the root, '/'-separated),
    // replacing a file of that name. `progress` gets the bytes written so far: 0 first, then
    // after every chunk, and `size` once mcopy has finished; false from it stops the copy.
    bool Write(int sourceFd, std::uint64_t size, const std::string& name,
        const std::function<bool(std::uint64_t written)>& progress, std::string& error);

    // Whether `name` on the volume holds exactly the `size` bytes that `sourceFd` reads.
    ReadBackResult Compare(int sourceFd, std::uint64_t size, const std::string& name, std::string& detail) const;

private:
    bool Remove(const std::string& name) const;
    std::optional<std::uint64_t> StoredSize(const std::string& name) const;
    static std::string VolumePath(const std::string& name) { return "::/" + name; }

    StickVolume m_volume;
};

} // namespace platform::linux
