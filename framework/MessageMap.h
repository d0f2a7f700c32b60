#pragma once

#include "framework/Messages.h"

#include <functional>
#include <vector>

class CWnd;
struct CREATESTRUCT;

// A static table of (message, notification code, control ID range) -> handler, chained to the
// base class's table. The most derived table is searched first; the first match handles.
struct MessageMapEntry {
    UINT message = 0;
    UINT code = 0;
    UINT idFirst = 0;
    UINT idLast = 0;
    bool matchesAnyId = true;
    std::function<LRESULT(CWnd&, WPARAM, LPARAM)> handler;
};

struct MessageMap {
    const MessageMap* base = nullptr;
    std::vector<MessageMapEntry> entries;
};

// Entry builders: `OnBnClicked(1001, &CMainFrame::OnExit)` and friends.
namespace MessageMapEntries {

template<typename T>
MessageMapEntry OnBnClicked(UINT id, void (T::*handler)())
{
    return { WM_COMMAND, BN_CLICKED, id, id, false, [handler](CWnd& window, WPARAM, LPARAM) -> LRESULT {
                (static_cast<T&>(window).*handler)();
                return 0;
            } };
}

// BN_CLICKED from any ID in [first, last]; the handler gets the ID.
template<typename T>
MessageMapEntry OnBnClickedRange(UINT first, UINT last, void (T::*handler)(UINT))
{
    return { WM_COMMAND, BN_CLICKED, first, last, false, [handler](CWnd& window, WPARAM wParam, LPARAM) -> LRESULT {
                (static_cast<T&>(window).*handler)(LOWORD(wParam));
                return 0;
            } };
}

template<typename T>
MessageMapEntry OnWmCreate(int (T::*handler)(CREATESTRUCT*))
{
    return { WM_CREATE, 0, 0, 0, true, [handler](CWnd& window, WPARAM, LPARAM lParam) -> LRESULT {
                return (static_cast<T&>(window).*handler)(reinterpret_cast<CREATESTRUCT*>(lParam));
            } };
}

template<typename T>
MessageMapEntry OnWmDestroy(void (T::*handler)())
{
    return { WM_DESTROY, 0, 0, 0, true, [handler](CWnd& window, WPARAM, LPARAM) -> LRESULT {
                (static_cast<T&>(window).*handler)();
                return 0;
            } };
}

template<typename T>
MessageMapEntry OnMessage(UINT message, LRESULT (T::*handler)(WPARAM, LPARAM))
{
    return { message, 0, 0, 0, true, [handler](CWnd& window, WPARAM wParam, LPARAM lParam) -> LRESULT {
                return (static_cast<T&>(window).*handler)(wParam, lParam);
            } };
}

} // namespace MessageMapEntries

// Declares the message-map pair in a class body.
#define DECLARE_MESSAGE_MAP()                   \
public:                                         \
    static const MessageMap* GetThisMessageMap(); \
    const MessageMap* GetMessageMap() const override;

// Defines them: IMPLEMENT_MESSAGE_MAP(CMainFrame, CzCanvasWnd, OnBnClicked(1001, &CMainFrame::OnExit), ...)
#define IMPLEMENT_MESSAGE_MAP(Class, Base, ...)                                            \
    const MessageMap* Class::GetThisMessageMap()                                           \
    {                                                                                      \
        using namespace MessageMapEntries;                                                 \
        static const MessageMap map { Base::GetThisMessageMap(), { __VA_ARGS__ } };        \
        return &map;                                                                       \
    }                                                                                      \
    const MessageMap* Class::GetMessageMap() const { return GetThisMessageMap(); }
