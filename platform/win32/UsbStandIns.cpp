#include "platform/win32/UsbStandIns.h"

namespace platform::win32 {

namespace {

UsbStandIns* s_installed = nullptr;

} // namespace

void UsbStandIns::Install(UsbStandIns& standIns)
{
    s_installed = &standIns;
}

UsbStandIns* UsbStandIns::For(wchar_t letter)
{
    return s_installed && s_installed->Names(letter) ? s_installed : nullptr;
}

} // namespace platform::win32
