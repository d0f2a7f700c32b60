#pragma once

#include "shared/CUITxtCtrl.h"
#include "uilib/CzCanvasDlg.h"

#include <memory>
#include <string>
#include <vector>

// The recovery start dialog: the list of USB drives, kept current as drives come and go (the
// drive the user selected stays selected while it is there), and
// the application entries of the selected model and OS, sixteen to a page. Entry 1 (1021)
// starts the writer on the selected drive, entry 2 (1022) closes.
class CZAppDlg : public CzCanvasDlg {
public:
    explicit CZAppDlg(CWnd* parent);
    ~CZAppDlg() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    std::wstring fnAcquireText(UINT id) override;
    const Image* fnAcquireImage(UINT) override { return nullptr; }
    const Image* fnAcquireIcon(UINT) override { return nullptr; }

    CWnd* DriveList() const { return m_pDriveList; }
    // List item `index` ("E (1906 MBytes)"); empty when there is none.
    std::wstring DriveItemText(int index) const;
    // The identity of the device behind list item `index`, as it was when the item was listed.
    std::wstring DriveIdentity(int index) const;
    int AppCount() const { return m_nAppCount; }
    int PageCount() const { return m_nPageCount; }
    int CurrentPage() const { return m_nCurPage; }

    DECLARE_MESSAGE_MAP()

protected:
    void SetPageButtonText();
    void LoadAppList();
    void InitAppButtons();
    void ShowAppPage();
    void ListUsbDrives();
    void RebuildDriveList();
    void TraceDriveList();
    void OnPrevPage();
    void OnNextPage();
    void OnBeginRecovery();
    void OnCloseButton();
    void OnDestroy();

private:
    CWnd* m_pDriveList = nullptr;
    std::vector<std::wstring> m_driveIdentities; // one per list item, in list order
    std::unique_ptr<CUITxtCtrl> m_pTxtCtrl;
    int m_nAppCount = 0;
    int m_nPageCount = 0;
    int m_nCurPage = 0;
};
