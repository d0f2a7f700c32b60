#include "framework/WindowRegistry.h"

#include "framework/CWnd.h"

#include <algorithm>

WindowRegistry& WindowRegistry::The()
{
    static WindowRegistry registry;
    return registry;
}

WindowHandle WindowRegistry::Add(CWnd& window)
{
    WindowHandle handle = m_nextHandle++;
    m_windows[handle] = &window;
    return handle;
}

void WindowRegistry::Remove(WindowHandle handle)
{
    m_windows.erase(handle);
}

CWnd* WindowRegistry::Find(WindowHandle handle) const
{
    auto it = m_windows.find(handle);
    return it == m_windows.end() ? nullptr : it->second;
}

void WindowRegistry::AddTopLevel(CWnd& window)
{
    m_topLevels.push_back(&window);
}

void WindowRegistry::RemoveTopLevel(CWnd& window)
{
    m_topLevels.erase(std::remove(m_topLevels.begin(), m_topLevels.end(), &window), m_topLevels.end());
}

CWnd* WindowRegistry::FindTopLevel(const std::wstring& caption) const
{
    for (CWnd* window : m_topLevels) {
        if (window->GetWindowText() == caption)
            return window;
    }
    return nullptr;
}
