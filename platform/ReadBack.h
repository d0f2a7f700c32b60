#pragma once

// Reading a written stick back from the medium itself, past the system's caches, so that a
// stick is called ready only when it holds what was written.
namespace platform {

enum class ReadBackResult { Same, Different, Unreadable };

} // namespace platform
