#include "core/backtrace.hpp"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/stderr.hpp"

namespace tarvo {
namespace {

// Deeper stacks are cut here: the frames nearest to the fault come first.
constexpr int backtrace_frames_max = 128;

struct FreeDeleter {
    void operator()(char* text) const noexcept { std::free(text); }
};

void write_frame(int index, void* address) noexcept {
    const auto pc = reinterpret_cast<std::uintptr_t>(address);
    char line[1024];
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        std::snprintf(line, sizeof line, "%4d: 0x%zx\n", index, static_cast<std::size_t>(pc));
        write_stderr(line);
        return;
    }
    const auto offset = pc - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    if (info.dli_sname == nullptr) {
        std::snprintf(line, sizeof line, "%4d: (%s+0x%zx)\n", index, info.dli_fname,
                      static_cast<std::size_t>(offset));
        write_stderr(line);
        return;
    }
    int status = -1;
    const std::unique_ptr<char, FreeDeleter> demangled(
        abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status));
    const char* name = status == 0 ? demangled.get() : info.dli_sname;
    const auto in_function = pc - reinterpret_cast<std::uintptr_t>(info.dli_saddr);
    std::snprintf(line, sizeof line, "%4d: %s+0x%zx (%s+0x%zx)\n", index, name,
                  static_cast<std::size_t>(in_function), info.dli_fname,
                  static_cast<std::size_t>(offset));
    write_stderr(line);
}

}  // namespace

void write_backtrace() noexcept {
    void* frames[backtrace_frames_max];
    const int count = ::backtrace(frames, backtrace_frames_max);
    write_stderr("stack backtrace:\n");
    for (int i = 0; i < count; ++i) write_frame(i, frames[i]);
}

}  // namespace tarvo
