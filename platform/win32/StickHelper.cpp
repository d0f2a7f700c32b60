// Windows runs stick jobs in the program itself, which its manifest elevates as a whole.
#include "platform/StickHelper.h"

namespace platform {

bool StickJobsRunInHelper()
{
    return false;
}

HelperStart StartStickHelper(const std::vector<HelperTarget>&)
{
    HelperStart start;
    start.error = "stick jobs run in the program itself here";
    return start;
}

std::optional<std::vector<HelperTarget>> AdoptStickHelperArguments(const std::vector<std::string>&)
{
    return std::nullopt;
}

std::unique_ptr<StickHelperChannel> OpenStickHelperChannel()
{
    return nullptr;
}

} // namespace platform
