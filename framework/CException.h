#pragma once

#include <exception>
#include <string>

// The framework's exception: thrown by value, caught by reference. Carries where the fault was
// found (a file and line, when it came from a file) and why.
class CException : public std::exception {
public:
    explicit CException(std::wstring reason, std::wstring file = {}, int line = 0);

    const std::wstring& Reason() const { return m_reason; }
    const std::wstring& File() const { return m_file; }
    int Line() const { return m_line; }
    // "file:line: reason", or the parts of it that are known.
    std::wstring Describe() const;
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    std::wstring m_reason;
    std::wstring m_file;
    int m_line = 0;
    std::string m_what;
};
