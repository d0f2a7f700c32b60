#pragma once

#include <string>
#include <vector>

namespace platform::linux {

struct VirtualStick {
    std::string path;   // absolute
    bool fixed = false; // reported as a fixed disk instead of a removable one
};

// The image files named in ARKEVEN_VIRTUAL_STICKS: "file[:removable|:fixed],...". A suffix
// other than ":removable" or ":fixed" belongs to the file name; empty items are ignored, and a
// file named twice counts once.
class VirtualStickList {
public:
    static std::vector<VirtualStick> Parse(const std::string& spec, const std::string& baseFolder);
};

} // namespace platform::linux
