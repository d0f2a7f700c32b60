#pragma once

#include "uilib/ScriptNode.h"
#include "uilib/SkinScript.h"

#include <map>
#include <string>

// Gives a parsed script tree its meaning: shared fonts, styles and windows, each window with
// its controls (SkinControlReader); checks every key and value and fills the layouts.
// Errors throw CException(reason, fileName, line of the offending key or block).
class SkinBuilder {
public:
    SkinBuilder(std::wstring fileName, int lineCount);

    SkinScript Build(const ScriptNode& root);

private:
    [[noreturn]] void Fail(const std::wstring& reason, int line) const;

    FontSpec ReadFont(const ScriptProperty& property) const;
    WindowLayout BuildWindow(const ScriptNode& node);
    void CheckPlacement(const WindowLayout& window, const CRect& rect, int line, const std::wstring& what) const;

    std::wstring m_fileName;
    int m_lineCount = 0;
    std::map<int, FontSpec> m_sharedFonts;
    std::map<std::wstring, const ScriptNode*> m_styles;
};
