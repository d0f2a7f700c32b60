#pragma once

#include "framework/Types.h"

#include <map>
#include <string>
#include <vector>

class CWnd;

// Every live window by its handle, and the top-level ones in the order they were made. Lives
// on the UI thread only.
class WindowRegistry {
public:
    static WindowRegistry& The();

    // A new handle for the window; handles are never given twice.
    WindowHandle Add(CWnd& window);
    void Remove(WindowHandle handle);
    CWnd* Find(WindowHandle handle) const;

    void AddTopLevel(CWnd& window);
    void RemoveTopLevel(CWnd& window);
    const std::vector<CWnd*>& TopLevels() const { return m_topLevels; }
    // The first top-level window with this caption; null when none.
    CWnd* FindTopLevel(const std::wstring& caption) const;

private:
    WindowRegistry() = default;

    std::map<WindowHandle, CWnd*> m_windows;
    std::vector<CWnd*> m_topLevels;
    WindowHandle m_nextHandle = 0x100;
};
