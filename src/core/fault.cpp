#include "core/fault.hpp"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/backtrace.hpp"
#include "core/stderr.hpp"

namespace tarvo {
namespace {

std::atomic<bool> first_fault{true};

bool backtraces_enabled() noexcept {
    const char* value = std::getenv("TARVO_BACKTRACE");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace

void report_fault(const std::string& message, const std::source_location& where) noexcept {
    // No thread of this process is given a name of its own, so every thread shows as unnamed.
    constexpr const char* format = "\nthread '%s' (%ld) panicked at %s:%u:%u:\n%s\n";
    const char* name = "<unnamed>";
    long tid = static_cast<long>(::gettid());
    char buffer[512];
    int length = std::snprintf(buffer, sizeof buffer, format, name, tid, where.file_name(),
                               where.line(), where.column(), message.c_str());
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof buffer) {
        write_stderr({buffer, static_cast<std::size_t>(length)});
    } else {
        // Too long for one buffer: write it in pieces rather than not at all.
        std::snprintf(buffer, sizeof buffer, "\nthread '%s' (%ld) panicked at %s:%u:%u:\n", name,
                      tid, where.file_name(), where.line(), where.column());
        write_stderr(buffer);
        write_stderr(message);
        write_stderr("\n");
    }
    if (backtraces_enabled()) {
        write_backtrace();
    } else if (first_fault.exchange(false)) {
        write_stderr(
            "note: run with `TARVO_BACKTRACE=1` environment variable to display a backtrace\n");
    }
}

void raise_fault(std::string message, std::source_location where) {
    report_fault(message, where);
    throw Fault(std::move(message));
}

void raise_reported_fault(std::string message) {
    throw Fault(std::move(message));
}

}  // namespace tarvo
