// The system as the stick job's tests have it: no backend, no helper process, no drives of its
// own; the tests hand every job its fake sticks.

#include "platform/Drives.h"
#include "platform/Process.h"
#include "platform/StickHelper.h"
#include "platform/Sticks.h"
#include "platform/files/Utf8.h"

namespace platform {

std::wstring GetModuleFileNameW()
{
    return L"D:\\AUTORUN\\arkeven";
}

std::uint16_t GetSystemDefaultLangID()
{
    return 0x0409; // US English: the final texts are the English ones
}

bool StickJobsRunInHelper()
{
    return false;
}

HelperStart StartStickHelper(const std::vector<HelperTarget>&)
{
    HelperStart start;
    start.error = "the tests start no helper";
    return start;
}

DriveName NameDrive(wchar_t)
{
    return {};
}

// Paths are the system's own, as on Windows: the text library is loaded from the source tree.
std::string ToNativePath(const std::wstring& drivePath)
{
    return ToUtf8(drivePath);
}

std::wstring ToDrivePath(const std::string& nativePath)
{
    return FromUtf8(nativePath);
}

Sticks& Sticks::System()
{
    // No drives, nothing to hold.
    class NoSticks final : public Sticks {
    public:
        std::vector<DriveFacts> ListDrives() override { return {}; }
        bool IsDriveStill(wchar_t, const std::wstring&) override { return false; }
        StickHoldResult Hold(wchar_t, const std::wstring&) override { return { nullptr, StickHoldError::NotThatDevice, "no drives" }; }
        std::vector<std::string> MissingTools() override { return {}; }
        std::wstring FindInstaller(const std::wstring&) override { return {}; }
        std::string SourceFilePath(const std::wstring&) override { return {}; }
    };
    static NoSticks sticks;
    return sticks;
}

} // namespace platform
