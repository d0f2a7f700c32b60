#pragma once

#include "uilib/CzCanvasDlg.h"

#include <array>
#include <map>
#include <string>

// What tells the model dialog and the operating-system dialog apart.
struct SelectionDialogKind {
    const wchar_t* scriptSection;   // "ModelFrm" / "OSFrm"
    const wchar_t* menuSection;     // "Model" / "OS"
    int slots;                      // 4 / 5 entry buttons
    UINT firstButton;               // 1101 / 1111
    bool leadingBlank;              // model captions are drawn after one blank
    int fontIndex;                  // 5 / 6
    std::array<CPoint, 4> faceOffsets;
    wchar_t* global;                // g_szModel / g_szOS
};

// One dialog design for both selections: a button per entry of the menu section, and the close
// button 1001. Choosing an entry copies its value into the dialog's global and confirms.
class ZSelectionDlg : public CzCanvasDlg {
public:
    ZSelectionDlg(CWnd* parent, const SelectionDialogKind& kind);
    ~ZSelectionDlg() override;

    bool OnInitDialog() override;
    std::wstring fnAcquireText(UINT id) override;
    const Image* fnAcquireImage(UINT) override { return nullptr; }
    const Image* fnAcquireIcon(UINT) override { return nullptr; }

    int EntryCount() const { return m_nEntries; }
    const std::map<int, std::wstring>& Captions() const { return m_mapCaptions; }
    const std::map<int, std::wstring>& Values() const { return m_mapValues; }

protected:
    void LoadEntries();
    void AddEntry(const std::wstring& text, int index);
    void DrawEntryButtons();
    void OnEntryButton(int index);
    void OnEntryButtonId(UINT id);
    void OnCloseButton();

    int m_nEntries = 0;
    std::map<int, std::wstring> m_mapCaptions;
    std::map<int, std::wstring> m_mapValues;

private:
    const SelectionDialogKind& m_kind;
};
