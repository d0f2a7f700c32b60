#include "platform/posix/InstallerCommand.h"

#include <cwctype>
#include <vector>

namespace platform::posix {

namespace {

// Blank-separated words; double quotes group blanks into a word (no escapes, as cmd.exe).
std::vector<std::wstring> SplitWords(const std::wstring& line)
{
    std::vector<std::wstring> words;
    std::wstring word;
    bool quoted = false;
    bool inWord = false;
    for (wchar_t character : line) {
        if (character == L'"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (character == L' ' || character == L'\t')) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += character;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

bool EndsWithInstallerName(const std::wstring& program)
{
    auto slash = program.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? program : program.substr(slash + 1);
    std::wstring lower;
    for (wchar_t character : name)
        lower += static_cast<wchar_t>(std::towlower(character));
    return lower == L"syslinux" || lower == L"syslinux.exe";
}

} // namespace

std::optional<InstallerCommand> InstallerCommand::Parse(const std::wstring& commandLine, std::string& error)
{
    auto words = SplitWords(commandLine);
    if (words.empty()) {
        error = "empty command line";
        return std::nullopt;
    }
    InstallerCommand command;
    command.program = words[0];
    if (!EndsWithInstallerName(command.program)) {
        error = "only the boot-loader installer (syslinux) can be run";
        return std::nullopt;
    }
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (word.size() >= 2 && (word[0] == L'-' || word[0] == L'/') && word[1] != L'-') {
            for (std::size_t j = 1; j < word.size(); ++j) {
                switch (word[j]) {
                case L'f': command.force = true; break;
                case L'm': command.writeMbr = true; break;
                case L'a': command.makeActive = true; break;
                default:
                    error = "unsupported installer option -";
                    error += word[j] < 0x80 ? static_cast<char>(word[j]) : '?';
                    return std::nullopt;
                }
            }
            continue;
        }
        bool isDrive = word.size() == 2 && word[1] == L':' && word[0] < 0x80 && std::iswalpha(word[0]);
        if (!isDrive || command.targetDrive) {
            error = "the installer takes one target drive such as E:";
            return std::nullopt;
        }
        command.targetDrive = static_cast<char>(std::towupper(word[0]));
    }
    if (!command.targetDrive) {
        error = "no target drive";
        return std::nullopt;
    }
    return command;
}

} // namespace platform::posix
