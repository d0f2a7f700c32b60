#pragma once

#include "app/CUITxtCtrl.h"
#include "platform/Drives.h"
#include "platform/Format.h"
#include "uilib/CzCanvasDlg.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CZAppDlg;
class CzRecoveryDlg;
class StickJob;

// The writer's process-wide state: its two worker threads reach the dialog only through these.
extern CzRecoveryDlg* g_pRecoveryDlg;
extern CWnd* g_pProgressCtrl;
extern std::atomic<bool> g_bRecoveryBusy;
extern wchar_t g_szTargetDrive[2];
// The identity of the device the writer was opened for (g_szTargetDrive names it): every step
// of a job checks that the letter still names that device.
extern std::wstring g_szTargetIdentity;
extern platform::FormatExFunction g_pfnFormatEx;
extern platform::EnableVolumeCompressionFunction g_pfnEnableVolumeCompression;

// Worker routines.
std::uint32_t FormatThreadProc(CWnd* driveList);
std::uint32_t CopyThreadProc(void* unused);
bool FormatExCallback(std::uint32_t command, std::uint32_t subAction, void* actionInfo);
std::uint32_t CopyProgressProc(std::int64_t totalFileSize, std::int64_t totalBytesTransferred, std::int64_t streamSize,
    std::int64_t streamBytesTransferred, std::uint32_t streamNumber, std::uint32_t callbackReason, void* sourceFile,
    void* destinationFile, void* data);
bool LoadFmifsEntryPoints();

// The final text of a job that has ended, as static 10005 shows it: what happened and what to
// do. The command line's summary says the same.
std::wstring FinalTextOf(const StickJob& job);

// The writer: one press of Start formats the chosen stick, copies the live system from the CD,
// reads it back and installs the boot loader, with the bar and the percentage line following the
// whole job. It is bound to the drive selected when it opened, shows which drive that is, and
// refuses to close while the job runs.
class CzRecoveryDlg : public CzCanvasDlg {
public:
    explicit CzRecoveryDlg(CWnd* parent);
    ~CzRecoveryDlg() override;

    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    std::wstring fnAcquireText(UINT id) override;

    // From any thread: each change runs on the UI thread, in the order asked.
    void SetStaticTextFromWorker(UINT id, const std::wstring& text);
    void EnableButtonFromWorker(UINT id, bool enable);
    void ShowButtonFromWorker(UINT id, bool show);

    DECLARE_MESSAGE_MAP()

protected:
    void DrawButtonFaces();
    void BindTarget();
    void OnStart();
    void OnCloseButton();
    void OnDestroy();
    LRESULT OnWorkerSetText(WPARAM id, LPARAM text);
    LRESULT OnWorkerButton(WPARAM id, LPARAM operation);

private:
    std::unique_ptr<CUITxtCtrl> m_pTxtCtrl;
    CWnd* m_pDriveList = nullptr;
    CZAppDlg* m_pStartDialog = nullptr;
};
