#include "uilib/CzTextLibrary.h"

#include "framework/Strings.h"
#include "platform/Drives.h"
#include "platform/Process.h"
#include "platform/files/FileData.h"

#include <atomic>
#include <optional>

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Decimal digits only, within 0..kLargestId.
std::optional<unsigned> ParseId(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > CzTextLibrary::kLargestId)
            return std::nullopt;
    }
    return value;
}

// "\n" is a line break and "\\" a backslash; any other backslash stays as written.
std::wstring Unescape(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t next = i + 1 < text.size() ? text[i + 1] : L'\0';
        if (text[i] == L'\\' && (next == L'n' || next == L'\\')) {
            out.push_back(next == L'n' ? L'\n' : L'\\');
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// Splits at CR LF, LF and a lone CR.
class LineSplitter {
public:
    explicit LineSplitter(std::string_view text) : m_text(text) { }

    bool Next(std::string_view& line)
    {
        if (m_position >= m_text.size())
            return false;
        size_t end = m_text.find_first_of("\r\n", m_position);
        if (end == std::string_view::npos)
            end = m_text.size();
        line = m_text.substr(m_position, end - m_position);
        if (end < m_text.size() && m_text[end] == '\r' && end + 1 < m_text.size() && m_text[end + 1] == '\n')
            ++end;
        m_position = end + 1;
        return true;
    }

private:
    std::string_view m_text;
    size_t m_position = 0;
};

// The folder may be a drive path ("D:\AUTORUN\Localization") or a native one; the file name is
// joined with the separator the folder already uses.
std::wstring JoinFolder(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty())
        return name;
    bool forwardOnly = folder.find(L'\\') == std::wstring::npos && folder.find(L'/') != std::wstring::npos;
    wchar_t separator = forwardOnly ? L'/' : L'\\';
    if (folder.back() == separator)
        return folder + name;
    return folder + separator + name;
}

} // namespace

CzTextLibrary::ParsedFile CzTextLibrary::Parse(std::string_view bytes)
{
    if (bytes.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark)
        bytes.remove_prefix(kUtf8ByteOrderMark.size());

    ParsedFile parsed;
    LineSplitter lines(bytes);
    std::string_view line;
    for (size_t lineNumber = 1; lines.Next(line); ++lineNumber) {
        std::string_view content = Trim(line);
        if (content.empty() || content.front() == '#' || content.front() == ';')
            continue;

        size_t equals = content.find('=');
        bool wellFormed = equals != std::string_view::npos && content.find('\0') == std::string_view::npos
            && IsValidUtf8(std::string(content));
        std::optional<unsigned> id = wellFormed ? ParseId(Trim(content.substr(0, equals))) : std::nullopt;
        std::string_view text = wellFormed ? Trim(content.substr(equals + 1)) : std::string_view();
        // An empty text or a repeated ID loads nothing, so English (or the first line) shows instead.
        if (!id || text.empty() || parsed.texts.count(*id) != 0) {
            parsed.rejectedLines.push_back(lineNumber);
            continue;
        }
        parsed.texts.emplace(*id, Unescape(FromUtf8(std::string(text))));
    }
    return parsed;
}

std::string CzTextLibrary::LanguageCode(std::uint16_t langId)
{
    static const std::map<std::uint16_t, const char*> codes = {
        { 0x01, "ar" }, { 0x02, "bg" }, { 0x03, "ca" }, { 0x04, "zh" }, { 0x05, "cs" }, { 0x06, "da" },
        { 0x07, "de" }, { 0x08, "el" }, { 0x09, "en" }, { 0x0A, "es" }, { 0x0B, "fi" }, { 0x0C, "fr" },
        { 0x0D, "he" }, { 0x0E, "hu" }, { 0x10, "it" }, { 0x11, "ja" }, { 0x12, "ko" }, { 0x13, "nl" },
        { 0x14, "no" }, { 0x15, "pl" }, { 0x16, "pt" }, { 0x18, "ro" }, { 0x19, "ru" }, { 0x1A, "hr" },
        { 0x1B, "sk" }, { 0x1D, "sv" }, { 0x1E, "th" }, { 0x1F, "tr" }, { 0x21, "id" }, { 0x22, "uk" },
        { 0x24, "sl" }, { 0x25, "et" }, { 0x26, "lv" }, { 0x27, "lt" }, { 0x2A, "vi" },
    };
    auto found = codes.find(static_cast<std::uint16_t>(langId & 0x3FF));
    return found == codes.end() ? std::string() : std::string(found->second);
}

bool CzTextLibrary::Load(const std::wstring& folder, std::uint16_t langId)
{
    m_texts.clear();
    bool anyRead = false;
    auto layOver = [&](const std::string& code) {
        auto bytes = FileData::ReadAll(FromUtf8(platform::ToNativePath(JoinFolder(folder, FromUtf8(code) + L".txt"))));
        if (!bytes)
            return;
        anyRead = true;
        std::string_view contents(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        for (auto& [id, text] : Parse(contents).texts)
            m_texts.insert_or_assign(id, std::move(text));
    };

    layOver("en");
    std::string code = LanguageCode(langId);
    if (!code.empty() && code != "en")
        layOver(code);
    return anyRead;
}

const wchar_t* CzTextLibrary::GetString(unsigned id) const
{
    auto found = m_texts.find(id);
    return found == m_texts.end() ? nullptr : found->second.c_str();
}

namespace {

// Loaded on the UI thread before any worker exists; read-only from then on, by every thread.
CzTextLibrary& ProcessTexts()
{
    static CzTextLibrary library;
    return library;
}

std::atomic<bool> g_bTextsLoaded { false };

} // namespace

bool z32InitZEZivu(const std::wstring& folder, int /*reserved*/)
{
    if (g_bTextsLoaded.load(std::memory_order_acquire))
        return false;
    bool loaded = ProcessTexts().Load(folder, platform::GetSystemDefaultLangID());
    g_bTextsLoaded.store(loaded, std::memory_order_release);
    return loaded;
}

const wchar_t* z32MLGetString(unsigned id)
{
    if (!g_bTextsLoaded.load(std::memory_order_acquire))
        return nullptr;
    return ProcessTexts().GetString(id);
}
