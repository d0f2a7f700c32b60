#include "config/ZSelectionDlg.h"

#include "config/MenuConfig.h"
#include "framework/CException.h"
#include "shared/Globals.h"
#include "shared/LibraryText.h"
#include "uilib/CzTextLibrary.h"

#include <cwchar>

namespace {
constexpr UINT kTextClose = 2;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr UINT kSingleLine = 32;
}

ZSelectionDlg::ZSelectionDlg(CWnd* parent, const SelectionDialogKind& kind)
    : CzCanvasDlg(parent, 0)
    , m_kind(kind)
{
}

ZSelectionDlg::~ZSelectionDlg()
{
    m_mapCaptions.clear();
    m_mapValues.clear();
}

bool ZSelectionDlg::OnInitDialog()
{
    CzCanvasDlg::OnInitDialog();
    try {
        fnParseScript(L"Arkeven.zsp", m_kind.scriptSection, 0);
        fnChangeBtnText(1001, z32MLGetString(kTextClose));
        LoadEntries();
        DrawEntryButtons();
    } catch (const CException&) {
        EndDialog(-1);
        return false;
    }
    return true;
}

std::wstring ZSelectionDlg::fnAcquireText(UINT id)
{
    return LibraryText(id);
}

void ZSelectionDlg::LoadEntries()
{
    for (int k = 1; k <= m_kind.slots; ++k) {
        std::wstring entry = ReadMenuString(m_kind.menuSection, m_kind.menuSection + std::to_wstring(k));
        if (entry.empty())
            continue;
        AddEntry(entry, m_nEntries);
        ++m_nEntries;
    }
}

void ZSelectionDlg::AddEntry(const std::wstring& text, int index)
{
    MenuEntry entry = SplitMenuEntry(text);
    m_mapCaptions[index] = m_kind.leadingBlank ? L" " + entry.caption : entry.caption;
    if (entry.value)
        m_mapValues[index] = *entry.value;
}

void ZSelectionDlg::DrawEntryButtons()
{
    const CPoint* offsets = m_kind.faceOffsets.data();
    for (int i = 0; i < m_nEntries; ++i) {
        fnDrawBtnFace(m_kind.firstButton + static_cast<UINT>(i), m_mapCaptions[i], kWhite, fnGetFont(m_kind.fontIndex),
            kSingleLine, offsets);
    }
    for (int i = m_nEntries; i < m_kind.slots; ++i)
        fnShowBtn(m_kind.firstButton + static_cast<UINT>(i), false, true);
}

void ZSelectionDlg::OnEntryButton(int index)
{
    auto value = m_mapValues.find(index);
    std::wstring text = value == m_mapValues.end() ? std::wstring() : value->second;
    std::wmemset(m_kind.global, L'\0', kPathBufferSize);
    std::wcsncpy(m_kind.global, text.c_str(), kPathBufferSize - 1);
    OnOK();
}

void ZSelectionDlg::OnEntryButtonId(UINT id)
{
    OnEntryButton(static_cast<int>(id - m_kind.firstButton));
}

void ZSelectionDlg::OnCloseButton()
{
    OnCancel();
}
