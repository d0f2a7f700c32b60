#pragma once

#include <optional>
#include <string>

// Reading the menu configuration file "index.ini" beside the executable. Every read opens the
// file afresh; nothing of it is kept between reads.

// A value of index.ini (g_szAppDir + "index.ini"), at most 259 characters; empty when the file,
// the section or the key is missing, or the key name is empty. g_szAppDir is normally a drive
// path ("D:\AUTORUN\"); a native folder with its trailing separator ("/tmp/cd/") works as well.
std::wstring ReadMenuString(const std::wstring& section, const std::wstring& key);

// A model or operating-system entry: the caption on its button and the value that choosing it
// stores, if the entry has one.
struct MenuEntry {
    std::wstring caption;
    std::optional<std::wstring> value;
};

// Takes apart an entry as read (the profile read has removed its enclosing quotes), so that
// "One\" \"Two" gives caption One and value Two: the caption is the text before the first double
// quote, the value everything after the second one. Without a second quote there is no value.
MenuEntry SplitMenuEntry(const std::wstring& text);

// The folder above the executable's folder, without a trailing backslash: "E:\AUTORUN\" gives
// "E:", "E:\DISC\MENU\" gives "E:\DISC".
std::wstring GetMenuBaseFolder();

// The recovery start dialog's section: model token + "_" + OS token + "_App", the tokens read from
// [Global] under the keys g_szModel and g_szOS ("__App" before any selection).
std::wstring GetAppSectionName();

// How many of App1..App30 in section read non-empty; all thirty are read, gaps do not stop it.
int CountAppEntries(const std::wstring& section);
