#include "platform/Process.h"

#include <cstdio>

namespace platform {

std::optional<std::string> AskOnTerminal(const std::string& question)
{
    if (!InputIsTerminal())
        return std::nullopt;
    ConsoleWrite(question);
    std::string answer;
    for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
        if (c != '\r') // a Windows console ends its lines with CR LF
            answer.push_back(static_cast<char>(c));
    }
    return answer;
}

} // namespace platform
