#include "core/stderr.hpp"

#include <unistd.h>

#include <cerrno>

namespace tarvo {

void write_stderr(std::string_view text) noexcept {
    const char* next = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, next, left);
        if (written < 0 && errno == EINTR) continue;  // a signal handler ran first
        if (written <= 0) return;
        next += written;
        left -= static_cast<std::size_t>(written);
    }
}

}  // namespace tarvo
