#pragma once

#include "platform/posix/UniqueFd.h"

#include <string>

namespace platform::posix {

// An exclusive BSD lock on a whole disk while it is written behind the kernel's back: udev skips
// probing a locked disk, so no desktop mounts a half-written volume. Best effort: a disk that
// stays locked elsewhere for five seconds is written anyway.
class DiskLock {
public:
    explicit DiskLock(const std::string& diskPath);
    bool IsOpen() const { return m_fd.IsValid(); }

private:
    UniqueFd m_fd;
};

} // namespace platform::posix
