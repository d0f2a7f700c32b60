#include "app/CMainFrame.h"

#include "config/MenuConfig.h"
#include "config/ZModelDlg.h"
#include "config/ZOSDlg.h"
#include "framework/CException.h"
#include "framework/CWinApp.h"
#include "platform/Process.h"
#include "recovery/CZAppDlg.h"
#include "shared/Globals.h"
#include "uilib/CzTextLibrary.h"
#include "uilib/TextFormat.h"

#include <cstdio>

namespace {
constexpr LANGID kItalianItaly = 0x0410;
constexpr UINT kTextExit = 2;
constexpr UINT kTextMinimise = 3;
constexpr UINT kTextModelLine = 10;
constexpr UINT kTextRecovery = 12;
constexpr UINT kTextManual = 13;
constexpr UINT kStaticModel = 10001;
}

IMPLEMENT_MESSAGE_MAP(CMainFrame, CzCanvasWnd,
    OnWmCreate(&CMainFrame::OnCreate),
    OnWmDestroy(&CMainFrame::OnDestroy),
    OnBnClicked(1001, &CMainFrame::OnExit),
    OnBnClicked(1002, &CMainFrame::OnMinimize),
    OnBnClicked(1011, &CMainFrame::OnRecovery),
    OnBnClicked(1016, &CMainFrame::OnRecovery),
    OnBnClicked(1012, &CMainFrame::OnUserManual),
    OnBnClicked(1017, &CMainFrame::OnUserManual),
    OnBnClicked(1013, &CMainFrame::OnConfiguredProgram))

bool CMainFrame::PreCreateWindow(CREATESTRUCT& cs)
{
    if (!CzCanvasWnd::PreCreateWindow(cs))
        return false;
    cs.style |= WS_SYSMENU | WS_MINIMIZEBOX;
    return true;
}

int CMainFrame::OnCreate(CREATESTRUCT* cs)
{
    if (CzCanvasWnd::OnCreate(cs) == -1)
        return -1;
    try {
        fnParseScript(L"Arkeven.zsp", L"MainFrm", 0);
    } catch (const CException& exception) {
        std::fprintf(stderr, "arkeven: %s\n", exception.what());
        return -1;
    }
    m_pTxtCtrl = std::make_unique<CUITxtCtrl>();
    m_pTxtCtrl->fnAttachWnd(this);
    CenterOnScreen();
    SetWindowText(L"Varn MID");

    fnChangeBtnText(1001, z32MLGetString(kTextExit));
    fnChangeBtnText(1002, z32MLGetString(kTextMinimise));
    fnChangeBtnText(1011, z32MLGetString(kTextRecovery));
    fnChangeBtnText(1012, z32MLGetString(kTextManual));

    if (platform::GetSystemDefaultLangID() == kItalianItaly) {
        fnShowBtn(1011, false, true);
        fnShowBtn(1012, false, true);
    } else {
        fnShowBtn(1016, false, true);
        fnShowBtn(1017, false, true);
    }
    return 0;
}

void CMainFrame::OnDestroy()
{
    m_pTxtCtrl.reset();
    CzCanvasWnd::OnDestroy();
}

std::wstring CMainFrame::fnAcquireText(UINT id)
{
    return CUITxtCtrl::AcquireText(m_pTxtCtrl.get(), id);
}

void CMainFrame::CenterOnScreen()
{
    CRect rect;
    GetWindowRect(&rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = (GetSystemMetrics(SM_CXFULLSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYFULLSCREEN) - height) / 2;
    MoveWindow(x, y, width, height, true);
}

bool CMainFrame::PreTranslateMessage(MSG& msg)
{
    bool hotKey = msg.message == WM_KEYDOWN && (msg.wParam == 'Q' || msg.wParam == VK_F2)
        && GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) < 0;
    if (hotKey) {
        RunModelAndOsSelection();
        return true;
    }
    return CzCanvasWnd::PreTranslateMessage(msg);
}

void CMainFrame::OnExit()
{
    fnShowWindow(SW_HIDE);
    PostMessage(WM_CLOSE);
}

void CMainFrame::OnMinimize()
{
    fnShowWindow(SW_MINIMIZE);
}

void CMainFrame::OnRecovery()
{
    CZAppDlg dialog(this);
    dialog.DoModal();
}

void CMainFrame::OnUserManual()
{
    std::wstring executable = platform::GetModuleFileNameW().substr(0, kPathBufferSize - 1);
    size_t lastBackslash = executable.rfind(L'\\');
    std::wstring folder = lastBackslash == std::wstring::npos ? std::wstring() : executable.substr(0, lastBackslash);
    platform::ShellExecuteW(folder + L"\\UserManual.pdf");
}

void CMainFrame::OnConfiguredProgram()
{
    std::wstring listFile = ReadMenuString(L"Global", L"ListFile");
    if (listFile.empty())
        return;
    platform::ShellExecuteW(GetMenuBaseFolder() + L"\\" + listFile);
}

void CMainFrame::RunModelAndOsSelection()
{
    fnShowWindow(SW_HIDE);
    {
        ZModelDlg modelDialog(this);
        if (modelDialog.DoModal() == IDCANCEL) {
            OnExit();
            return;
        }
        ZOSDlg osDialog(this);
        if (osDialog.DoModal() == IDCANCEL) {
            OnExit();
            return;
        }
    }
    // Without text 10 the line shows the model alone.
    const wchar_t* format = z32MLGetString(kTextModelLine);
    std::wstring line = FormatText(format ? format : L"%s", g_szModel, kPathBufferSize);
    m_pTxtCtrl->fnSetStaticText(kStaticModel, line.c_str());
    fnShowWindow(SW_SHOW);
}
