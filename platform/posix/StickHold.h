#pragma once

#include "platform/Drives.h"
#include "platform/posix/HeldDisk.h"

#include <memory>

namespace platform::posix {

// A job's hold on the stick behind a drive letter. While it lives, every drive call of this
// process on that letter goes to the held disk, after checking that the letter still names it.
class StickHold final : public DriveHold {
public:
    static DriveHoldResult Acquire(char letter, const std::string& identity);
    // The disk a job of this process holds for `letter`; null when none does.
    static std::shared_ptr<HeldDisk> HeldFor(char letter);

    // Registered by Acquire.
    StickHold(char letter, std::shared_ptr<HeldDisk> disk);
    ~StickHold() override;

private:
    char m_letter;
    std::shared_ptr<HeldDisk> m_disk;
};

} // namespace platform::posix
