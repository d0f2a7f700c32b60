#pragma once

#include <optional>
#include <string>

namespace platform {

// A window's scale: how many screen pixels one pixel of the skin takes (1 at 96 DPI, 1.5 at
// 144 DPI, 2 at 192 DPI). The hosts take it from the display; ARKEVEN_SCALE overrides that.
constexpr double kSmallestScale = 0.5;
constexpr double kLargestScale = 4.0;

// "1.5" -> 1.5, "192" -> 192: digits with at most one decimal point, whatever the C locale.
std::optional<double> ParseDecimal(const std::string& text);
// A plain decimal number from kSmallestScale to kLargestScale; nothing else.
std::optional<double> ParseScale(const std::string& text);

// ARKEVEN_SCALE when set to a scale. A value that is none is named on standard error (once a
// process) and ignored, so the display's scale applies.
std::optional<double> ScaleFromEnvironment();

// A display's dots per inch as a scale, 96 being 1. A screen below 96 DPI keeps the skin's own
// size (smaller text would only be harder to read); the largest scale is kLargestScale.
double ScaleFromDpi(double dpi);

} // namespace platform
