#include "platform/linux/VirtualStickList.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace platform::linux {

namespace {

std::string Trimmed(const std::string& text)
{
    auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

std::vector<VirtualStick> VirtualStickList::Parse(const std::string& spec, const std::string& baseFolder)
{
    std::vector<VirtualStick> sticks;
    std::stringstream items(spec);
    std::string item;
    while (std::getline(items, item, ',')) {
        item = Trimmed(item);
        VirtualStick stick;
        if (EndsWith(item, ":fixed")) {
            stick.fixed = true;
            item.resize(item.size() - 6);
        } else if (EndsWith(item, ":removable")) {
            item.resize(item.size() - 10);
        }
        if (item.empty())
            continue;
        std::filesystem::path path(item);
        if (path.is_relative() && !baseFolder.empty())
            path = std::filesystem::path(baseFolder) / path;
        stick.path = path.lexically_normal().string();
        bool known = std::any_of(sticks.begin(), sticks.end(), [&](const VirtualStick& other) { return other.path == stick.path; });
        if (!known)
            sticks.push_back(std::move(stick));
    }
    return sticks;
}

} // namespace platform::linux
