#include "recovery/CzRecoveryDlg.h"

#include "framework/CException.h"
#include "platform/Process.h"
#include "recovery/CZAppDlg.h"
#include "shared/Globals.h"
#include "shared/LibraryText.h"
#include "stick/DriveListItem.h"
#include "stick/FinalText.h"
#include "uilib/CzTextLibrary.h"
#include "uilib/TextFormat.h"

CzRecoveryDlg* g_pRecoveryDlg = nullptr;
std::atomic<bool> g_bRecoveryBusy { false };

namespace {

constexpr UINT WM_WORKER_SET_TEXT = WM_APP + 0x10;
constexpr UINT WM_WORKER_BUTTON = WM_APP + 0x11;
enum ButtonOperation : LPARAM { kDisable, kEnable, kHide, kShow, kFocus };

constexpr UINT kCloseFace = 1014;
constexpr UINT kStartFace = 1015;
constexpr UINT kCloseButton = 1001;
constexpr UINT kProgressLine = 10005;
constexpr int kCloseWindowText = 40;
constexpr UINT kTargetLine = 10011;
constexpr UINT kProgressBarId = 2002;
constexpr COLORREF kProgressColour = 0xE78B21;
constexpr int kProgressHigh = 150;
constexpr size_t kLineBufferSize = 128;
constexpr size_t kWordBufferSize = 64;

// Each copy is followed by its percentage line and bar position.
struct CopyMark {
    int percentAfter;
    int barAfter;
};
constexpr CopyMark kCopyMarks[StickJob::kCopyCount] = { { 58, 80 }, { 60, 82 }, { 90, 135 }, { 95, 140 }, { 100, kProgressHigh } };

} // namespace

// The writer's side of the job: the bar and the percentage line follow the progress table, the
// diagnostics go to the console.
class CzRecoveryDlg::JobProgress final : public StickJob::Listener {
public:
    explicit JobProgress(CzRecoveryDlg& dialog)
        : m_dialog(dialog)
    {
    }

    void OnStage(StickJob::Stage stage) override
    {
        // One copy of text 24 serves every percentage line of the copy stage.
        if (stage == StickJob::Stage::Copying)
            m_word = LibraryText(24).substr(0, kWordBufferSize - 1);
    }
    void OnFormatProgress(std::uint32_t percent) override
    {
        m_dialog.SetProgress(static_cast<int>(percent * 0.5));
        if (percent == 100)
            m_dialog.SetProgress(75);
        m_dialog.SetPercentLine(percent * 0.5, LibraryText(24));
    }
    void OnFormatDone(bool) override
    {
        m_dialog.SetProgress(78);
        m_dialog.SetPercentLine(55, LibraryText(24));
    }
    void OnCopyProgress(std::int64_t total, std::int64_t transferred) override
    {
        // An empty file counts as fully copied.
        double fraction = total > 0 ? static_cast<double>(transferred) / static_cast<double>(total) : 1.0;
        double x = fraction * 30;
        m_dialog.SetPercentLine(60 + x, LibraryText(24));
        m_dialog.SetProgress(82 + static_cast<int>(2 * x));
    }
    void OnCopyDone(std::size_t step) override
    {
        m_dialog.SetPercentLine(kCopyMarks[step].percentAfter, m_word);
        m_dialog.SetProgress(kCopyMarks[step].barAfter);
    }
    void OnConsole(const std::string& text) override { platform::ConsoleWrite(text); }
    void OnEnd(const StickJob& job) override { m_dialog.ShowEnd(job); }

private:
    CzRecoveryDlg& m_dialog;
    std::wstring m_word;
};

void CzRecoveryDlg::SetProgress(int position)
{
    if (m_pProgressCtrl)
        m_pProgressCtrl->SendMessage(PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void CzRecoveryDlg::SetLine(const std::wstring& line)
{
    SetStaticTextFromWorker(kProgressLine, line);
}

void CzRecoveryDlg::SetPercentLine(double percent, const std::wstring& word)
{
    SetLine(FormatPercentLine(percent, word, kLineBufferSize));
}

void CzRecoveryDlg::ShowEnd(const StickJob& job)
{
    SetLine(FinalTextOf(job));
    bool ready = job.Result() == StickJob::Outcome::Ready;
    EnableButtonFromWorker(kStartFace, true);
    ShowButtonFromWorker(kStartFace, !ready);
    if (ready) {
        EnableButtonFromWorker(kCloseFace, true);
        ShowButtonFromWorker(kCloseFace, true);
    }
    ShowButtonFromWorker(kCloseButton, true);
    // The focus on the final text: a screen reader says how the job ended.
    SendMessage(WM_WORKER_BUTTON, kProgressLine, kFocus);
    g_bRecoveryBusy = false;
}

IMPLEMENT_MESSAGE_MAP(CzRecoveryDlg, CzCanvasDlg,
    OnWmDestroy(&CzRecoveryDlg::OnDestroy),
    OnBnClicked(kCloseFace, &CzRecoveryDlg::OnCloseButton),
    OnBnClicked(kStartFace, &CzRecoveryDlg::OnStart),
    OnBnClicked(kCloseButton, &CzRecoveryDlg::OnCloseButton),
    OnMessage(WM_WORKER_SET_TEXT, &CzRecoveryDlg::OnWorkerSetText),
    OnMessage(WM_WORKER_BUTTON, &CzRecoveryDlg::OnWorkerButton))

CzRecoveryDlg::CzRecoveryDlg(CWnd* parent)
    : CzCanvasDlg(parent, 0)
    , m_progress(std::make_unique<JobProgress>(*this))
{
    g_pRecoveryDlg = this;
    m_pStartDialog = dynamic_cast<CZAppDlg*>(parent);
    if (m_pStartDialog)
        m_pDriveList = m_pStartDialog->DriveList();
}

// The writer works on the drive selected as it opens, whatever the list shows later: the item
// the user saw and the identity of its device. It shows the item with the device's name.
void CzRecoveryDlg::BindTarget()
{
    m_target = {};
    if (!m_pStartDialog || !m_pDriveList)
        return;
    LRESULT index = m_pDriveList->SendMessage(CB_GETCURSEL);
    std::wstring item = index == CB_ERR ? std::wstring() : m_pStartDialog->DriveItemText(static_cast<int>(index));
    if (item.empty())
        return;
    m_target.letter = item[0];
    m_target.identity = m_pStartDialog->DriveIdentity(static_cast<int>(index));
    m_pTxtCtrl->fnSetStaticText(kTargetLine, DriveTargetText(item[0], item).c_str());
}

CzRecoveryDlg::~CzRecoveryDlg() = default;

bool CzRecoveryDlg::OnInitDialog()
{
    CzCanvasDlg::OnInitDialog();
    try {
        fnParseScript(L"Arkeven.zsp", L"UsbFrm", 0);
        m_pTxtCtrl = std::make_unique<CUITxtCtrl>();
        m_pTxtCtrl->fnAttachWnd(this);
        fnChangeBtnText(kCloseButton, z32MLGetString(2));
        // Both close buttons read "Close": a screen reader names this one apart.
        fnSetAccessibleName(kCloseButton, LibraryText(kCloseWindowText));
        DrawButtonFaces();
    } catch (const CException&) {
        EndDialog(-1);
        return false;
    }
    fnEnableBtn(kCloseFace, false);
    m_pTxtCtrl->fnSetStaticText(10006, FormatText(LibraryText(20), nullptr, kPathBufferSize).c_str());
    m_pTxtCtrl->fnSetStaticText(10007, FormatText(LibraryText(22), nullptr, kPathBufferSize).c_str());
    BindTarget();
    m_pProgressCtrl = fnGetDlgItem(kProgressBarId);
    if (m_pProgressCtrl) {
        m_pProgressCtrl->SendMessage(PBM_SETBKCOLOR, 0, static_cast<LPARAM>(kProgressColour));
        m_pProgressCtrl->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, kProgressHigh));
    }
    return true;
}

void CzRecoveryDlg::DrawButtonFaces()
{
    const CPoint offsets[4] = { { 7, 18 }, { 7, 18 }, { 7, 18 }, { 7, 18 } };
    const Font* font = fnGetFont(7);
    fnDrawBtnFace(kCloseFace, FormatText(LibraryText(2), nullptr, kPathBufferSize), 0xFFFFFF, font, 33, offsets);
    fnDrawBtnFace(kStartFace, FormatText(LibraryText(26), nullptr, kPathBufferSize), 0xFFFFFF, font, 33, offsets);
}

std::wstring CzRecoveryDlg::fnAcquireText(UINT id)
{
    return CUITxtCtrl::AcquireText(m_pTxtCtrl.get(), id);
}

void CzRecoveryDlg::OnStart()
{
    if (g_bRecoveryBusy)
        return;
    // Busy from the press on, so nothing closes the dialog under the workers.
    g_bRecoveryBusy = true;
    m_runner.Start(m_target, StickJob::SourceRootOfProgram(), *m_progress);
    fnEnableBtn(kStartFace, false);
    fnShowBtn(kCloseButton, false, true);
}

void CzRecoveryDlg::OnCloseButton()
{
    if (g_bRecoveryBusy)
        return;
    OnCancel();
}

void CzRecoveryDlg::OnOK()
{
    if (g_bRecoveryBusy)
        return;
    CzCanvasDlg::OnOK();
}

void CzRecoveryDlg::OnCancel()
{
    if (g_bRecoveryBusy)
        return;
    CzCanvasDlg::OnCancel();
}

void CzRecoveryDlg::OnDestroy()
{
    if (g_bRecoveryBusy)
        return;
    CzCanvasDlg::OnDestroy();
    m_pTxtCtrl.reset();
}

void CzRecoveryDlg::SetStaticTextFromWorker(UINT id, const std::wstring& text)
{
    SendMessage(WM_WORKER_SET_TEXT, id, reinterpret_cast<LPARAM>(text.c_str()));
}

void CzRecoveryDlg::EnableButtonFromWorker(UINT id, bool enable)
{
    SendMessage(WM_WORKER_BUTTON, id, enable ? kEnable : kDisable);
}

void CzRecoveryDlg::ShowButtonFromWorker(UINT id, bool show)
{
    SendMessage(WM_WORKER_BUTTON, id, show ? kShow : kHide);
}

LRESULT CzRecoveryDlg::OnWorkerSetText(WPARAM id, LPARAM text)
{
    if (m_pTxtCtrl)
        m_pTxtCtrl->fnSetStaticText(static_cast<UINT>(id), reinterpret_cast<const wchar_t*>(text));
    return 0;
}

LRESULT CzRecoveryDlg::OnWorkerButton(WPARAM id, LPARAM operation)
{
    switch (operation) {
    case kDisable:
    case kEnable:
        fnEnableBtn(static_cast<UINT>(id), operation == kEnable);
        break;
    case kFocus:
        fnSetFocus(static_cast<UINT>(id));
        break;
    default:
        fnShowBtn(static_cast<UINT>(id), operation == kShow, true);
        break;
    }
    return 0;
}
