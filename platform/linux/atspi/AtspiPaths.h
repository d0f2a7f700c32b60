#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace platform::linux::atspi {

class DBusWriter;

// How the program's objects are named on the accessibility bus: the application's root, one
// path per node of each window ("w<window>_<node>"), and the (bus name, path) references that
// AT-SPI passes around, which carry our unique name.
class AtspiPaths {
public:
    static constexpr const char* RootPath = "/org/a11y/atspi/accessible/root";
    static constexpr const char* NullPath = "/org/a11y/atspi/null";

    // Our unique name on the bus, once connected; empty before.
    void SetBusName(std::string name) { m_busName = std::move(name); }
    const std::string& BusName() const { return m_busName; }
    // The registry's desktop, the root's parent.
    void SetDesktop(std::string busName, std::string path);

    static std::string NodePath(std::uint64_t window, std::uint32_t node);
    // The window and node a node's path names; nullopt for any other path.
    static std::optional<std::pair<std::uint64_t, std::uint32_t>> ParseNodePath(const std::string& path);
    // The (so) reference of one of our paths (the root is the application, whatever path the
    // desktop has) or of the null object.
    void WriteReference(DBusWriter& writer, const std::string& path) const;
    // The (so) reference of the registry's desktop, the application's parent.
    void WriteDesktopReference(DBusWriter& writer) const;

private:
    std::string m_busName;
    std::string m_desktopBusName;
    std::string m_desktopPath = NullPath;
};

} // namespace platform::linux::atspi
