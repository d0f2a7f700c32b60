#include "shared/CUITxtCtrl.h"

#include "framework/CWnd.h"
#include "platform/files/Utf8.h"
#include "platform/host/HostLog.h"
#include "uilib/CzTextLibrary.h"

int CUITxtCtrl::fnAttachWnd(CWnd* window)
{
    if (!window)
        return 1;
    m_relay = std::make_unique<CzFActionRelay>(window);
    m_window = window;
    m_texts.clear();
    return 0;
}

int CUITxtCtrl::fnSetStaticText(UINT id, const wchar_t* text)
{
    if (!text)
        return 0;
    m_texts[id] = text;
    if (m_window)
        platform::HostLog::Shared().Write("text", m_window->GetInstanceName(), std::to_string(id) + " " + ToUtf8(text));
    // A table that was never attached stores the text but has nothing to redraw.
    if (m_relay)
        m_relay->fnDrawStatic(id, true);
    return 0;
}

const wchar_t* CUITxtCtrl::fnGetStaticText(UINT id)
{
    auto it = m_texts.find(id);
    if (it == m_texts.end())
        return nullptr;
    m_lastResult = it->second;
    return m_lastResult.c_str();
}

std::wstring CUITxtCtrl::AcquireText(CUITxtCtrl* table, UINT id)
{
    if (table) {
        if (const wchar_t* text = table->fnGetStaticText(id))
            return text;
    }
    if (const wchar_t* text = z32MLGetString(id))
        return text;
    return {};
}
