#include "platform/linux/atspi/AtspiPaths.h"

#include "platform/linux/atspi/DBusWriter.h"

#include <cinttypes>
#include <cstdio>

namespace platform::linux::atspi {

namespace {
constexpr const char* kNodePrefix = "/org/a11y/atspi/accessible/w";
}

void AtspiPaths::SetDesktop(std::string busName, std::string path)
{
    m_desktopBusName = std::move(busName);
    m_desktopPath = std::move(path);
}

std::string AtspiPaths::NodePath(std::uint64_t window, std::uint32_t node)
{
    char path[96];
    std::snprintf(path, sizeof path, "%s%" PRIx64 "_%" PRIu32, kNodePrefix, window, node);
    return path;
}

std::optional<std::pair<std::uint64_t, std::uint32_t>> AtspiPaths::ParseNodePath(const std::string& path)
{
    std::string prefix = kNodePrefix;
    if (path.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    std::uint64_t window = 0;
    std::uint32_t node = 0;
    if (std::sscanf(path.c_str() + prefix.size(), "%" SCNx64 "_%" SCNu32, &window, &node) != 2)
        return std::nullopt;
    return std::make_pair(window, node);
}

void AtspiPaths::WriteReference(DBusWriter& writer, const std::string& path) const
{
    writer.BeginStruct();
    writer.String(path == NullPath ? std::string() : m_busName);
    writer.ObjectPath(path);
}

void AtspiPaths::WriteDesktopReference(DBusWriter& writer) const
{
    writer.BeginStruct();
    bool known = !m_desktopBusName.empty();
    writer.String(known ? m_desktopBusName : std::string());
    writer.ObjectPath(known ? m_desktopPath : std::string(NullPath));
}

} // namespace platform::linux::atspi
