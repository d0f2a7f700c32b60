#include "uilib/SkinValueReader.h"

#include "framework/CException.h"

SkinValueReader::SkinValueReader(const ScriptProperty& property, const std::wstring& fileName)
    : m_property(property)
    , m_fileName(fileName)
{
}

std::wstring SkinValueReader::Quote(const std::wstring& text) { return L"'" + text + L"'"; }

void SkinValueReader::Fail(const std::wstring& reason) const
{
    throw CException(reason, m_fileName, m_property.line);
}

void SkinValueReader::ExpectCount(size_t count, const wchar_t* shape) const
{
    if (m_property.values.size() != count)
        Fail(Quote(m_property.key) + L" takes " + shape);
}

int SkinValueReader::Number(size_t i, int minimum, int maximum) const
{
    const ScriptValue& value = At(i);
    if (value.type != ScriptValue::Type::Number)
        Fail(L"bad number " + Quote(value.text) + L" in " + Quote(m_property.key));
    if (value.number < minimum || value.number > maximum)
        Fail(L"number " + std::to_wstring(value.number) + L" in " + Quote(m_property.key) + L" is outside " + std::to_wstring(minimum) + L" to " + std::to_wstring(maximum));
    return static_cast<int>(value.number);
}

int SkinValueReader::Number(int minimum, int maximum) const
{
    ExpectCount(1, L"one number");
    return Number(0, minimum, maximum);
}

std::uint32_t SkinValueReader::Colour(size_t i) const
{
    const ScriptValue& value = At(i);
    if (value.type == ScriptValue::Type::Word && value.text == L"none")
        return 0;
    if (value.type != ScriptValue::Type::Color)
        Fail(L"bad colour " + Quote(value.text) + L" in " + Quote(m_property.key) + L" (write #RRGGBB, #RRGGBBAA or none)");
    return value.color;
}

std::uint32_t SkinValueReader::Colour() const
{
    ExpectCount(1, L"one colour");
    return Colour(0);
}

::Fill SkinValueReader::Fill() const
{
    if (m_property.values.size() == 1)
        return ::Fill::Solid(Colour(0));
    ExpectCount(2, L"one colour, or two for a gradient from top to bottom");
    return { Colour(0), Colour(1) };
}

CRect SkinValueReader::Rect() const
{
    ExpectCount(4, L"four numbers: x, y, width, height");
    int x = Number(0, 0, LargestCoordinate);
    int y = Number(1, 0, LargestCoordinate);
    int width = Number(2, 1, LargestCoordinate);
    int height = Number(3, 1, LargestCoordinate);
    return { x, y, x + width, y + height };
}

bool SkinValueReader::Flag() const
{
    ExpectCount(1, L"yes or no");
    const std::wstring& word = At(0).text;
    if (At(0).type == ScriptValue::Type::Word) {
        if (word == L"yes" || word == L"true" || word == L"on")
            return true;
        if (word == L"no" || word == L"false" || word == L"off")
            return false;
    }
    Fail(Quote(m_property.key) + L" takes yes or no, not " + Quote(word));
}

std::wstring SkinValueReader::Text() const
{
    ExpectCount(1, L"one quoted text");
    if (At(0).type != ScriptValue::Type::String)
        Fail(Quote(m_property.key) + L" takes a quoted text, e.g. \"Close\"");
    return At(0).text;
}

std::wstring SkinValueReader::FileName() const
{
    ExpectCount(1, L"one file name");
    if (At(0).type != ScriptValue::Type::String && At(0).type != ScriptValue::Type::Word)
        Fail(Quote(m_property.key) + L" takes a file name");
    return CheckedFileName(At(0).text);
}

std::wstring SkinValueReader::CheckedFileName(const std::wstring& name) const
{
    if (name.empty() || name.find_first_of(L"/\\:") != std::wstring::npos || name == L"." || name == L"..")
        Fail(L"file name " + Quote(name) + L" must be a plain name in the skin folder");
    return name;
}

HAlign SkinValueReader::Horizontal() const
{
    ExpectCount(1, L"left, center or right");
    const std::wstring& word = At(0).text;
    if (word == L"left")
        return HAlign::Left;
    if (word == L"center" || word == L"centre")
        return HAlign::Center;
    if (word == L"right")
        return HAlign::Right;
    Fail(Quote(m_property.key) + L" takes left, center or right, not " + Quote(word));
}

VAlign SkinValueReader::Vertical() const
{
    ExpectCount(1, L"top, center or bottom");
    const std::wstring& word = At(0).text;
    if (word == L"top")
        return VAlign::Top;
    if (word == L"center" || word == L"centre")
        return VAlign::Center;
    if (word == L"bottom")
        return VAlign::Bottom;
    Fail(Quote(m_property.key) + L" takes top, center or bottom, not " + Quote(word));
}
