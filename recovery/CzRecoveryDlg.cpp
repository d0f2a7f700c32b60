#include "recovery/CzRecoveryDlg.h"

#include "app/Globals.h"
#include "framework/CException.h"
#include "platform/FileCopy.h"
#include "platform/Process.h"
#include "recovery/CZAppDlg.h"
#include "recovery/DriveDiscovery.h"
#include "recovery/StickJob.h"
#include "uilib/CzTextLibrary.h"
#include "uilib/TextFormat.h"

#include <cwchar>
#include <thread>

CzRecoveryDlg* g_pRecoveryDlg = nullptr;
CWnd* g_pProgressCtrl = nullptr;
std::atomic<bool> g_bRecoveryBusy { false };
wchar_t g_szTargetDrive[2] = {};
std::wstring g_szTargetIdentity;
platform::FormatExFunction g_pfnFormatEx = nullptr;
platform::EnableVolumeCompressionFunction g_pfnEnableVolumeCompression = nullptr;

namespace {

constexpr UINT WM_WORKER_SET_TEXT = WM_APP + 0x10;
constexpr UINT WM_WORKER_BUTTON = WM_APP + 0x11;
enum ButtonOperation : LPARAM { kDisable, kEnable, kHide, kShow };

constexpr UINT kCloseFace = 1014;
constexpr UINT kStartFace = 1015;
constexpr UINT kCloseButton = 1001;
constexpr UINT kProgressLine = 10005;
constexpr UINT kTargetLine = 10011;
constexpr UINT kTextReady = 25;
constexpr UINT kTextFailed = 27;
constexpr UINT kTextNoRights = 28;
constexpr UINT kTextTooSmall = 29;
constexpr UINT kTextCdIncomplete = 30;
constexpr UINT kTextProgramMissing = 31;
constexpr UINT kTextStickChanged = 32;
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

std::wstring Text(UINT id)
{
    const wchar_t* text = z32MLGetString(id);
    return text ? text : L"";
}

void SetProgress(int position)
{
    if (g_pProgressCtrl)
        g_pProgressCtrl->SendMessage(PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void SetLine(const std::wstring& line)
{
    g_pRecoveryDlg->SetStaticTextFromWorker(kProgressLine, line);
}

void SetPercentLine(double percent, const std::wstring& word)
{
    SetLine(FormatPercentLine(percent, word, kLineBufferSize));
}

// The final texts are the argument of "%s", not formats of their own: shown as they are.
std::wstring FinalMessage(UINT id)
{
    return Text(id).substr(0, kLineBufferSize - 1);
}

void Print(const std::string& text)
{
    platform::ConsoleWrite(text);
}

// Ends a job that could not run to its end: the dialog is usable again and says why it failed.
void FinishFailed(const std::wstring& text = FinalMessage(kTextFailed))
{
    SetLine(text);
    g_pRecoveryDlg->EnableButtonFromWorker(kStartFace, true);
    g_pRecoveryDlg->ShowButtonFromWorker(kStartFace, true);
    g_pRecoveryDlg->ShowButtonFromWorker(kCloseButton, true);
    g_bRecoveryBusy = false;
}

// The writer's side of the job: the bar and the percentage line follow the progress table, the
// diagnostics go to the console.
class WriterProgress final : public StickJob::Listener {
public:
    void OnFormatProgress(std::uint32_t percent) override
    {
        SetProgress(static_cast<int>(percent * 0.5));
        if (percent == 100)
            SetProgress(75);
        SetPercentLine(percent * 0.5, Text(24));
    }
    void OnFormatDone(bool succeeded) override
    {
        SetProgress(78);
        SetPercentLine(55, Text(24));
        if (succeeded)
            std::thread(CopyThreadProc, nullptr).detach();
    }
    void OnCopyProgress(std::int64_t total, std::int64_t transferred) override
    {
        CopyProgressProc(total, transferred, 0, 0, 0, 0, nullptr, nullptr, nullptr);
    }
    void OnCopyDone(std::size_t step) override
    {
        SetPercentLine(kCopyMarks[step].percentAfter, m_word);
        SetProgress(kCopyMarks[step].barAfter);
    }
    void OnConsole(const std::string& text) override { Print(text); }

    // One copy of text 24 serves every percentage line of the copy stage.
    void TakeWordForCopies() { m_word = Text(24).substr(0, kWordBufferSize - 1); }

private:
    std::wstring m_word;
};

WriterProgress s_writerProgress;
// The job of the last press of Start; the worker threads reach it here.
std::unique_ptr<StickJob> s_pJob;

UINT FinalTextId(StickJob::Outcome outcome)
{
    switch (outcome) {
    case StickJob::Outcome::Ready:
        return kTextReady;
    case StickJob::Outcome::NoRights:
        return kTextNoRights;
    case StickJob::Outcome::StickTooSmall:
        return kTextTooSmall;
    case StickJob::Outcome::CdIncomplete:
        return kTextCdIncomplete;
    case StickJob::Outcome::ProgramMissing:
        return kTextProgramMissing;
    case StickJob::Outcome::StickChanged:
        return kTextStickChanged;
    case StickJob::Outcome::Running:
    case StickJob::Outcome::Failed:
        break;
    }
    return kTextFailed;
}

} // namespace

std::wstring FinalTextOf(const StickJob& job)
{
    UINT id = FinalTextId(job.Result());
    // These two name the least stick size or the missing programs through their one "%s".
    if (id == kTextTooSmall || id == kTextProgramMissing)
        return FormatText(Text(id), job.CauseArgument().c_str(), kLineBufferSize);
    return FinalMessage(id);
}

bool LoadFmifsEntryPoints()
{
    platform::ModuleHandle module = platform::LoadLibraryW(L"fmifs.dll");
    if (!module)
        return false;
    g_pfnFormatEx = reinterpret_cast<platform::FormatExFunction>(platform::GetProcAddress(module, "FormatEx"));
    if (!g_pfnFormatEx)
        return false;
    g_pfnEnableVolumeCompression = reinterpret_cast<platform::EnableVolumeCompressionFunction>(
        platform::GetProcAddress(module, "EnableVolumeCompression"));
    return g_pfnEnableVolumeCompression != nullptr;
}

std::uint32_t FormatThreadProc(CWnd*)
{
    // The target was bound when the writer opened: the list may have been rebuilt since.
    g_bRecoveryBusy = true;
    if (!g_szTargetDrive[0]) {
        // Nothing chosen: nothing is formatted.
        FinishFailed();
        return 0;
    }
    bool formatServiceLoaded = LoadFmifsEntryPoints();
    if (!formatServiceLoaded)
        Print("Could not located FMIFS entry points.\n\n");
    s_pJob = std::make_unique<StickJob>(g_szTargetDrive[0], g_szTargetIdentity, StickJob::SourceRootOfProgram(), s_writerProgress);
    // A successful format's done report has started the copy thread already.
    if (!s_pJob->Format(formatServiceLoaded ? g_pfnFormatEx : nullptr))
        FinishFailed(FinalTextOf(*s_pJob));
    return 0;
}

bool FormatExCallback(std::uint32_t command, std::uint32_t, void* actionInfo)
{
    return StickJob::OnFormatReport(command, actionInfo);
}

std::uint32_t CopyThreadProc(void*)
{
    s_writerProgress.TakeWordForCopies();
    if (s_pJob->Finish() != StickJob::Outcome::Ready) {
        FinishFailed(FinalTextOf(*s_pJob));
        return 0;
    }
    SetLine(FinalTextOf(*s_pJob));
    g_pRecoveryDlg->EnableButtonFromWorker(kStartFace, true);
    g_pRecoveryDlg->ShowButtonFromWorker(kStartFace, false);
    g_pRecoveryDlg->EnableButtonFromWorker(kCloseFace, true);
    g_pRecoveryDlg->ShowButtonFromWorker(kCloseFace, true);
    g_pRecoveryDlg->ShowButtonFromWorker(kCloseButton, true);
    g_bRecoveryBusy = false;
    return 0;
}

std::uint32_t CopyProgressProc(std::int64_t totalFileSize, std::int64_t totalBytesTransferred, std::int64_t,
    std::int64_t, std::uint32_t, std::uint32_t, void*, void*, void*)
{
    // An empty file counts as fully copied.
    double fraction = totalFileSize > 0 ? static_cast<double>(totalBytesTransferred) / static_cast<double>(totalFileSize) : 1.0;
    double x = fraction * 30;
    SetPercentLine(60 + x, Text(24));
    SetProgress(82 + static_cast<int>(2 * x));
    return platform::kProgressContinue;
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
    g_szTargetDrive[0] = L'\0';
    g_szTargetIdentity.clear();
    if (!m_pStartDialog || !m_pDriveList)
        return;
    LRESULT index = m_pDriveList->SendMessage(CB_GETCURSEL);
    std::wstring item = index == CB_ERR ? std::wstring() : m_pStartDialog->DriveItemText(static_cast<int>(index));
    if (item.empty())
        return;
    g_szTargetDrive[0] = item[0];
    g_szTargetDrive[1] = L'\0';
    g_szTargetIdentity = m_pStartDialog->DriveIdentity(static_cast<int>(index));
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
        DrawButtonFaces();
    } catch (const CException&) {
        EndDialog(-1);
        return false;
    }
    fnEnableBtn(kCloseFace, false);
    m_pTxtCtrl->fnSetStaticText(10006, FormatText(Text(20), nullptr, kPathBufferSize).c_str());
    m_pTxtCtrl->fnSetStaticText(10007, FormatText(Text(22), nullptr, kPathBufferSize).c_str());
    BindTarget();
    g_pProgressCtrl = fnGetDlgItem(kProgressBarId);
    if (g_pProgressCtrl) {
        g_pProgressCtrl->SendMessage(PBM_SETBKCOLOR, 0, static_cast<LPARAM>(kProgressColour));
        g_pProgressCtrl->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, kProgressHigh));
    }
    return true;
}

void CzRecoveryDlg::DrawButtonFaces()
{
    const CPoint offsets[4] = { { 7, 18 }, { 7, 18 }, { 7, 18 }, { 7, 18 } };
    const Font* font = fnGetFont(7);
    fnDrawBtnFace(kCloseFace, FormatText(Text(2), nullptr, kPathBufferSize), 0xFFFFFF, font, 33, offsets);
    fnDrawBtnFace(kStartFace, FormatText(Text(26), nullptr, kPathBufferSize), 0xFFFFFF, font, 33, offsets);
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
    std::thread(FormatThreadProc, m_pDriveList).detach();
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
    default:
        fnShowBtn(static_cast<UINT>(id), operation == kShow, true);
        break;
    }
    return 0;
}
