#pragma once

#include "platform/Sticks.h"
#include "platform/linux/HeldDisk.h"

#include <memory>

namespace platform::linux {

// A job's hold on the stick behind a drive letter: the whole disk open for the job (HeldDisk).
// Each operation first checks that the letter still names the held device, then works on the
// held disk itself: the format through VolumeFormatter, the copies and read-backs through
// mtools, the boot loader through BootLoaderInstaller.
class StickHold final : public HeldStick {
public:
    static StickHoldResult Acquire(char letter, const std::string& identity);
    // The disk a job of this process holds for `letter`; null when none does.
    static std::shared_ptr<HeldDisk> HeldFor(char letter);

    // Registered by Acquire.
    StickHold(char letter, std::shared_ptr<HeldDisk> disk);
    ~StickHold() override;

    FormatOutcome Format(const FormatRequest& request, const FormatProgress& progress) override;
    bool CopyIn(const std::wstring& source, const std::wstring& name, const CopyProgress& progress) override;
    ReadBackResult ReadBack(const std::wstring& source, const std::wstring& name, std::string& detail) override;
    int InstallBootLoader(const std::wstring& program) override;
    bool ReadBackBootPieces(std::string& detail) override;

private:
    char m_letter;
    std::shared_ptr<HeldDisk> m_disk;
};

} // namespace platform::linux
