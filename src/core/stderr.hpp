#pragma once
// The one writer of the module's diagnostics to standard error.

#include <string_view>

namespace tarvo {

// Writes all of `text` with write(2) on file descriptor 2, going on after partial writes. It
// takes no lock and allocates nothing, so any thread may call it at any time; if standard error
// is closed or broken the rest is dropped.
void write_stderr(std::string_view text) noexcept;

}  // namespace tarvo
