#pragma once

#include "framework/Types.h"
#include "uilib/CzFActionRelay.h"

#include <map>
#include <memory>
#include <string>

class CWnd;

// A window's table of composed texts for its statics. Storing a text redraws the static at
// once; the window's fnAcquireText answers from here before asking the text library.
// Every call runs on the UI thread (worker threads reach it through sent messages): no lock.
class CUITxtCtrl {
public:
    CUITxtCtrl() = default;
    virtual ~CUITxtCtrl() = default;
    CUITxtCtrl(const CUITxtCtrl&) = delete;
    CUITxtCtrl& operator=(const CUITxtCtrl&) = delete;

    // 1 without a window; otherwise binds the table to it, empties it and returns 0.
    int fnAttachWnd(CWnd* window);
    // Stores a copy of text under id (replacing any) and redraws that static. Always 0.
    int fnSetStaticText(UINT id, const wchar_t* text);
    // The stored text, valid until the next call on this table; null when none is stored.
    const wchar_t* fnGetStaticText(UINT id);

    // The windows' fnAcquireText: the table's text, else the text library's, else "".
    static std::wstring AcquireText(CUITxtCtrl* table, UINT id);

private:
    std::unique_ptr<CzFActionRelay> m_relay;
    CWnd* m_window = nullptr;
    std::map<UINT, std::wstring> m_texts;
    std::wstring m_lastResult;
};
