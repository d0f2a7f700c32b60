#include "stick/JobReportWriter.h"

#include "stick/JobReportLine.h"

JobReportWriter::JobReportWriter(wchar_t letter, std::function<void(const std::string& line)> write)
    : m_letter(letter)
    , m_write(std::move(write))
{
}

void JobReportWriter::OnStage(StickJob::Stage stage)
{
    m_write(JobReportLine::Stage(m_letter, stage));
}

void JobReportWriter::OnFormatProgress(std::uint32_t percent)
{
    m_write(JobReportLine::FormatProgress(m_letter, percent));
}

void JobReportWriter::OnFormatDone(bool succeeded)
{
    m_write(JobReportLine::FormatDone(m_letter, succeeded));
}

void JobReportWriter::OnCopyProgress(std::int64_t total, std::int64_t transferred)
{
    m_write(JobReportLine::CopyProgress(m_letter, total, transferred));
}

void JobReportWriter::OnCopyDone(std::size_t step)
{
    m_write(JobReportLine::CopyDone(m_letter, step));
}

void JobReportWriter::OnConsole(const std::string& text)
{
    if (!text.empty())
        m_write(JobReportLine::Console(m_letter, text));
}

void JobReportWriter::OnEnd(const StickJob& job)
{
    m_ready = job.Result() == StickJob::Outcome::Ready;
    m_write(JobReportLine::End(m_letter, job.Result(), job.Cause(), job.CauseArgument()));
}
