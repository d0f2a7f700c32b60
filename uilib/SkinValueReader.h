#pragma once

#include "uilib/ScriptNode.h"
#include "uilib/SkinScript.h"

#include <cstdint>
#include <string>

// Reads the values of one property of the skin script, failing with the property's line.
// Errors throw CException(reason, fileName, line).
class SkinValueReader {
public:
    static constexpr int LargestCoordinate = 8192;

    SkinValueReader(const ScriptProperty& property, const std::wstring& fileName);

    // A word of the script as error texts show it: in single quotes.
    static std::wstring Quote(const std::wstring& text);

    [[noreturn]] void Fail(const std::wstring& reason) const;
    void ExpectCount(size_t count, const wchar_t* shape) const;

    const ScriptValue& At(size_t i) const { return m_property.values[i]; }

    int Number(size_t i, int minimum, int maximum) const;
    int Number(int minimum, int maximum) const;
    std::uint32_t Colour(size_t i) const;
    std::uint32_t Colour() const;
    ::Fill Fill() const;
    CRect Rect() const;
    bool Flag() const;
    std::wstring Text() const;
    // A file name, quoted or bare; no folders, the file lies beside the script.
    std::wstring FileName() const;
    std::wstring CheckedFileName(const std::wstring& name) const;
    HAlign Horizontal() const;
    VAlign Vertical() const;
    ImageRef Image() const { return { FileName(), m_property.line }; }

private:
    const ScriptProperty& m_property;
    const std::wstring& m_fileName;
};
