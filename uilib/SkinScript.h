#pragma once

#include "uilib/WindowLayout.h"

#include <map>
#include <string>

// A whole skin script: one WindowLayout per section ("MainFrm", "AppFrm", ...).
// docs/skin-format.md describes the text format.
class SkinScript {
public:
    // Parses UTF-8 script text. `fileName` names the script in error messages. Every error
    // (syntax, unknown key, bad value, duplicate ID, missing font declaration...) throws
    // CException(reason, fileName, line).
    static SkinScript Parse(const std::string& text, const std::wstring& fileName);
    // Reads and parses `fileName` in `folder` (a native path); a missing file throws too.
    static SkinScript Load(const std::wstring& folder, const std::wstring& fileName);

    const std::wstring& FileName() const { return m_fileName; }
    int LineCount() const { return m_lineCount; }
    const std::map<std::wstring, WindowLayout>& Windows() const { return m_windows; }
    const WindowLayout* Find(const std::wstring& section) const;
    // Throws CException naming the file and its last line when the section is absent.
    const WindowLayout& Section(const std::wstring& section) const;

private:
    friend class SkinBuilder;

    std::wstring m_fileName;
    int m_lineCount = 0;
    std::map<std::wstring, WindowLayout> m_windows;
};
