#include "framework/CDialog.h"

#include "framework/CWinApp.h"

IMPLEMENT_MESSAGE_MAP(CDialog, CWnd,
    OnMessage(WM_INITDIALOG, &CDialog::OnInitDialogMessage),
    OnMessage(WM_CLOSE, &CDialog::OnClose))

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_pParentWnd(parent)
    , m_templateId(templateId)
{
}

CDialog::~CDialog()
{
    if (GetSafeHwnd())
        DestroyWindow();
}

int CDialog::DoModal()
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    m_ended = false;
    m_modalResult = -1;

    CWnd* owner = m_pParentWnd ? m_pParentWnd->GetTopLevelWindow() : nullptr;
    CREATESTRUCT cs;
    cs.cx = 320;
    cs.cy = 200;
    cs.parent = owner;
    if (!CreateTopLevel(cs, owner))
        return -1;

    bool ownerWasEnabled = owner && owner->IsWindowEnabled();
    if (ownerWasEnabled)
        owner->EnableWindow(false);

    SendMessage(WM_INITDIALOG, 0, 0);
    if (!m_ended) {
        ShowWindow(SW_SHOW);
        m_inModalLoop = true;
        app->PumpUntil([this] { return m_ended; });
        m_inModalLoop = false;
        if (!m_ended)
            m_modalResult = IDCANCEL; // the program is quitting under the dialog
    }

    if (ownerWasEnabled && CWnd::FromHandle(owner->GetSafeHwnd()) == owner)
        owner->EnableWindow(true);
    if (GetSafeHwnd()) {
        ShowWindow(SW_HIDE);
        DestroyWindow();
    }
    if (owner && CWnd::FromHandle(owner->GetSafeHwnd()) == owner && owner->IsWindowVisible())
        owner->SetForegroundWindow();
    return m_modalResult;
}

void CDialog::EndDialog(int result)
{
    m_modalResult = result;
    m_ended = true;
}

bool CDialog::PreTranslateMessage(MSG& msg)
{
    if (msg.message != WM_KEYDOWN)
        return false;
    if (msg.wParam == VK_ESCAPE) {
        OnCancel();
        return true;
    }
    if (msg.wParam == VK_RETURN) {
        OnOK();
        return true;
    }
    return false;
}

LRESULT CDialog::OnInitDialogMessage(WPARAM, LPARAM)
{
    return OnInitDialog() ? 1 : 0;
}

LRESULT CDialog::OnClose(WPARAM, LPARAM)
{
    OnCancel();
    return 0;
}
