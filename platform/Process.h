#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The running executable as a drive path ("D:\AUTORUN\arkeven" on POSIX).
std::wstring GetModuleFileNameW();

// LANGID of the system's default language (POSIX: from LC_ALL, LC_MESSAGES, LANG).
std::uint16_t GetSystemDefaultLangID();
// "it_IT.UTF-8" -> 0x0410, "it_CH" -> 0x0810, "zh_TW" -> 0x0404, "C" -> 0x0409.
std::uint16_t LangIdFromLocaleName(const std::string& locale);

// Opens a file with its default viewer (ShellExecuteW, or xdg-open); the outcome is not reported.
void ShellExecuteW(const std::wstring& path);

// _wsystem: runs a command line and waits for it; returns its exit status (-1: could not run).
int RunCommandLine(const std::wstring& commandLine);

// Standard output, unbuffered as the console diagnostics need.
void ConsoleWrite(const std::string& text);

} // namespace platform
