#pragma once

#include "uilib/ScriptNode.h"

#include <string>

// Reads the syntax of a skin script (UTF-8 text) into a ScriptNode tree. It knows nothing of
// windows or controls; SkinBuilder gives the tree its meaning. Every syntax error throws
// CException(reason, fileName, line).
//
// Tokens: '#' starts a comment unless it begins a colour (#RRGGBB or #RRGGBBAA); strings are
// double-quoted with \" \\ \n escapes; numbers are decimal integers; words are letters, digits,
// '-', '_' and '.'. A line break or ';' ends a statement.
class ScriptParser {
public:
    ScriptParser(std::string text, std::wstring fileName);

    ScriptNode Parse();

private:
    enum class TokenType { Word, Number, Color, String, Equals, Comma, Colon, Open, Close, End, EndOfFile };
    struct Token {
        TokenType type = TokenType::EndOfFile;
        std::wstring text;
        long long number = 0;
        unsigned color = 0;
        int line = 0;
    };

    [[noreturn]] void Fail(const std::wstring& reason, int line) const;
    Token Next();
    const Token& Peek();
    Token Take();
    void SkipBlankAndComments();
    Token ReadString();
    Token ReadColor();
    Token ReadWordOrNumber();

    void ParseBody(ScriptNode& node, bool topLevel);
    ScriptProperty ParseProperty(Token key, std::wstring argument);
    ScriptValue ParseValue(const Token& token);

    std::string m_text;
    std::wstring m_fileName;
    size_t m_pos = 0;
    int m_line = 1;
    int m_depth = 0;
    TokenType m_lastType = TokenType::End;
    bool m_hasPeeked = false;
    Token m_peeked;
};
