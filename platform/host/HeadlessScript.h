#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace platform {

class HeadlessHost;

// Plays a file of user actions against the headless host's windows, so the program can be
// driven without a display (ARKEVEN_HEADLESS_SCRIPT=<file>). One command a line:
//   wait SECTION [SECONDS]           until that window is shown (default 10 s)
//   wait-gone SECTION [SECONDS]      until no window of that name is left
//   wait-file PATH [SECONDS]         until the file exists (a cue from a test driving the run)
//   key SECTION COMBO                e.g. "key MainFrm tab", "key MainFrm ctrl+alt+q"
//   click SECTION X Y                a left click at window coordinates (screen pixels: at
//                                    scale 2, twice the skin script's numbers)
//   close SECTION                    the window manager's close button
//   sleep MILLISECONDS
//   save SECTION FILE.png            the window as last presented
//   press-until-gone SECTION COMBO INTERVAL_MS SECONDS
//                                    the key again and again until the window has gone
// Blank lines and lines starting with '#' are skipped. A command that fails or times out ends
// the process with exit code 3 and a line on standard error.
class HeadlessScript {
public:
    HeadlessScript(HeadlessHost& host, const std::string& path);
    ~HeadlessScript();
    HeadlessScript(const HeadlessScript&) = delete;
    HeadlessScript& operator=(const HeadlessScript&) = delete;

    // "ctrl+alt+q" -> virtual key and modifiers; false for an unknown name.
    static bool ParseKeyCombo(const std::string& combo, std::uint32_t& key, bool& ctrl, bool& alt, bool& shift);

private:
    void Run(std::vector<std::string> lines);
    bool Execute(const std::vector<std::string>& words, std::string& error);
    bool WaitFor(const std::string& section, bool shown, double seconds);
    bool WaitForFile(const std::string& path, double seconds);
    bool Sleep(int milliseconds);

    HeadlessHost& m_host;
    std::string m_path;
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};

} // namespace platform
