#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The multi-language text library: texts by numeric ID from the "Localization" folder beside the
// executable, one UTF-8 file per language named after its ISO 639-1 code ("en.txt", "it.txt"),
// with "ID=text" lines. English is the base: the system language's file is laid over it, so an
// ID it lacks keeps the English text. The file format is described in docs/localization.md.
class CzTextLibrary {
public:
    struct ParsedFile {
        std::map<unsigned, std::wstring> texts;
        std::vector<std::size_t> rejectedLines; // 1-based numbers of malformed lines, in order
    };

    static constexpr unsigned kLargestId = 65535;

    // One language file's bytes to its texts. Never fails: malformed lines are skipped.
    static ParsedFile Parse(std::string_view bytes);

    // "it" for any Italian LANGID, "en" for English; empty for a language without a code here.
    static std::string LanguageCode(std::uint16_t langId);

    // Reads en.txt and the file of langId's language from folder (a drive path or a native path).
    // True when at least one of them could be read.
    bool Load(const std::wstring& folder, std::uint16_t langId);

    // The text of id, or nullptr when no loaded file has it. The pointer stays valid for as long
    // as this object lives and is not loaded again.
    const wchar_t* GetString(unsigned id) const;

    std::size_t Count() const { return m_texts.size(); }

private:
    std::map<unsigned, std::wstring> m_texts;
};

// The library's entry points. z32InitZEZivu loads the texts once, for the system language
// (platform::GetSystemDefaultLangID); later calls change nothing and return false. reserved is 0.
bool z32InitZEZivu(const std::wstring& folder, int reserved);
// The text of id, owned by the library and valid until the process ends; nullptr for an ID that
// no file holds, and for every ID before z32InitZEZivu has loaded anything.
const wchar_t* z32MLGetString(unsigned id);
