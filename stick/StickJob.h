#pragma once

#include "platform/Sticks.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// One recovery stick written from the CD: everything the job needs checked (StickJobChecks), the
// drive held, formatted FAT32 "VarnMID" with 4096-byte clusters, the five live-system files
// copied and read back, the boot loader installed and read back, the drive let go. Every step
// first checks that the drive letter still names the device the job was bound to, and nothing
// more is written once it doesn't. StickJobRunner runs it for the writer dialog and the command
// line alike.
class StickJob {
public:
    enum class Stage { Checking, Formatting, Copying, Verifying, Installing };
    enum class Outcome {
        Running,
        Ready,
        Failed,         // writing or reading back failed: the stick itself is at fault
        NoRights,
        StickTooSmall,  // these five are found before anything is written
        CdIncomplete,
        ProgramMissing,
        WriteProtected,
        InUse,          // programs have the stick open
        LayoutFailed,   // the system refused the stick's new partition table
        StickChanged,   // the stick was removed, or another took its letter
    };

    // A live-system file: where it lies below the CD's root and below the stick's.
    struct CopyStep {
        const wchar_t* source;
        const wchar_t* destination;
        bool withProgress; // the large root image reports its progress
    };
    static constexpr std::size_t kCopyCount = 5;
    static const CopyStep kCopySteps[kCopyCount];
    // The boot-loader installer below the CD's root.
    static constexpr const wchar_t* kInstallerProgram = L"\\syslinux\\syslinux";

    // What the job reports, on the thread that runs it.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void OnStage(Stage) { }
        virtual void OnFormatProgress(std::uint32_t /*percent*/) { }
        // The formatter's end, when it said whether it succeeded; the copies follow only a success.
        virtual void OnFormatDone(bool /*succeeded*/) { }
        virtual void OnCopyProgress(std::int64_t /*total*/, std::int64_t /*transferred*/) { }
        // After each copy, whatever its result.
        virtual void OnCopyDone(std::size_t /*step*/) { }
        // The job's console diagnostics, each as the writer prints it.
        virtual void OnConsole(const std::string& /*text*/) { }
        // Last of all: the job has ended (Result()).
        virtual void OnEnd(const StickJob&) { }
    };

    // The drive the job writes and the identity of its device, as bound when it was chosen.
    struct Target {
        wchar_t letter = 0;
        std::wstring identity;
    };

    // `sourceRoot`: the CD ("D:"); `cancel`, when given and set, stops the job at the next step.
    StickJob(platform::Sticks& sticks, Target target, std::wstring sourceRoot, Listener& listener,
        const std::atomic<bool>* cancel = nullptr);
    ~StickJob();
    StickJob(const StickJob&) = delete;
    StickJob& operator=(const StickJob&) = delete;

    // The whole job, start to end; the listener hears OnEnd last.
    Outcome Run();
    // Only the checks before the first write, made by a program that hands the job on to its
    // helper process: true when the job may go there; otherwise it has ended (OnEnd heard).
    bool Precheck();
    // A job handed on has ended so in the helper; the listener hears OnEnd.
    void EndAsReported(Outcome outcome, std::string cause, std::wstring causeArgument);

    wchar_t Letter() const { return m_target.letter; }

    Outcome Result() const { return m_outcome; }
    // Why the job failed, in one line.
    const std::string& Cause() const { return m_cause; }
    // What the final text of a stick too small or a missing program names: the least stick
    // size ("512 MB"), the programs ("mcopy (mtools)").
    const std::wstring& CauseArgument() const { return m_causeArgument; }

    // The CD the program runs from: everything before the executable's first backslash ("D:").
    static std::wstring SourceRootOfProgram();

private:
    bool CheckBeforeWriting();
    bool Hold();
    bool LayOut();
    bool Format();
    bool StillBound(const char* step);
    // Ends a job that cannot go on: the drive is let go.
    void End(Outcome outcome, const std::string& cause);
    // Ends a job whose write or read failed: as StickChanged when the stick has gone meanwhile.
    void Fail(const std::string& cause);
    bool Cancelled() const { return m_cancel && m_cancel->load(); }
    bool CopyAll();
    bool ReadBackAll();
    bool InstallBootLoader();
    void Say(const std::string& text);

    platform::Sticks& m_sticks;
    Target m_target;
    std::wstring m_sourceRoot;
    std::wstring m_targetRoot;
    Listener& m_listener;
    const std::atomic<bool>* m_cancel;
    std::unique_ptr<platform::HeldStick> m_stick;
    Outcome m_outcome = Outcome::Running;
    std::string m_cause;
    std::wstring m_causeArgument;
};
