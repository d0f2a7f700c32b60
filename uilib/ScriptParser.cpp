#include "uilib/ScriptParser.h"

#include "framework/CException.h"
#include "framework/Strings.h"

namespace {

// Blocks nest three deep in a valid script (file, window, control); a little slack is allowed.
constexpr int MaximumDepth = 8;
constexpr size_t MaximumDigits = 9;

bool IsWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::wstring Quote(const std::wstring& text) { return L"'" + text + L"'"; }

} // namespace

ScriptParser::ScriptParser(std::string text, std::wstring fileName)
    : m_text(std::move(text))
    , m_fileName(std::move(fileName))
{
}

void ScriptParser::Fail(const std::wstring& reason, int line) const
{
    throw CException(reason, m_fileName, line);
}

ScriptNode ScriptParser::Parse()
{
    if (m_text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        m_pos = 3;
    // Name the first line that is not UTF-8, before any other complaint.
    int line = 1;
    for (size_t start = 0; start <= m_text.size(); ++line) {
        size_t end = m_text.find('\n', start);
        if (end == std::string::npos)
            end = m_text.size();
        if (!IsValidUtf8(m_text.substr(start, end - start)))
            Fail(L"text is not valid UTF-8", line);
        start = end + 1;
    }

    ScriptNode root;
    root.line = 1;
    ParseBody(root, true);
    return root;
}

void ScriptParser::SkipBlankAndComments()
{
    while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\r'))
        ++m_pos;
    // A '#' right after '=' or ',' begins a colour; anywhere else it begins a comment.
    bool colourAllowed = m_lastType == TokenType::Equals || m_lastType == TokenType::Comma;
    bool hashComment = m_pos < m_text.size() && m_text[m_pos] == '#' && !colourAllowed;
    bool slashComment = m_text.compare(m_pos, 2, "//") == 0;
    if (hashComment || slashComment) {
        while (m_pos < m_text.size() && m_text[m_pos] != '\n')
            ++m_pos;
    }
}

ScriptParser::Token ScriptParser::Next()
{
    SkipBlankAndComments();
    Token token;
    token.line = m_line;
    if (m_pos >= m_text.size()) {
        token.type = TokenType::EndOfFile;
        return token;
    }
    char c = m_text[m_pos];
    switch (c) {
    case '\n':
        ++m_pos;
        ++m_line;
        token.type = TokenType::End;
        return token;
    case ';':
        ++m_pos;
        token.type = TokenType::End;
        return token;
    case '=':
        ++m_pos;
        token.type = TokenType::Equals;
        return token;
    case ',':
        ++m_pos;
        token.type = TokenType::Comma;
        return token;
    case ':':
        ++m_pos;
        token.type = TokenType::Colon;
        return token;
    case '{':
        ++m_pos;
        token.type = TokenType::Open;
        return token;
    case '}':
        ++m_pos;
        token.type = TokenType::Close;
        return token;
    case '"':
        return ReadString();
    case '#':
        return ReadColor();
    default:
        break;
    }
    if (IsWordChar(c))
        return ReadWordOrNumber();
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
        Fail(L"unexpected control character (code " + std::to_wstring(static_cast<unsigned char>(c)) + L")", m_line);
    // Show the whole character, even when it takes several bytes.
    size_t length = 1;
    while (m_pos + length < m_text.size() && (static_cast<unsigned char>(m_text[m_pos + length]) & 0xC0) == 0x80)
        ++length;
    Fail(L"unexpected character " + Quote(FromUtf8(m_text.substr(m_pos, length))), m_line);
}

const ScriptParser::Token& ScriptParser::Peek()
{
    if (!m_hasPeeked) {
        m_peeked = Next();
        m_lastType = m_peeked.type;
        m_hasPeeked = true;
    }
    return m_peeked;
}

ScriptParser::Token ScriptParser::Take()
{
    Peek();
    m_hasPeeked = false;
    return m_peeked;
}

ScriptParser::Token ScriptParser::ReadString()
{
    Token token;
    token.type = TokenType::String;
    token.line = m_line;
    std::string bytes;
    ++m_pos; // opening quote
    while (true) {
        if (m_pos >= m_text.size() || m_text[m_pos] == '\n')
            Fail(L"string is not closed on its line", token.line);
        char c = m_text[m_pos++];
        if (c == '"')
            break;
        if (c != '\\') {
            bytes.push_back(c);
            continue;
        }
        if (m_pos >= m_text.size())
            Fail(L"string is not closed on its line", token.line);
        char escaped = m_text[m_pos++];
        switch (escaped) {
        case '"':
        case '\\':
            bytes.push_back(escaped);
            break;
        case 'n':
            bytes.push_back('\n');
            break;
        default:
            Fail(L"unknown escape \\" + FromUtf8(std::string(1, escaped)) + L" in a string (use \\\", \\\\ or \\n)", token.line);
        }
    }
    token.text = FromUtf8(bytes);
    return token;
}

ScriptParser::Token ScriptParser::ReadColor()
{
    Token token;
    token.type = TokenType::Color;
    token.line = m_line;
    size_t start = m_pos++;
    unsigned value = 0;
    size_t digits = 0;
    while (m_pos < m_text.size() && HexValue(m_text[m_pos]) >= 0) {
        if (digits < 8)
            value = (value << 4) | static_cast<unsigned>(HexValue(m_text[m_pos]));
        ++digits;
        ++m_pos;
    }
    while (m_pos < m_text.size() && IsWordChar(m_text[m_pos]))
        ++m_pos;
    token.text = FromUtf8(m_text.substr(start, m_pos - start));
    if (token.text.size() != digits + 1 || (digits != 6 && digits != 8))
        Fail(L"bad colour " + Quote(token.text) + L" (write #RRGGBB or #RRGGBBAA)", token.line);
    // #RRGGBB is opaque; #RRGGBBAA carries its alpha last, as on the web.
    token.color = digits == 6 ? (0xFF000000u | value) : ((value >> 8) | (value << 24));
    return token;
}

ScriptParser::Token ScriptParser::ReadWordOrNumber()
{
    Token token;
    token.line = m_line;
    size_t start = m_pos;
    while (m_pos < m_text.size() && IsWordChar(m_text[m_pos]))
        ++m_pos;
    token.text = FromUtf8(m_text.substr(start, m_pos - start));
    const std::string raw = m_text.substr(start, m_pos - start);
    bool negative = raw[0] == '-' && raw.size() > 1 && IsDigit(raw[1]);
    if (!IsDigit(raw[0]) && !negative) {
        token.type = TokenType::Word;
        return token;
    }
    token.type = TokenType::Number;
    std::string digits = raw.substr(negative ? 1 : 0);
    for (char c : digits) {
        if (!IsDigit(c))
            Fail(L"bad number " + Quote(token.text), token.line);
    }
    if (digits.size() > MaximumDigits)
        Fail(L"number " + Quote(token.text) + L" is too large", token.line);
    token.number = std::stoll(digits) * (negative ? -1 : 1);
    return token;
}

void ScriptParser::ParseBody(ScriptNode& node, bool topLevel)
{
    while (true) {
        Token token = Take();
        switch (token.type) {
        case TokenType::End:
            continue;
        case TokenType::EndOfFile:
            if (!topLevel)
                Fail(L"block " + Quote(node.kind) + L" opened here is never closed with '}'", node.line);
            return;
        case TokenType::Close:
            if (topLevel)
                Fail(L"'}' without an open block", token.line);
            return;
        case TokenType::Word:
            break;
        default:
            Fail(L"expected a key or a block name at the start of a statement", token.line);
        }

        std::wstring argument;
        if (Peek().type == TokenType::Word || Peek().type == TokenType::Number || Peek().type == TokenType::String)
            argument = Take().text;

        Token after = Take();
        if (after.type == TokenType::Equals) {
            node.properties.push_back(ParseProperty(token, argument));
            continue;
        }

        ScriptNode child;
        child.kind = token.text;
        child.argument = argument;
        child.line = token.line;
        if (after.type == TokenType::Colon) {
            Token style = Take();
            if (style.type != TokenType::Word)
                Fail(L"expected a style name after ':'", style.line);
            child.style = style.text;
            after = Take();
        }
        if (after.type != TokenType::Open)
            Fail(L"expected '=' or '{' after " + Quote(token.text), after.line);
        if (m_depth + 1 >= MaximumDepth)
            Fail(L"blocks are nested too deeply", token.line);
        ++m_depth;
        ParseBody(child, false);
        --m_depth;
        node.children.push_back(std::move(child));

        TokenType next = Peek().type;
        if (next != TokenType::End && next != TokenType::EndOfFile && next != TokenType::Close)
            Fail(L"unexpected text after '}'", Peek().line);
    }
}

ScriptProperty ScriptParser::ParseProperty(Token key, std::wstring argument)
{
    ScriptProperty property;
    property.key = key.text;
    property.argument = std::move(argument);
    property.line = key.line;
    while (true) {
        Token token = Take();
        if (token.type == TokenType::End || token.type == TokenType::EndOfFile || token.type == TokenType::Close)
            Fail(L"missing value for " + Quote(property.key), key.line);
        if (token.type != TokenType::Number && token.type != TokenType::Color && token.type != TokenType::String && token.type != TokenType::Word)
            Fail(L"unexpected symbol in the value of " + Quote(property.key), token.line);
        property.values.push_back(ParseValue(token));

        TokenType next = Peek().type;
        if (next == TokenType::Comma) {
            Take();
            continue;
        }
        if (next == TokenType::End || next == TokenType::EndOfFile || next == TokenType::Close)
            return property;
        Fail(L"expected ',' between the values of " + Quote(property.key), Peek().line);
    }
}

ScriptValue ScriptParser::ParseValue(const Token& token)
{
    ScriptValue value;
    value.text = token.text;
    value.number = token.number;
    value.color = token.color;
    switch (token.type) {
    case TokenType::Number:
        value.type = ScriptValue::Type::Number;
        break;
    case TokenType::Color:
        value.type = ScriptValue::Type::Color;
        break;
    case TokenType::String:
        value.type = ScriptValue::Type::String;
        break;
    default:
        value.type = ScriptValue::Type::Word;
        break;
    }
    return value;
}
