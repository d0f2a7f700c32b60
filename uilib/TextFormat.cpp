#include "uilib/TextFormat.h"

#include <cwchar>

namespace {

std::wstring CutToBuffer(std::wstring text, std::size_t bufferSize)
{
    if (bufferSize == 0)
        return {};
    if (text.size() > bufferSize - 1)
        text.resize(bufferSize - 1);
    return text;
}

} // namespace

std::wstring FormatText(const std::wstring& format, const wchar_t* stringArgument, std::size_t bufferSize)
{
    std::wstring out;
    out.reserve(format.size());
    bool argumentUsed = stringArgument == nullptr;
    for (std::size_t i = 0; i < format.size(); ++i) {
        wchar_t c = format[i];
        wchar_t next = i + 1 < format.size() ? format[i + 1] : L'\0';
        if (c == L'%' && next == L'%') {
            out.push_back(L'%');
            ++i;
        } else if (c == L'%' && next == L's' && !argumentUsed) {
            out.append(stringArgument);
            argumentUsed = true;
            ++i;
        } else {
            out.push_back(c);
        }
        if (bufferSize != 0 && out.size() >= bufferSize - 1)
            break;
    }
    return CutToBuffer(std::move(out), bufferSize);
}

std::wstring FormatPercentLine(double percent, const std::wstring& word, std::size_t bufferSize)
{
    // The longest "%.0f" of a double has 309 digits and a sign.
    wchar_t number[400];
    if (std::swprintf(number, sizeof number / sizeof number[0], L"%.0f", percent) < 0)
        number[0] = L'\0';
    return CutToBuffer(std::wstring(number) + L"% " + word, bufferSize);
}
