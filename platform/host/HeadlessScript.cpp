#include "platform/host/HeadlessScript.h"

#include "platform/host/HeadlessHost.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace platform {

namespace {

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

bool ToNumber(const std::string& text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && !text.empty();
}

} // namespace

HeadlessScript::HeadlessScript(HeadlessHost& host, const std::string& path)
    : m_host(host)
    , m_path(path)
{
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "arkeven: headless script %s cannot be read\n", path.c_str());
        std::_Exit(3);
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    m_thread = std::thread([this, lines = std::move(lines)] { Run(lines); });
}

HeadlessScript::~HeadlessScript()
{
    m_stop = true;
    m_thread.join();
}

bool HeadlessScript::ParseKeyCombo(const std::string& combo, std::uint32_t& key, bool& ctrl, bool& alt, bool& shift)
{
    ctrl = alt = shift = false;
    key = 0;
    std::string rest = combo;
    for (;;) {
        size_t plus = rest.find('+');
        if (plus == std::string::npos || plus + 1 == rest.size())
            break;
        std::string modifier = rest.substr(0, plus);
        if (modifier == "ctrl")
            ctrl = true;
        else if (modifier == "alt")
            alt = true;
        else if (modifier == "shift")
            shift = true;
        else
            return false;
        rest = rest.substr(plus + 1);
    }
    static const std::pair<const char*, std::uint32_t> names[] = { { "tab", 0x09 }, { "space", 0x20 },
        { "enter", 0x0D }, { "return", 0x0D }, { "escape", 0x1B }, { "esc", 0x1B }, { "up", 0x26 }, { "down", 0x28 },
        { "left", 0x25 }, { "right", 0x27 }, { "backspace", 0x08 } };
    for (auto& [name, code] : names) {
        if (rest == name) {
            key = code;
            return true;
        }
    }
    if (rest.size() == 1 && ((rest[0] >= 'a' && rest[0] <= 'z') || (rest[0] >= '0' && rest[0] <= '9'))) {
        key = static_cast<std::uint32_t>(std::toupper(static_cast<unsigned char>(rest[0])));
        return true;
    }
    if (rest.size() >= 2 && rest[0] == 'f') {
        int number = std::atoi(rest.c_str() + 1);
        if (number >= 1 && number <= 12) {
            key = 0x70 + static_cast<std::uint32_t>(number - 1);
            return true;
        }
    }
    return false;
}

bool HeadlessScript::Sleep(int milliseconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        if (m_stop)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool HeadlessScript::WaitFor(const std::string& section, bool shown, double seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    while (std::chrono::steady_clock::now() < end && !m_stop) {
        auto window = m_host.Find(section);
        bool isShown = window && window->state == ShowState::Normal && window->presentCount > 0;
        if (shown == isShown && (shown || !window))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool HeadlessScript::WaitForFile(const std::string& path, double seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    while (std::chrono::steady_clock::now() < end && !m_stop) {
        std::error_code error;
        if (std::filesystem::exists(path, error))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool HeadlessScript::Execute(const std::vector<std::string>& words, std::string& error)
{
    const std::string& command = words[0];
    auto argument = [&](size_t index) { return index < words.size() ? words[index] : std::string(); };
    double number = 0;
    if (command == "wait" || command == "wait-gone" || command == "wait-file") {
        double seconds = 10;
        if (words.size() > 2 && !ToNumber(words[2], seconds)) {
            error = "bad number of seconds";
            return false;
        }
        bool found = command == "wait-file" ? WaitForFile(argument(1), seconds)
                                            : WaitFor(argument(1), command == "wait", seconds);
        if (found)
            return true;
        error = "timed out waiting for " + argument(1);
        return false;
    }
    if (command == "key" || command == "press-until-gone") {
        std::uint32_t key;
        bool ctrl, alt, shift;
        if (!ParseKeyCombo(argument(2), key, ctrl, alt, shift)) {
            error = "unknown key " + argument(2);
            return false;
        }
        if (command == "key") {
            if (m_host.PressKey(argument(1), key, ctrl, alt, shift))
                return true;
            error = "no window " + argument(1);
            return false;
        }
        double interval = 0;
        double seconds = 0;
        if (!ToNumber(argument(3), interval) || !ToNumber(argument(4), seconds)) {
            error = "press-until-gone needs an interval and a time limit";
            return false;
        }
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
        while (std::chrono::steady_clock::now() < end) {
            if (!m_host.PressKey(argument(1), key, ctrl, alt, shift))
                return true; // gone
            if (!Sleep(static_cast<int>(interval)))
                return false;
        }
        error = "window " + argument(1) + " did not go";
        return false;
    }
    if (command == "click") {
        double x = 0;
        double y = 0;
        if (!ToNumber(argument(2), x) || !ToNumber(argument(3), y)) {
            error = "click needs X and Y";
            return false;
        }
        if (m_host.Click(argument(1), static_cast<int>(x), static_cast<int>(y)))
            return true;
        error = "no window " + argument(1);
        return false;
    }
    if (command == "close") {
        HostInput close;
        close.kind = HostInput::Kind::CloseRequest;
        if (m_host.Inject(argument(1), close))
            return true;
        error = "no window " + argument(1);
        return false;
    }
    if (command == "sleep") {
        if (!ToNumber(argument(1), number)) {
            error = "sleep needs milliseconds";
            return false;
        }
        Sleep(static_cast<int>(number));
        return true;
    }
    if (command == "save") {
        if (m_host.SavePng(argument(1), argument(2)))
            return true;
        error = "could not save " + argument(1) + " to " + argument(2);
        return false;
    }
    error = "unknown command " + command;
    return false;
}

void HeadlessScript::Run(std::vector<std::string> lines)
{
    for (size_t i = 0; i < lines.size() && !m_stop; ++i) {
        std::vector<std::string> words = Words(lines[i]);
        if (words.empty() || words[0][0] == '#')
            continue;
        std::string error;
        if (!Execute(words, error) && !m_stop) {
            std::fprintf(stderr, "arkeven: headless script %s:%zu: %s\n", m_path.c_str(), i + 1, error.c_str());
            std::_Exit(3);
        }
    }
}

} // namespace platform
