#include "framework/Framebuffer.h"

#include <algorithm>

CRect CRect::Intersect(const CRect& other) const
{
    CRect result { std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
        std::min(bottom, other.bottom) };
    if (result.IsEmpty())
        return {};
    return result;
}

CRect CRect::Union(const CRect& other) const
{
    if (IsEmpty())
        return other;
    if (other.IsEmpty())
        return *this;
    return { std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
        std::max(bottom, other.bottom) };
}

Framebuffer::Framebuffer(int width, int height, std::uint32_t fill)
{
    Resize(width, height, fill);
}

void Framebuffer::Resize(int width, int height, std::uint32_t fill)
{
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
    m_pixels.assign(static_cast<size_t>(m_width) * m_height, fill);
}
