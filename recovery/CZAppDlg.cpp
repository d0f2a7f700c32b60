#include "recovery/CZAppDlg.h"

#include "config/MenuConfig.h"
#include "framework/CException.h"
#include "framework/CWinApp.h"
#include "platform/files/Utf8.h"
#include "platform/host/HostLog.h"
#include "recovery/CzRecoveryDlg.h"
#include "shared/Globals.h"
#include "shared/LibraryText.h"
#include "stick/DriveListItem.h"
#include "stick/OfferedDrive.h"
#include "uilib/CzTextLibrary.h"
#include "uilib/TextFormat.h"


namespace {
constexpr int kEntriesPerPage = 16;
constexpr int kMaxEntries = 30;
constexpr UINT kFirstEntryButton = 1021;
constexpr UINT kLastEntryButton = 1050;
constexpr UINT kPrevPage = 1004;
constexpr UINT kNextPage = 1005;
constexpr UINT kFirstIndicator = 1122;
constexpr UINT kLastIndicator = 1127;
constexpr UINT kStartButton = 1021;
constexpr UINT kCloseEntryButton = 1022;
constexpr UINT kDriveListId = 2001;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr UINT kSingleLineCentred = 33;

// A text used as a format with no argument: "%%" shows as one percent sign.
std::wstring Formatted(UINT id)
{
    return FormatText(LibraryText(id), nullptr, kPathBufferSize);
}

} // namespace

IMPLEMENT_MESSAGE_MAP(CZAppDlg, CzCanvasDlg,
    OnWmDestroy(&CZAppDlg::OnDestroy),
    OnBnClicked(1001, &CZAppDlg::OnCloseButton),
    OnBnClicked(kPrevPage, &CZAppDlg::OnPrevPage),
    OnBnClicked(kNextPage, &CZAppDlg::OnNextPage),
    OnBnClicked(kStartButton, &CZAppDlg::OnBeginRecovery),
    OnBnClicked(kCloseEntryButton, &CZAppDlg::OnCloseButton))

CZAppDlg::CZAppDlg(CWnd* parent)
    : CzCanvasDlg(parent, 0)
{
}

CZAppDlg::~CZAppDlg()
{
    // However the dialog ended, the launcher comes back.
    if (auto* launcher = dynamic_cast<CzCanvas*>(AfxGetMainWnd()))
        launcher->fnShowWindow(SW_SHOWNORMAL);
}

bool CZAppDlg::OnInitDialog()
{
    CzCanvasDlg::OnInitDialog();
    try {
        fnParseScript(L"Arkeven.zsp", L"AppFrm", 0);
        m_pTxtCtrl = std::make_unique<CUITxtCtrl>();
        m_pTxtCtrl->fnAttachWnd(this);
        fnChangeBtnText(1001, z32MLGetString(2));
        SetPageButtonText();
        InitAppButtons();
        m_pTxtCtrl->fnSetStaticText(10003, Formatted(20).c_str());
        m_pTxtCtrl->fnSetStaticText(10008, Formatted(15).c_str());
        m_pTxtCtrl->fnSetStaticText(10009, Formatted(16).c_str());
        m_pTxtCtrl->fnSetStaticText(10010, Formatted(17).c_str());
    } catch (const CException&) {
        EndDialog(-1);
        return false;
    }
    m_pDriveList = fnGetDlgItem(kDriveListId);
    ListUsbDrives();
    if (m_pDriveList && m_pDriveList->SendMessage(CB_GETCOUNT) == 0)
        fnEnableBtn(kStartButton, false);
    TraceDriveList();
    return true;
}

std::wstring CZAppDlg::fnAcquireText(UINT id)
{
    return CUITxtCtrl::AcquireText(m_pTxtCtrl.get(), id);
}

void CZAppDlg::SetPageButtonText()
{
    fnChangeBtnText(kPrevPage, z32MLGetString(4));
    fnChangeBtnText(kNextPage, z32MLGetString(5));
}

void CZAppDlg::LoadAppList()
{
    m_nAppCount = CountAppEntries(GetAppSectionName());
    m_nPageCount = m_nAppCount / kEntriesPerPage + (m_nAppCount % kEntriesPerPage ? 1 : 0);
}

void CZAppDlg::InitAppButtons()
{
    LoadAppList();
    const CPoint offsets[4] = { { 7, 18 }, { 7, 18 }, { 7, 18 }, { 7, 18 } };
    const Font* font = fnGetFont(7);
    fnDrawBtnFace(kStartButton, Formatted(9), kWhite, font, kSingleLineCentred, offsets);
    fnDrawBtnFace(kCloseEntryButton, Formatted(8), kWhite, font, kSingleLineCentred, offsets);
    m_nCurPage = 0;
    ShowAppPage();
}

void CZAppDlg::ShowAppPage()
{
    for (UINT id = kFirstEntryButton; id <= kLastEntryButton; ++id)
        fnShowBtn(id, false, false);
    for (int j = m_nCurPage * kEntriesPerPage; j < m_nCurPage * kEntriesPerPage + kEntriesPerPage && j < m_nAppCount; ++j)
        fnShowBtn(kFirstEntryButton + static_cast<UINT>(j), true, false);

    bool paged = m_nPageCount > 1;
    fnShowBtn(kPrevPage, paged, false);
    fnShowBtn(kNextPage, paged, false);
    fnEnableBtn(kPrevPage, m_nCurPage != 0);
    fnEnableBtn(kNextPage, m_nCurPage + 1 != m_nPageCount);

    for (UINT id = kFirstIndicator; id <= kLastIndicator; ++id)
        fnShowStatic(id, false, false);
    if (m_nPageCount == 2)
        fnShowStatic(m_nCurPage == 0 ? 1123 : 1124, true, true);
}

void CZAppDlg::OnPrevPage()
{
    if (m_nCurPage == 0)
        return;
    --m_nCurPage;
    ShowAppPage();
}

void CZAppDlg::OnNextPage()
{
    if (m_nCurPage + 1 == m_nPageCount)
        return;
    ++m_nCurPage;
    ShowAppPage();
}

void CZAppDlg::ListUsbDrives()
{
    if (!m_pDriveList)
        return;
    wchar_t ownDrive = ProgramDriveLetter();
    for (const platform::DriveFacts& drive : platform::Sticks::System().ListDrives()) {
        if (IsOfferedDrive(drive)) {
            std::wstring item = DriveListItem(drive);
            m_pDriveList->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
            m_driveIdentities.push_back(drive.identity);
            fnEnableBtn(kStartButton, true);
        }
        // Every openable removable drive but the program's own selects the first item, listed or not.
        if (drive.letter != ownDrive && drive.opened && drive.type == platform::DriveType::Removable)
            m_pDriveList->SendMessage(CB_SETCURSEL, 0, 0);
    }
}

std::wstring CZAppDlg::DriveItemText(int index) const
{
    LRESULT length = m_pDriveList ? m_pDriveList->SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index)) : CB_ERR;
    if (length <= 0)
        return {};
    std::wstring item(static_cast<size_t>(length) + 1, L'\0');
    m_pDriveList->SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item.data()));
    item.resize(static_cast<size_t>(length));
    return item;
}

std::wstring CZAppDlg::DriveIdentity(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_driveIdentities.size())
        return {};
    return m_driveIdentities[static_cast<size_t>(index)];
}

// After a device came or went: the list is listed anew, and the device the user had selected
// stays selected wherever its item now stands. Only when nothing was selected, or that device
// left, does the listing's own choice stand.
void CZAppDlg::RebuildDriveList()
{
    LRESULT selected = m_pDriveList->SendMessage(CB_GETCURSEL);
    std::wstring selectedIdentity = selected == CB_ERR ? std::wstring() : DriveIdentity(static_cast<int>(selected));
    m_pDriveList->SendMessage(CB_RESETCONTENT);
    m_driveIdentities.clear();
    fnEnableBtn(kStartButton, false);
    ListUsbDrives();
    for (size_t index = 0; index < m_driveIdentities.size() && !selectedIdentity.empty(); ++index) {
        if (m_driveIdentities[index] == selectedIdentity) {
            m_pDriveList->SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index));
            break;
        }
    }
    TraceDriveList();
}

// "drives AppFrm E (300 MBytes)|F (300 MBytes) selected 1" in the host log, for scripted runs.
void CZAppDlg::TraceDriveList()
{
    auto& log = platform::HostLog::Shared();
    if (!log.IsEnabled() || !m_pDriveList)
        return;
    std::wstring items;
    LRESULT count = m_pDriveList->SendMessage(CB_GETCOUNT);
    for (LRESULT index = 0; index < count; ++index)
        items += (index ? L"|" : L"") + DriveItemText(static_cast<int>(index));
    LRESULT selected = m_pDriveList->SendMessage(CB_GETCURSEL);
    log.Write("drives", GetInstanceName(), ToUtf8(items) + " selected " + (selected == CB_ERR ? "none" : std::to_string(selected)));
}

void CZAppDlg::OnBeginRecovery()
{
    if (m_pDriveList)
        m_pDriveList->EnableWindow(false);
    {
        CzRecoveryDlg writer(this);
        writer.DoModal();
        if (m_pDriveList)
            m_pDriveList->EnableWindow(true);
    }
}

void CZAppDlg::OnCloseButton()
{
    OnCancel();
}

void CZAppDlg::OnDestroy()
{
    m_pTxtCtrl.reset();
    CzCanvasDlg::OnDestroy();
}

LRESULT CZAppDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) && m_pDriveList) {
        RebuildDriveList();
        CRect client;
        GetClientRect(&client);
        InvalidateRect(&client, true);
    }
    return CzCanvasDlg::WindowProc(message, wParam, lParam);
}
