#pragma once

#include "shared/CUITxtCtrl.h"
#include "stick/StickJob.h"
#include "stick/StickJobRunner.h"
#include "uilib/CzCanvasDlg.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CZAppDlg;
class CzRecoveryDlg;

// The writer dialog, once one has been made.
extern CzRecoveryDlg* g_pRecoveryDlg;
// A job is under way: the writer refuses to close meanwhile.
extern std::atomic<bool> g_bRecoveryBusy;

// The writer: one press of Start formats the chosen stick, copies the live system from the CD,
// reads it back and installs the boot loader, with the bar and the percentage line following the
// whole job. It is bound to the drive selected when it opened, shows which drive that is, and
// refuses to close while the job runs. The job runs on the runner's thread; each of its reports
// reaches the dialog as a sent message, so every change runs on the UI thread, in order.
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
    class JobProgress;

    void SetProgress(int position);
    void SetLine(const std::wstring& line);
    void SetPercentLine(double percent, const std::wstring& word);
    // The job has ended: the dialog is usable again and says how it went.
    void ShowEnd(const StickJob& job);

    std::unique_ptr<CUITxtCtrl> m_pTxtCtrl;
    CWnd* m_pDriveList = nullptr;
    CWnd* m_pProgressCtrl = nullptr;
    CZAppDlg* m_pStartDialog = nullptr;
    StickJob::Target m_target;
    std::unique_ptr<JobProgress> m_progress;
    StickJobRunner m_runner;
};
