#include "app/CArkevenApp.h"

#include "app/CMainFrame.h"
#include "app/ProgramStart.h"
#include "framework/CWnd.h"
#include "framework/Messages.h"

#include <cstdio>

namespace {
constexpr const wchar_t* kLaunchCheckName = L"ArkevenLaunchCheck";
constexpr const wchar_t* kMainCaption = L"Varn MID";
constexpr UINT kFrameResource = 128;
constexpr UINT kFrameStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE;
}

CArkevenApp::CArkevenApp()
    : CWinApp(L"Arkeven")
{
}

bool CArkevenApp::InitInstance()
{
    // Creating the marker tells in the same step whether another instance holds it.
    m_hLaunchCheck = platform::NamedMarker::Create(kLaunchCheckName);
    if (m_hLaunchCheck->AlreadyExisted()) {
        platform::BringWindowForward(kLaunchCheckName, kMainCaption);
        return false;
    }
    m_hLaunchCheck->ServeBringForward([this](const std::wstring& caption) {
        Queue().PostTask([caption] {
            if (CWnd* window = CWnd::FindTopLevelWindow(caption))
                window->SetForegroundWindow();
        });
    });

    PrepareProgramFolders();
    StartDeviceNotifications();

    SetRegistryKey(L"Local AppWizard-Generated Applications");

    auto* frame = new CMainFrame; // the framework deletes it with its window
    m_pMainWnd = frame;
    if (!frame->LoadFrame(kFrameResource, kFrameStyle)) {
        // The frame is gone already; without a launcher there is nothing to run.
        m_pMainWnd = nullptr;
        std::fprintf(stderr, "arkeven: the launcher window could not be created\n");
        m_exitCode = 1;
        return false;
    }
    frame->fnShowWindow(SW_SHOW);
    frame->UpdateWindow();
    return true;
}

int CArkevenApp::ExitInstance()
{
    m_hLaunchCheck.reset();
    return CWinApp::ExitInstance();
}
