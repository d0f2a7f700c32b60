#include "platform/profile/ProfileText.h"

#include "platform/files/Utf8.h"

#include <algorithm>
#include <vector>

namespace platform {

namespace {

// Windows-1252 differs from Latin-1 in 0x80..0x9F only. The five bytes it leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, as Windows maps them.
std::wstring DecodeWindows1252(std::string_view bytes)
{
    static constexpr char16_t kHighControls[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    std::wstring out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        auto byte = static_cast<std::uint8_t>(c);
        if (byte >= 0x80 && byte <= 0x9F)
            out.push_back(static_cast<wchar_t>(kHighControls[byte - 0x80]));
        else
            out.push_back(static_cast<wchar_t>(byte));
    }
    return out;
}

// Surrogate pairs are joined; a lone surrogate becomes U+FFFD; an odd last byte is dropped.
std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian)
{
    std::vector<char16_t> units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto first = static_cast<std::uint8_t>(bytes[i]);
        auto second = static_cast<std::uint8_t>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    std::wstring out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t unit = units[i];
        bool isHigh = unit >= 0xD800 && unit <= 0xDBFF;
        bool isLow = unit >= 0xDC00 && unit <= 0xDFFF;
        if (isHigh && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (isHigh || isLow) {
            out.push_back(L'\xFFFD');
        } else {
            out.push_back(static_cast<wchar_t>(unit));
        }
    }
    return out;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view Trim(std::wstring_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Case folding for the scripts a profile name is plausibly written in: ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic. Independent of the process locale on purpose.
wchar_t FoldCase(wchar_t c)
{
    auto cp = static_cast<char32_t>(c);
    if (cp >= U'A' && cp <= U'Z')
        return static_cast<wchar_t>(cp + 0x20);
    if (cp < 0xC0)
        return c;
    if (cp <= 0xDE && cp != 0xD7)
        return static_cast<wchar_t>(cp + 0x20);
    if (cp >= 0x100 && cp <= 0x17F) {
        if (cp == 0x178)
            return L'\xFF';
        bool pairsStartEven = cp <= 0x137 || (cp >= 0x14A && cp <= 0x177);
        bool pairsStartOdd = (cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E);
        if ((pairsStartEven && cp % 2 == 0) || (pairsStartOdd && cp % 2 == 1))
            return static_cast<wchar_t>(cp + 1);
        return c;
    }
    if (cp >= 0x391 && cp <= 0x3AB && cp != 0x3A2)
        return static_cast<wchar_t>(cp + 0x20);
    if (cp >= 0x410 && cp <= 0x42F)
        return static_cast<wchar_t>(cp + 0x20);
    if (cp >= 0x400 && cp <= 0x40F)
        return static_cast<wchar_t>(cp + 0x50);
    return c;
}

bool NamesEqual(std::wstring_view a, std::wstring_view b)
{
    a = Trim(a);
    b = Trim(b);
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
        return FoldCase(x) == FoldCase(y);
    });
}

// Splits at CR LF, LF, CR and NUL alike; a NUL in a file ends its line rather than its text.
class LineReader {
public:
    explicit LineReader(std::wstring_view text) : m_text(text) { }

    bool Next(std::wstring_view& line)
    {
        if (m_position > m_text.size())
            return false;
        size_t end = m_position;
        while (end < m_text.size() && m_text[end] != L'\n' && m_text[end] != L'\r' && m_text[end] != L'\0')
            ++end;
        line = m_text.substr(m_position, end - m_position);
        if (end + 1 < m_text.size() && m_text[end] == L'\r' && m_text[end + 1] == L'\n')
            ++end;
        m_position = end + 1;
        return true;
    }

private:
    std::wstring_view m_text;
    size_t m_position = 0;
};

// "[name]": the name ends at the first "]", or at the end of the line when there is none (as
// Windows reads it); text after the bracket is ignored.
std::optional<std::wstring_view> SectionHeaderName(std::wstring_view line)
{
    if (line.empty() || line.front() != L'[')
        return std::nullopt;
    line.remove_prefix(1);
    return line.substr(0, line.find(L']'));
}

std::wstring_view Unquote(std::wstring_view value)
{
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

std::wstring DecodeProfileBytes(std::string_view bytes)
{
    auto startsWith = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (startsWith("\xFF\xFE"))
        return DecodeUtf16(bytes.substr(2), false);
    if (startsWith("\xFE\xFF"))
        return DecodeUtf16(bytes.substr(2), true);
    if (startsWith("\xEF\xBB\xBF"))
        return FromUtf8(std::string(bytes.substr(3)));
    std::string text(bytes);
    if (IsValidUtf8(text))
        return FromUtf8(text);
    return DecodeWindows1252(bytes);
}

// Windows searches only the first section of a given name: a later block that repeats the name
// is never consulted, even for a key the first block lacks (GetPrivateProfileStringW on a file
// with "[A] x=1 [A] y=2" gives the default for y). Files written for Windows rely on exactly this,
// so the search ends with the first matching block. The first line of a key in that block wins.
std::optional<std::wstring> FindProfileValue(std::wstring_view text, std::wstring_view section, std::wstring_view key)
{
    if (Trim(key).empty())
        return std::nullopt;

    LineReader reader(text);
    std::wstring_view line;
    bool inSection = false;
    while (reader.Next(line)) {
        line = Trim(line);
        if (line.empty() || line.front() == L';')
            continue;
        if (auto header = SectionHeaderName(line)) {
            if (inSection)
                return std::nullopt;
            inSection = NamesEqual(*header, section);
            continue;
        }
        if (!inSection)
            continue;
        size_t equals = line.find(L'=');
        if (equals == std::wstring_view::npos)
            continue;
        if (NamesEqual(line.substr(0, equals), key))
            return std::wstring(Unquote(Trim(line.substr(equals + 1))));
    }
    return std::nullopt;
}

std::wstring ReadProfileString(std::string_view fileBytes, std::wstring_view section, std::wstring_view key,
    std::wstring_view defaultValue)
{
    if (auto value = FindProfileValue(DecodeProfileBytes(fileBytes), section, key))
        return *value;
    // Windows drops trailing spaces (not tabs) from the default it hands back.
    while (!defaultValue.empty() && defaultValue.back() == L' ')
        defaultValue.remove_suffix(1);
    return std::wstring(defaultValue);
}

std::uint32_t CopyToProfileBuffer(std::wstring_view text, wchar_t* buffer, std::uint32_t size)
{
    if (buffer == nullptr || size == 0)
        return 0;
    auto length = static_cast<std::uint32_t>(std::min<size_t>(text.size(), size - 1));
    std::copy_n(text.begin(), length, buffer);
    buffer[length] = L'\0';
    return length;
}

} // namespace platform
