#include "platform/host/DisplayScale.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace platform {

std::optional<double> ParseDecimal(const std::string& text)
{
    // By hand rather than strtod, whose decimal point follows the C locale.
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    double scale = 0;
    double place = 0; // 0 before the point, then 0.1, 0.01, ...
    bool digits = false;
    for (char c : text) {
        if (c == '.' && place == 0) {
            place = 0.1;
            continue;
        }
        if (c < '0' || c > '9')
            return std::nullopt;
        digits = true;
        if (place == 0) {
            scale = scale * 10 + (c - '0');
        } else {
            scale += (c - '0') * place;
            place /= 10;
        }
    }
    if (!digits)
        return std::nullopt;
    return scale;
}

std::optional<double> ParseScale(const std::string& text)
{
    auto scale = ParseDecimal(text);
    if (!scale || *scale < kSmallestScale || *scale > kLargestScale)
        return std::nullopt;
    return scale;
}

std::optional<double> ScaleFromEnvironment()
{
    const char* value = std::getenv("ARKEVEN_SCALE");
    if (!value || !*value)
        return std::nullopt;
    if (auto scale = ParseScale(value))
        return scale;
    static std::atomic<bool> reported { false };
    if (!reported.exchange(true))
        std::fprintf(stderr, "arkeven: ARKEVEN_SCALE '%s' is no scale from 0.5 to 4 (such as 1.5); using the display's\n", value);
    return std::nullopt;
}

double ScaleFromDpi(double dpi)
{
    if (!(dpi > 96))
        return 1.0;
    return std::min(dpi / 96, kLargestScale);
}

} // namespace platform
