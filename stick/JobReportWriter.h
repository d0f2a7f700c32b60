#pragma once

#include "stick/StickJob.h"

#include <atomic>
#include <functional>
#include <string>

// The helper's side of a job: every report of the job as a line (JobReportLine) for the program
// that asked for it, under the letter it asked with.
class JobReportWriter final : public StickJob::Listener {
public:
    // `write` takes one line, without its line end, on the job's thread.
    JobReportWriter(wchar_t letter, std::function<void(const std::string& line)> write);

    void OnStage(StickJob::Stage stage) override;
    void OnFormatProgress(std::uint32_t percent) override;
    void OnFormatDone(bool succeeded) override;
    void OnCopyProgress(std::int64_t total, std::int64_t transferred) override;
    void OnCopyDone(std::size_t step) override;
    void OnConsole(const std::string& text) override;
    void OnEnd(const StickJob& job) override;

    // The job has ended ready.
    bool Ready() const { return m_ready; }

private:
    wchar_t m_letter;
    std::function<void(const std::string&)> m_write;
    std::atomic<bool> m_ready { false };
};
