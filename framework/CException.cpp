#include "framework/CException.h"

#include "framework/Strings.h"

CException::CException(std::wstring reason, std::wstring file, int line)
    : m_reason(std::move(reason))
    , m_file(std::move(file))
    , m_line(line)
    , m_what(ToUtf8(Describe()))
{
}

std::wstring CException::Describe() const
{
    if (m_file.empty())
        return m_reason;
    if (m_line <= 0)
        return m_file + L": " + m_reason;
    return m_file + L":" + std::to_wstring(m_line) + L": " + m_reason;
}
