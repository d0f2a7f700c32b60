#pragma once

#include "uilib/ScriptNode.h"
#include "uilib/SkinScript.h"

#include <map>
#include <string>
#include <vector>

// Reads the control blocks of one window (button, static, droplist, progress, box, label,
// picture): a block's style first, then its own keys, every key and value checked. Keeps the
// font indices the blocks name, for the window to check. Errors throw CException(reason,
// fileName, line of the offending key or block).
class SkinControlReader {
public:
    static constexpr int LargestFontIndex = 99;
    // A control's font before the window gives it its first one.
    static constexpr int UnsetFont = -1;

    struct FontUse {
        int index;
        int line;
    };

    SkinControlReader(const std::wstring& fileName, const std::map<std::wstring, const ScriptNode*>& styles);

    ButtonLayout ReadButton(const ScriptNode& node);
    StaticLayout ReadStatic(const ScriptNode& node);
    DropListLayout ReadDropList(const ScriptNode& node);
    ProgressLayout ReadProgress(const ScriptNode& node);
    Decoration ReadDecoration(const ScriptNode& node);

    const std::vector<FontUse>& FontUses() const { return m_fontUses; }

private:
    [[noreturn]] void Fail(const std::wstring& reason, int line) const;
    // The style's properties first, then the node's own; duplicates within one list are errors.
    std::vector<const ScriptProperty*> EffectiveProperties(const ScriptNode& node) const;

    const std::wstring& m_fileName;
    const std::map<std::wstring, const ScriptNode*>& m_styles;
    std::vector<FontUse> m_fontUses;
};
