#include "uilib/CzCanvas.h"

#include "framework/CException.h"
#include "framework/CWinApp.h"
#include "framework/Messages.h"
#include "platform/Drives.h"
#include "platform/Process.h"
#include "platform/files/Utf8.h"
#include "uilib/Color.h"
#include "uilib/CzButton.h"
#include "uilib/CzDropList.h"
#include "uilib/CzProgressBar.h"
#include "uilib/CzStatic.h"
#include "uilib/Painter.h"
#include "uilib/SkinPainter.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

std::wstring& SkinFolderOverride()
{
    static std::wstring folder;
    return folder;
}

} // namespace

CzCanvas::CzCanvas(CWnd& window, platform::AccessibleRole role)
    : m_window(window)
    , m_focus(*this)
    , m_accessibility(*this, role)
{
}

CzCanvas::~CzCanvas() = default;

void CzCanvas::SetSkinFolder(const std::wstring& nativeFolder)
{
    SkinFolderOverride() = nativeFolder;
}

std::wstring CzCanvas::SkinFolder()
{
    if (!SkinFolderOverride().empty())
        return SkinFolderOverride();
    std::wstring executable = platform::GetModuleFileNameW();
    size_t slash = executable.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? std::wstring() : executable.substr(0, slash);
    return FromUtf8(platform::ToNativePath(folder));
}

std::wstring CzCanvas::fnAcquireText(UINT)
{
    return {};
}

const Image* CzCanvas::fnAcquireImage(UINT)
{
    return nullptr;
}

const Image* CzCanvas::fnAcquireMask(UINT)
{
    return nullptr;
}

const Image* CzCanvas::fnAcquireIcon(UINT)
{
    return nullptr;
}

void CzCanvas::DropControls()
{
    m_focus.Clear();
    m_readingOrder.clear();
    m_readingOrderIds.clear();
    m_buttons.clear();
    m_statics.clear();
    m_dropLists.clear();
    m_progressBars.clear();
}

void CzCanvas::fnParseScript(const std::wstring& file, const std::wstring& section, int)
{
    auto skin = WindowSkin::Load(SkinFolder(), file, section, m_window.GetScale());
    DropControls();
    m_skin = std::move(skin);
    const WindowLayout& layout = m_skin->Layout();

    std::string instanceName;
    for (wchar_t c : section)
        instanceName.push_back(c < 0x80 ? static_cast<char>(c) : '_');
    m_window.SetInstanceName(instanceName);
    CRect rect = m_window.GetRelativeRect();
    int x = rect.left;
    int y = rect.top;
    if (CWnd* owner = m_window.GetOwner()) {
        // Dialogs open centred over the window that owns them.
        CRect ownerRect = owner->GetWindowRect();
        x = ownerRect.left + (ownerRect.Width() - layout.width) / 2;
        y = ownerRect.top + (ownerRect.Height() - layout.height) / 2;
    }
    m_window.MoveWindow(x, y, layout.width, layout.height, true);

    // Creation order is painting order: statics under buttons, lists last.
    for (auto& [id, staticLayout] : layout.statics) {
        auto control = std::make_unique<CzStatic>(*this, staticLayout);
        if (control->Create())
            m_statics[static_cast<UINT>(id)] = std::move(control);
    }
    for (auto& [id, progressLayout] : layout.progressBars) {
        auto control = std::make_unique<CzProgressBar>(*this, progressLayout);
        if (control->Create())
            m_progressBars[static_cast<UINT>(id)] = std::move(control);
    }
    for (auto& [id, buttonLayout] : layout.buttons) {
        auto control = std::make_unique<CzButton>(*this, buttonLayout);
        if (control->Create())
            m_buttons[static_cast<UINT>(id)] = std::move(control);
    }
    for (auto& [id, listLayout] : layout.dropLists) {
        auto control = std::make_unique<CzDropList>(*this, listLayout);
        if (control->Create())
            m_dropLists[static_cast<UINT>(id)] = std::move(control);
    }
    BuildReadingOrder();
    m_window.InvalidateRect(nullptr);
}

void CzCanvas::BuildReadingOrder()
{
    struct Placed {
        CRect rect;
        UINT id;
        AccessibleControl* control;
    };
    std::vector<Placed> placed;
    for (auto& [id, control] : m_statics)
        placed.push_back({ control->Rect(), id, control.get() });
    for (auto& [id, control] : m_progressBars)
        placed.push_back({ control->GetRelativeRect(), id, control.get() });
    for (auto& [id, control] : m_buttons)
        placed.push_back({ control->Layout().rect, id, control.get() });
    for (auto& [id, control] : m_dropLists)
        placed.push_back({ control->GetRelativeRect(), id, control.get() });
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return a.rect.top != b.rect.top ? a.rect.top < b.rect.top : a.rect.left < b.rect.left;
    });
    m_readingOrder.clear();
    m_readingOrderIds.clear();
    for (const Placed& item : placed) {
        m_readingOrder.push_back(item.control);
        m_readingOrderIds.push_back(item.id);
    }
}

CzButton* CzCanvas::FindButton(UINT id) const
{
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second.get();
}

CzDropList* CzCanvas::FindDropList(UINT id) const
{
    auto it = m_dropLists.find(id);
    return it == m_dropLists.end() ? nullptr : it->second.get();
}

CzStatic* CzCanvas::FindStatic(UINT id) const
{
    auto it = m_statics.find(id);
    return it == m_statics.end() ? nullptr : it->second.get();
}

bool CzCanvas::fnChangeBtnText(UINT id, const wchar_t* text)
{
    CzButton* button = FindButton(id);
    if (!button)
        return false;
    // Without a text the script's own caption stays.
    if (text)
        button->SetCaption(text);
    return true;
}

bool CzCanvas::fnShowBtn(UINT id, bool show, bool redraw)
{
    CzButton* button = FindButton(id);
    if (!button)
        return false;
    button->ShowWindow(show ? SW_SHOW : SW_HIDE);
    if (!show)
        m_focus.LoseFrom(id);
    if (redraw)
        m_window.UpdateWindow();
    return true;
}

bool CzCanvas::fnEnableBtn(UINT id, bool enable)
{
    CzButton* button = FindButton(id);
    if (!button)
        return false;
    button->EnableWindow(enable);
    if (!enable)
        m_focus.LoseFrom(id);
    return true;
}

bool CzCanvas::fnShowStatic(UINT id, bool show, bool redraw)
{
    CzStatic* label = FindStatic(id);
    if (!label)
        return false;
    label->ShowWindow(show ? SW_SHOW : SW_HIDE);
    if (redraw)
        m_window.UpdateWindow();
    return true;
}

bool CzCanvas::fnDrawBtnFace(UINT id, const std::wstring& text, COLORREF color, const Font* font, UINT format, const CPoint* offsets)
{
    CzButton* button = FindButton(id);
    if (!button || !m_skin)
        return false;
    FaceText face;
    face.text = text;
    face.color = Color::FromColorref(color);
    face.format = format;
    // The button keeps the font alive: find the shared handle of the font we handed out.
    face.font = m_skin->GetFont(m_skin->IndexOfFont(font));
    if (offsets)
        std::copy(offsets, offsets + FaceStateCount, face.offsets.begin());
    button->SetFaceText(std::move(face));
    return true;
}

const Font* CzCanvas::fnGetFont(int index)
{
    return m_skin ? m_skin->GetFont(index).get() : nullptr;
}

CWnd* CzCanvas::fnGetDlgItem(UINT id)
{
    return m_window.GetDlgItem(id);
}

bool CzCanvas::fnShowWindow(int command)
{
    return m_window.ShowWindow(command);
}

bool CzCanvas::fnSetFocus(UINT id)
{
    return m_focus.SetOn(id);
}

bool CzCanvas::fnSetAccessibleName(UINT id, const std::wstring& name)
{
    CzButton* button = FindButton(id);
    if (!button)
        return false;
    button->SetAccessibleName(name);
    return true;
}

void CzCanvas::OnCanvasShown()
{
    m_focus.OnWindowShown();
}

void CzCanvas::RedrawStatic(UINT id)
{
    CzStatic* label = FindStatic(id);
    if (!label || !label->IsWindowVisible())
        return;
    label->RedrawNow(label->GetClientRect());
}

void CzCanvas::OnScaleChanged(const CRect& suggested)
{
    double scale = m_window.GetScale();
    if (!m_skin || m_skin->Scale() == scale)
        return;
    std::unique_ptr<WindowSkin> skin;
    try {
        skin = m_skin->AtScale(scale);
    } catch (const CException& error) {
        std::fprintf(stderr, "arkeven: the window stays at its scale: %s\n", error.what());
        return;
    }
    // Face texts keep their font by index: the old skin's fonts go with it.
    for (auto& [id, button] : m_buttons) {
        if (const FaceText* text = button->GetFaceText()) {
            FaceText face = *text;
            if (face.font)
                face.font = skin->GetFont(m_skin->IndexOfFont(face.font.get()));
            button->SetFaceText(std::move(face));
        }
    }
    m_skin = std::move(skin);
    const WindowLayout& layout = m_skin->Layout();
    m_window.MoveWindow(suggested.left, suggested.top, layout.width, layout.height, true);
    for (auto& [id, control] : m_statics)
        control->SetLayout(*layout.FindStatic(static_cast<int>(id)));
    for (auto& [id, control] : m_progressBars)
        control->SetLayout(*layout.FindProgress(static_cast<int>(id)));
    for (auto& [id, control] : m_buttons)
        control->SetLayout(*layout.FindButton(static_cast<int>(id)));
    for (auto& [id, control] : m_dropLists)
        control->SetLayout(*layout.FindDropList(static_cast<int>(id)));
    m_window.InvalidateRect(nullptr);
}

void CzCanvas::PaintBackground(PaintContext& context)
{
    m_accessibility.Refresh();
    Painter painter(context.frame);
    Painter::ScopedClip clip(painter, context.clip);
    if (!m_skin) {
        painter.FillRect(context.clip, 0xFFF0F2F5);
        return;
    }
    SkinPainter(painter, *m_skin).PaintBackground();
}

bool CzCanvas::HandleCanvasKey(const MSG& msg)
{
    if (msg.message != WM_KEYDOWN)
        return false;
    m_focus.ForgetUnfocusable();
    if (msg.wParam == VK_TAB) {
        m_focus.MoveInReadingOrder(GetKeyState(VK_SHIFT) < 0);
        return true;
    }
    UINT focused = m_focus.Control();
    // Space, and Enter as on a focused Win32 push button, press the focused button.
    if ((msg.wParam == VK_SPACE || msg.wParam == VK_RETURN) && focused) {
        if (CzButton* button = FindButton(focused)) {
            button->Activate();
            return true;
        }
    }
    // Space, and F4 as on a Win32 combo box, open a focused list.
    if ((msg.wParam == VK_SPACE || msg.wParam == VK_F4) && focused) {
        if (CzDropList* list = FindDropList(focused)) {
            list->Open();
            return true;
        }
    }
    return false;
}
