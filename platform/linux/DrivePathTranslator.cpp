#include "platform/linux/DrivePathTranslator.h"

#include "platform/files/Utf8.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace platform::linux {

namespace {

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

bool IsUnder(const std::string& path, const std::string& root)
{
    if (root == "/")
        return !path.empty() && path[0] == '/';
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/');
}

bool Exists(const fs::path& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The entry of `folder` that is `name` when case does not count, as drive paths do not.
// Exact spelling wins; among several spellings the first in name order.
std::optional<std::string> FindEntry(const fs::path& folder, const std::string& name)
{
    if (Exists(folder / name))
        return name;
    std::vector<std::string> matches;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string entry = it->path().filename().string();
        if (EqualsIgnoringAsciiCase(entry, name))
            matches.push_back(entry);
    }
    if (matches.empty())
        return std::nullopt;
    return *std::min_element(matches.begin(), matches.end());
}

// "\\?\E:", "\\.\E:\x", "e:" -> 'E' and the rest after the colon; nullopt without a drive letter.
std::optional<std::pair<char, std::wstring>> SplitDriveLetter(std::wstring path)
{
    if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0)
        path.erase(0, 4);
    if (path.size() < 2 || path[1] != L':')
        return std::nullopt;
    wchar_t letter = DriveLetterOf(path[0]);
    if (!letter)
        return std::nullopt;
    return std::make_pair(static_cast<char>(letter), path.substr(2));
}

} // namespace

std::string DrivePathTranslator::ToNativePath(const std::wstring& drivePath) const
{
    auto split = SplitDriveLetter(drivePath);
    if (!split)
        return ToUtf8(drivePath);
    auto drive = m_table.Find(split->first);
    if (!drive || drive->kind != DriveInfo::Kind::CdRoot)
        return {}; // no such drive, or a stick: its volume has no files here

    // Drive paths are absolute from the drive's root; "." and ".." are folded in here so a
    // path can never climb out of the CD root.
    std::vector<std::string> components;
    std::string rest = ToUtf8(split->second);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('/', start);
        if (end == std::string::npos)
            end = rest.size();
        std::string component = rest.substr(start, end - start);
        if (component == "..") {
            if (!components.empty())
                components.pop_back();
        } else if (!component.empty() && component != ".") {
            components.push_back(component);
        }
        start = end + 1;
    }

    fs::path native(drive->path);
    bool resolving = true;
    for (const std::string& component : components) {
        std::optional<std::string> entry = resolving ? FindEntry(native, component) : std::nullopt;
        resolving = entry.has_value();
        native /= entry.value_or(component);
    }
    return native.string();
}

std::wstring DrivePathTranslator::ToDrivePath(const std::string& nativePath) const
{
    auto cd = m_table.CdRoot();
    if (!cd)
        return FromUtf8(nativePath);

    std::string path = nativePath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (!IsUnder(path, cd->path)) {
        std::error_code error;
        auto canonical = fs::canonical(path, error);
        if (error || !IsUnder(canonical.string(), cd->path))
            return FromUtf8(nativePath);
        path = canonical.string();
    }
    std::string rest = cd->path == "/" ? path : path.substr(cd->path.size());
    while (!rest.empty() && rest.front() == '/')
        rest.erase(rest.begin());
    std::replace(rest.begin(), rest.end(), '/', '\\');
    std::wstring drivePath = L"D:\\";
    drivePath[0] = static_cast<wchar_t>(DriveTable::kCdRootLetter);
    return drivePath + FromUtf8(rest);
}

} // namespace platform::linux
