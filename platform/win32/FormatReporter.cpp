#include "platform/win32/FormatReporter.h"

namespace platform {

bool FormatReporter::Progress(std::uint32_t percent) const
{
    return !m_callback || m_callback(kFormatProgress, 0, &percent);
}

void FormatReporter::Line(const std::string& line) const
{
    std::string text = line + "\n";
    FormatTextOutput output { 1, text.c_str() };
    if (m_callback)
        m_callback(kFormatOutput, 0, &output);
}

void FormatReporter::Done(bool success) const
{
    std::uint8_t flag = success ? 1 : 0;
    if (m_callback)
        m_callback(kFormatDone, 0, &flag);
}

void FormatReporter::CantLock() const
{
    if (m_callback)
        m_callback(kFormatCantLock, 0, nullptr);
}

} // namespace platform
