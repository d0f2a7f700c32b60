#include "uilib/CzDropList.h"

#include "framework/Messages.h"
#include "uilib/CzCanvas.h"
#include "uilib/Painter.h"
#include "uilib/SkinPainter.h"

#include <algorithm>
#include <cwchar>

CzDropList::CzDropList(CzCanvas& canvas, const DropListLayout& layout)
    : m_canvas(canvas)
    , m_layout(&layout)
{
}

bool CzDropList::Create()
{
    if (!CreateChild(m_canvas.Window(), static_cast<UINT>(m_layout->id), m_layout->rect, m_layout->visible))
        return false;
    if (!m_layout->enabled)
        EnableWindow(false);
    return true;
}

void CzDropList::SetLayout(const DropListLayout& layout)
{
    Close();
    m_layout = &layout;
    MoveWindow(layout.rect.left, layout.rect.top, layout.rect.Width(), layout.rect.Height(), true);
}

CRect CzDropList::PopupRect() const
{
    return SkinPainter::DropListPopupRect(*m_canvas.Skin(), *m_layout, static_cast<int>(m_items.size()))
        .Offset(-m_layout->rect.left, -m_layout->rect.top);
}

bool CzDropList::HitTest(CPoint point) const
{
    return GetClientRect().Contains(point.x, point.y) || (m_open && PopupRect().Contains(point.x, point.y));
}

int CzDropList::ItemAt(CPoint point) const
{
    CPoint inWindow { point.x + m_layout->rect.left, point.y + m_layout->rect.top };
    return SkinPainter::DropListItemAt(*m_canvas.Skin(), *m_layout, static_cast<int>(m_items.size()), m_firstVisible, inWindow);
}

void CzDropList::InvalidatePopup()
{
    CRect area = m_openedPopup.Union(PopupRect()).Offset(m_layout->rect.left, m_layout->rect.top);
    GetParent()->InvalidateRect(&area);
    InvalidateRect(nullptr);
}

void CzDropList::ScrollToHot()
{
    int rows = std::max(m_layout->visibleItems, 1);
    if (m_hot < m_firstVisible)
        m_firstVisible = std::max(m_hot, 0);
    else if (m_hot >= m_firstVisible + rows)
        m_firstVisible = m_hot - rows + 1;
}

void CzDropList::Open()
{
    if (m_open || !IsWindowEnabled() || !IsWindowVisible())
        return;
    m_open = true;
    m_hot = m_selection;
    m_firstVisible = 0;
    ScrollToHot();
    m_openedPopup = PopupRect();
    SetFocus();
    SetCapture();
    InvalidatePopup();
}

void CzDropList::Close()
{
    if (!m_open)
        return;
    InvalidatePopup();
    m_open = false;
    m_hot = -1;
    if (GetCapture() == this)
        ReleaseCapture();
}

void CzDropList::Select(int index)
{
    if (index < 0 || index >= static_cast<int>(m_items.size()))
        return;
    m_selection = index;
    InvalidateRect(nullptr);
}

void CzDropList::MoveHot(int delta)
{
    if (m_items.empty())
        return;
    int last = static_cast<int>(m_items.size()) - 1;
    if (!m_open) {
        Select(std::clamp(m_selection < 0 ? 0 : m_selection + delta, 0, last));
        return;
    }
    m_hot = std::clamp(m_hot < 0 ? 0 : m_hot + delta, 0, last);
    ScrollToHot();
    InvalidatePopup();
}

bool CzDropList::PreTranslateMessage(MSG& msg)
{
    if (msg.message != WM_KEYDOWN)
        return false;
    switch (msg.wParam) {
    case VK_UP:
        MoveHot(-1);
        return true;
    case VK_DOWN:
        MoveHot(1);
        return true;
    case VK_RETURN:
        if (!m_open)
            return false;
        Select(m_hot);
        Close();
        return true;
    case VK_ESCAPE:
        if (!m_open)
            return false;
        Close();
        return true;
    case VK_TAB:
        Close();
        return false;
    default:
        return false;
    }
}

LRESULT CzDropList::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case CB_ADDSTRING: {
        const auto* text = reinterpret_cast<const wchar_t*>(lParam);
        m_items.emplace_back(text ? text : L"");
        if (m_open)
            InvalidatePopup();
        InvalidateRect(nullptr);
        return static_cast<LRESULT>(m_items.size() - 1);
    }
    case CB_RESETCONTENT:
        Close();
        m_items.clear();
        m_selection = -1;
        InvalidateRect(nullptr);
        return 0;
    case CB_GETCOUNT:
        return static_cast<LRESULT>(m_items.size());
    case CB_SETCURSEL: {
        auto index = static_cast<std::intptr_t>(wParam);
        if (index < 0 || index >= static_cast<std::intptr_t>(m_items.size())) {
            m_selection = -1;
            InvalidateRect(nullptr);
            return CB_ERR;
        }
        Select(static_cast<int>(index));
        return index;
    }
    case CB_GETCURSEL:
        return m_selection < 0 ? CB_ERR : m_selection;
    case CB_GETLBTEXTLEN:
    case CB_GETLBTEXT: {
        auto index = static_cast<std::intptr_t>(wParam);
        if (index < 0 || index >= static_cast<std::intptr_t>(m_items.size()))
            return CB_ERR;
        const std::wstring& item = m_items[static_cast<size_t>(index)];
        if (message == CB_GETLBTEXT) {
            auto* buffer = reinterpret_cast<wchar_t*>(lParam);
            if (!buffer)
                return CB_ERR;
            std::wmemcpy(buffer, item.c_str(), item.size() + 1);
        }
        return static_cast<LRESULT>(item.size());
    }
    case WM_LBUTTONDOWN: {
        CPoint point { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
        if (!m_open) {
            Open();
            return 0;
        }
        if (PopupRect().Contains(point.x, point.y)) {
            int item = ItemAt(point);
            if (item >= 0)
                Select(item);
        }
        Close();
        return 0;
    }
    case WM_MOUSEMOVE:
        if (m_open) {
            int item = ItemAt({ GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) });
            if (item >= 0 && item != m_hot) {
                m_hot = item;
                InvalidatePopup();
            }
        }
        return 0;
    case WM_ENABLE:
        if (!wParam)
            Close();
        InvalidateRect(nullptr);
        return 0;
    case WM_KILLFOCUS:
        Close();
        InvalidateRect(nullptr);
        return 0;
    case WM_SETFOCUS:
        InvalidateRect(nullptr);
        return 0;
    default:
        return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CzDropList::DescribeAccessible(platform::AccessibleTree& tree, CPoint windowOrigin) const
{
    namespace State = platform::AccessibleState;
    bool visible = IsWindowVisible();
    bool enabled = IsWindowEnabled();
    bool focused = m_canvas.FocusedControl() == GetDlgCtrlID();
    platform::AccessibleNode list;
    list.id = GetDlgCtrlID();
    list.role = platform::AccessibleRole::ComboBox;
    list.valueText = m_selection >= 0 ? m_items[static_cast<size_t>(m_selection)] : std::wstring();
    list.name = list.valueText;
    list.hasValue = true;
    list.value = m_selection;
    list.maximum = static_cast<double>(m_items.size()) - 1;
    CRect box = m_layout->rect.Offset(windowOrigin.x, windowOrigin.y);
    list.rect = { box.left, box.top, box.Width(), box.Height() };
    list.states = (visible ? 0 : State::Invisible) | (enabled ? 0 : State::Unavailable)
        | (visible && enabled ? State::Focusable : 0) | (m_open ? State::Expanded : State::Collapsed)
        // While open, the focus is on the item under the keyboard.
        | (focused && !(m_open && m_hot >= 0) ? State::Focused : 0);
    list.action = m_open ? platform::AccessibleAction::Close : platform::AccessibleAction::Open;
    tree.nodes.push_back(std::move(list));

    const WindowSkin* skin = m_canvas.Skin();
    CRect popup = skin ? SkinPainter::DropListPopupRect(*skin, *m_layout, static_cast<int>(m_items.size())) : CRect {};
    int border = skin ? skin->Scaled(1) : 0;
    for (size_t index = 0; index < m_items.size(); ++index) {
        int row = static_cast<int>(index) - m_firstVisible;
        bool rowShown = m_open && visible && row >= 0 && row < m_layout->visibleItems;
        platform::AccessibleNode item;
        item.id = platform::AccessibleItemId(GetDlgCtrlID(), static_cast<std::uint32_t>(index));
        item.parent = GetDlgCtrlID();
        item.role = platform::AccessibleRole::ListItem;
        item.name = m_items[index];
        if (rowShown) {
            int top = popup.top + border + row * m_layout->itemHeight;
            item.rect = { popup.left + border + windowOrigin.x, top + windowOrigin.y, popup.Width() - 2 * border, m_layout->itemHeight };
        }
        item.states = State::Selectable | (rowShown ? 0 : State::Invisible)
            | (static_cast<int>(index) == m_selection ? State::Selected : 0)
            | (m_open && focused && static_cast<int>(index) == m_hot ? State::Focused : 0);
        item.action = platform::AccessibleAction::Select;
        tree.nodes.push_back(std::move(item));
    }
}

bool CzDropList::DoAccessibleAction(std::uint32_t node)
{
    if (!IsWindowVisible() || !IsWindowEnabled())
        return false;
    if (node == GetDlgCtrlID()) {
        if (m_open)
            Close();
        else
            Open();
        return true;
    }
    std::uint32_t index = (node >> 16) - 1;
    if ((node & 0xFFFF) != GetDlgCtrlID() || index >= m_items.size())
        return false;
    Select(static_cast<int>(index));
    Close();
    return true;
}

void CzDropList::OnPaint(PaintContext& context)
{
    const WindowSkin* skin = m_canvas.Skin();
    if (!skin)
        return;
    Painter painter(context.frame);
    Painter::ScopedClip clip(painter, context.clip);
    std::wstring text = m_selection >= 0 ? m_items[static_cast<size_t>(m_selection)] : std::wstring();
    bool focused = m_canvas.FocusedControl() == GetDlgCtrlID();
    SkinPainter(painter, *skin).PaintDropList(*m_layout, text, IsWindowEnabled(), focused);
}

void CzDropList::OnPaintOverlay(PaintContext& context)
{
    const WindowSkin* skin = m_canvas.Skin();
    if (!m_open || !skin)
        return;
    Painter painter(context.frame);
    Painter::ScopedClip clip(painter, context.clip);
    SkinPainter(painter, *skin).PaintDropListPopup(*m_layout, m_items, m_firstVisible, m_hot, m_selection);
}
