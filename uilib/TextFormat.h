#pragma once

#include <cstddef>
#include <string>

// The one formatter for texts that act as format strings. A text comes from a translator's file,
// so it is never handed to the C library's printf family: "%%" becomes "%", the first "%s" takes
// stringArgument when one is given, and every other conversion ("%d", "%n", "%1$s", "%5s", a
// second "%s", a "%s" without an argument, a lone "%") is kept as written.
// The result is cut to bufferSize - 1 characters, as in a buffer of bufferSize with its terminator.
std::wstring FormatText(const std::wstring& format, const wchar_t* stringArgument, std::size_t bufferSize);

// A progress line: the percentage rounded to a whole number as "%0.0f" rounds it (half to even),
// a percent sign, a blank and word taken verbatim: "42% completed". Cut like FormatText.
std::wstring FormatPercentLine(double percent, const std::wstring& word, std::size_t bufferSize);
