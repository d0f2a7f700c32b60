#include "platform/posix/StickHold.h"

#include "platform/posix/StickDrive.h"

#include <map>
#include <mutex>

namespace platform::posix {

namespace {

std::mutex s_holdsMutex;
std::map<char, std::shared_ptr<HeldDisk>> s_holds;

} // namespace

DriveHoldResult StickHold::Acquire(char letter, const std::string& identity)
{
    DriveHoldResult result;
    auto& table = DriveTable::Instance();
    table.Rescan();
    auto drive = table.Find(letter);
    if (!drive || identity.empty() || drive->identity != identity) {
        result.error = DriveHoldError::NotThatDevice;
        result.detail = std::string("drive ") + (letter ? letter : '?') + ": is not the chosen stick any more";
        return result;
    }
    if (!StickDrive::IsStickLetter(drive->letter)) {
        result.error = DriveHoldError::Unavailable;
        result.detail = std::string("drive ") + drive->letter + ": is not a USB stick";
        return result;
    }
    auto disk = HeldDisk::Open(*drive, table.SysfsRoot(), result.error, result.detail);
    if (!disk)
        return result;
    std::lock_guard lock(s_holdsMutex);
    if (!s_holds.emplace(drive->letter, disk).second) {
        result.error = DriveHoldError::Unavailable;
        result.detail = std::string("drive ") + drive->letter + ": is in use by another job";
        return result;
    }
    result.hold = std::make_unique<StickHold>(drive->letter, std::move(disk));
    return result;
}

std::shared_ptr<HeldDisk> StickHold::HeldFor(char letter)
{
    std::lock_guard lock(s_holdsMutex);
    auto it = s_holds.find(letter);
    return it == s_holds.end() ? nullptr : it->second;
}

StickHold::StickHold(char letter, std::shared_ptr<HeldDisk> disk)
    : m_letter(letter)
    , m_disk(std::move(disk))
{
}

StickHold::~StickHold()
{
    std::lock_guard lock(s_holdsMutex);
    s_holds.erase(m_letter);
}

} // namespace platform::posix
