#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The running executable as a drive path ("D:\AUTORUN\arkeven" on POSIX).
std::wstring GetModuleFileNameW();

// LANGID of the system's default language (POSIX: from LC_ALL, LC_MESSAGES, LANG).
std::uint16_t GetSystemDefaultLangID();
// "it_IT.UTF-8" -> 0x0410, "it_CH" -> 0x0810, "zh_TW" -> 0x0404, "C" -> 0x0409.
std::uint16_t LangIdFromLocaleName(const std::string& locale);

// Settings of the whole process made first thing at start: on Windows, libraries by name from the
// system folder only and no system error boxes; nothing on POSIX.
void PrepareProcess();

// Whether this process may open a stick's volume for writing: on Windows, an administrator's
// elevated token. POSIX: true (each device's permissions decide, as the drive hold reports).
bool CanOpenVolumesForWriting();

// Opens a file with its default viewer (ShellExecuteW, or xdg-open); the outcome is not reported.
// On Windows the desktop's shell opens it as the desktop's user, not with the program's
// administrator rights; on Linux the program is the user's own anyway.
void ShellExecuteW(const std::wstring& path);

// Standard output, unbuffered as the console diagnostics need.
void ConsoleWrite(const std::string& text);

// ---- The console of the command-line options.
// A Windows program with windows has no console of its own: for a command-line option it writes
// to (and reads from) the console of the program that started it. Nothing to do on POSIX.
void UseParentConsole();
// Standard output is a terminal that takes control sequences: lines may be redrawn in place.
bool OutputIsTerminal();
// Standard input is a terminal (or console) someone can type at.
bool InputIsTerminal();
// Writes the question and reads the answer line from the terminal; empty when standard input is
// no terminal, so nobody can answer.
std::optional<std::string> AskOnTerminal(const std::string& question);
// From now on an interrupt (Ctrl+C, a closed console) sets `stop` instead of ending the program.
void StopOnInterrupt(std::atomic<bool>& stop);

} // namespace platform
