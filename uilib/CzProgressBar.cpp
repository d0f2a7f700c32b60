#include "uilib/CzProgressBar.h"

#include "framework/Messages.h"
#include "platform/host/HostLog.h"
#include "uilib/Color.h"
#include "uilib/CzCanvas.h"
#include "uilib/Painter.h"
#include "uilib/SkinPainter.h"

#include <algorithm>

namespace {
constexpr UINT PBM_SETBARCOLOR = WM_USER + 9;
constexpr LRESULT CLR_DEFAULT = 0xFF000000;

COLORREF ToColorref(std::uint32_t argb)
{
    return RGB(Color::Red(argb), Color::Green(argb), Color::Blue(argb));
}
}

CzProgressBar::CzProgressBar(CzCanvas& canvas, const ProgressLayout& layout)
    : m_canvas(canvas)
    , m_layout(layout)
{
}

bool CzProgressBar::Create()
{
    return CreateChild(m_canvas.Window(), static_cast<UINT>(m_layout.id), m_layout.rect, m_layout.visible);
}

void CzProgressBar::SetLayout(const ProgressLayout& layout)
{
    m_layout = layout;
    MoveWindow(layout.rect.left, layout.rect.top, layout.rect.Width(), layout.rect.Height(), true);
}

LRESULT CzProgressBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case PBM_SETRANGE: {
        LRESULT previous = MAKELPARAM(static_cast<UINT>(m_low), static_cast<UINT>(m_high));
        m_low = static_cast<std::int16_t>(LOWORD(static_cast<WPARAM>(lParam)));
        m_high = static_cast<std::int16_t>(HIWORD(static_cast<WPARAM>(lParam)));
        if (m_high < m_low)
            std::swap(m_low, m_high);
        m_position = std::clamp(m_position, m_low, m_high);
        InvalidateRect(nullptr);
        return previous;
    }
    case PBM_SETPOS: {
        int previous = m_position;
        m_position = std::clamp(static_cast<int>(static_cast<std::intptr_t>(wParam)), m_low, m_high);
        platform::HostLog::Shared().Write("progress", GetTopLevelWindow()->GetInstanceName(), std::to_string(m_position));
        if (m_position != previous)
            InvalidateRect(nullptr);
        return previous;
    }
    case PBM_GETPOS:
        return m_position;
    case PBM_SETBKCOLOR:
    case PBM_SETBARCOLOR: {
        LRESULT previous = m_barColor ? static_cast<LRESULT>(ToColorref(*m_barColor)) : CLR_DEFAULT;
        m_barColor = Color::FromColorref(static_cast<COLORREF>(lParam));
        InvalidateRect(nullptr);
        return previous;
    }
    default:
        return CWnd::WindowProc(message, wParam, lParam);
    }
}

std::wstring CzProgressBar::PercentText() const
{
    long long span = static_cast<long long>(m_high) - m_low;
    long long percent = span > 0 ? (static_cast<long long>(m_position) - m_low) * 100 / span : 0;
    return std::to_wstring(percent) + L"%";
}

void CzProgressBar::DescribeAccessible(platform::AccessibleTree& tree, CPoint windowOrigin) const
{
    platform::AccessibleNode node;
    node.id = GetDlgCtrlID();
    node.role = platform::AccessibleRole::ProgressBar;
    CRect rect = m_layout.rect.Offset(windowOrigin.x, windowOrigin.y);
    node.rect = { rect.left, rect.top, rect.Width(), rect.Height() };
    node.states = IsWindowVisible() ? 0 : platform::AccessibleState::Invisible;
    node.hasValue = true;
    node.value = m_position;
    node.minimum = m_low;
    node.maximum = m_high;
    node.valueText = PercentText();
    tree.nodes.push_back(std::move(node));
}

void CzProgressBar::OnPaint(PaintContext& context)
{
    const WindowSkin* skin = m_canvas.Skin();
    if (!skin)
        return;
    Painter painter(context.frame);
    Painter::ScopedClip clip(painter, context.clip);
    SkinPainter(painter, *skin).PaintProgress(m_layout, m_position, m_low, m_high, m_barColor);
}
