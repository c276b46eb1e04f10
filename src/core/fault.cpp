#include "core/fault.hpp"

#include <execinfo.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarvo {
namespace {

std::atomic<bool> first_fault{true};

bool backtraces_enabled() noexcept {
    const char* value = std::getenv("TARVO_BACKTRACE");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

void write_all(const char* text, std::size_t length) noexcept {
    while (length > 0) {
        ssize_t written = ::write(STDERR_FILENO, text, length);
        if (written <= 0) return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

void write_text(const char* text) noexcept {
    write_all(text, std::strlen(text));
}

void write_backtrace() noexcept {
    void* frames[128];
    int count = ::backtrace(frames, 128);
    write_text("stack backtrace:\n");
    ::backtrace_symbols_fd(frames, count, STDERR_FILENO);
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
        write_all(buffer, static_cast<std::size_t>(length));
    } else {
        // Too long for one buffer: write it in pieces rather than not at all.
        std::snprintf(buffer, sizeof buffer, "\nthread '%s' (%ld) panicked at %s:%u:%u:\n", name,
                      tid, where.file_name(), where.line(), where.column());
        write_text(buffer);
        write_all(message.data(), message.size());
        write_text("\n");
    }
    if (backtraces_enabled()) {
        write_backtrace();
    } else if (first_fault.exchange(false)) {
        write_text(
            "note: run with `TARVO_BACKTRACE=1` environment variable to display a backtrace\n");
    }
}

void raise_fault(std::string message, std::source_location where) {
    report_fault(message, where);
    throw Fault(std::move(message), where);
}

void raise_reported_fault(std::string message, std::source_location where) {
    throw Fault(std::move(message), where);
}

}  // namespace tarvo
