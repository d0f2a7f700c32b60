#include "app/Snapshot.h"

#include "app/CMainFrame.h"
#include "app/ProgramStart.h"
#include "config/ZModelDlg.h"
#include "config/ZOSDlg.h"
#include "framework/CWinApp.h"
#include "platform/host/HeadlessHost.h"
#include "recovery/CZAppDlg.h"
#include "recovery/CzRecoveryDlg.h"

#include <cstdio>

namespace {

bool Save(platform::HeadlessHost& host, const std::string& section, const std::string& path)
{
    CWnd::PaintAllInvalid();
    if (host.SavePng(section, path))
        return true;
    std::fprintf(stderr, "arkeven: could not save the %s window to %s\n", section.c_str(), path.c_str());
    return false;
}

// Opens the dialog, saves it once it shows, and closes it again.
template<typename Dialog>
bool SnapshotDialog(platform::HeadlessHost& host, CWnd* parent, const std::string& section, const std::string& path)
{
    Dialog dialog(parent);
    bool saved = false;
    AfxGetApp()->Queue().PostTask([&] {
        saved = Save(host, section, path);
        dialog.EndDialog(IDCANCEL);
    });
    if (dialog.DoModal() == -1) {
        std::fprintf(stderr, "arkeven: the %s window could not be loaded\n", section.c_str());
        return false;
    }
    return saved;
}

} // namespace

int SaveWindowSnapshot(const std::string& section, const std::string& pngPath)
{
    CWinApp* app = AfxGetApp();
    auto host = std::make_unique<platform::HeadlessHost>();
    platform::HeadlessHost& headless = *host;
    app->AttachHost(std::move(host));
    PrepareProgramFolders();

    auto* frame = new CMainFrame;
    app->m_pMainWnd = frame;
    if (!frame->LoadFrame(128, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE)) {
        std::fprintf(stderr, "arkeven: the launcher window could not be created\n");
        return 1;
    }
    frame->fnShowWindow(SW_SHOW);

    bool saved = false;
    if (section == "MainFrm")
        saved = Save(headless, section, pngPath);
    else if (section == "AppFrm")
        saved = SnapshotDialog<CZAppDlg>(headless, frame, section, pngPath);
    else if (section == "UsbFrm")
        saved = SnapshotDialog<CzRecoveryDlg>(headless, frame, section, pngPath);
    else if (section == "ModelFrm")
        saved = SnapshotDialog<ZModelDlg>(headless, frame, section, pngPath);
    else if (section == "OSFrm")
        saved = SnapshotDialog<ZOSDlg>(headless, frame, section, pngPath);
    else
        std::fprintf(stderr, "arkeven: no window is called %s\n", section.c_str());
    frame->DestroyWindow();
    return saved ? 0 : 1;
}
