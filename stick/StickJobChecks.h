#pragma once

#include "stick/StickJob.h"

#include <cstdint>
#include <string>
#include <vector>

// What a stick job makes sure of before it writes anything, in this order: its letter still
// names the bound stick; the CD holds the five live-system files, readable and each below
// FAT32's 4 GiB, and the boot-loader installer; the programs the job runs are here; the stick
// can be written and has room for it all. Each check is quick (no file is read in full), so a job that can't finish
// fails at once and the stick keeps what it holds.
class StickJobChecks {
public:
    struct Finding {
        // Running when the check passed; else StickChanged, CdIncomplete, ProgramMissing,
        // WriteProtected or StickTooSmall.
        StickJob::Outcome outcome = StickJob::Outcome::Running;
        std::string cause;     // one line, for the console
        std::wstring argument; // of the final text: the least stick size, the missing programs

        bool Passed() const { return outcome == StickJob::Outcome::Running; }
    };

    // `sourceRoot`: the CD ("D:").
    StickJobChecks(platform::Sticks& sticks, wchar_t letter, std::wstring identity, std::wstring sourceRoot);

    // The first check that fails, or a passed finding when the job may start.
    Finding Run() const;

private:
    Finding CheckBinding() const;
    Finding CheckCd(std::vector<std::uint64_t>& fileSizes) const;
    Finding CheckPrograms() const;
    Finding CheckStick(const std::vector<std::uint64_t>& fileSizes) const;

    platform::Sticks& m_sticks;
    wchar_t m_letter;
    std::wstring m_identity;
    std::wstring m_sourceRoot;
};
