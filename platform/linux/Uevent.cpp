#include "platform/linux/Uevent.h"

#include <cstring>

namespace platform::linux {

std::optional<Uevent> Uevent::Parse(const char* data, std::size_t size)
{
    if (!data || size == 0)
        return std::nullopt;
    std::string header(data, strnlen(data, size));
    auto at = header.find('@');
    if (at == std::string::npos || at == 0 || at + 1 >= header.size())
        return std::nullopt;

    Uevent event;
    event.action = header.substr(0, at);
    event.devPath = header.substr(at + 1);
    std::size_t offset = header.size() + 1;
    while (offset < size) {
        std::string entry(data + offset, strnlen(data + offset, size - offset));
        offset += entry.size() + 1;
        auto equals = entry.find('=');
        if (equals == std::string::npos || equals == 0)
            continue;
        event.variables[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    // The header and ACTION must agree; a message where they do not is not the kernel's.
    auto action = event.variables.find("ACTION");
    if (action != event.variables.end() && action->second != event.action)
        return std::nullopt;
    return event;
}

std::string Uevent::Variable(const std::string& name) const
{
    auto it = variables.find(name);
    return it == variables.end() ? std::string() : it->second;
}

} // namespace platform::linux
