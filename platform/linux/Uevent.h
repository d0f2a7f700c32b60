#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>

namespace platform::linux {

// One kernel uevent as the NETLINK_KOBJECT_UEVENT socket delivers it:
// "add@/devices/...\0ACTION=add\0SUBSYSTEM=block\0DEVTYPE=disk\0...".
struct Uevent {
    std::string action;
    std::string devPath;
    std::map<std::string, std::string> variables;

    // nullopt for anything that is not a kernel message (udev's own start with "libudev").
    static std::optional<Uevent> Parse(const char* data, std::size_t size);

    std::string Variable(const std::string& name) const;
    bool IsWholeDisk() const { return Variable("SUBSYSTEM") == "block" && Variable("DEVTYPE") == "disk"; }
};

} // namespace platform::linux
