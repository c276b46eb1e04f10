#pragma once
// A fault is an internal failure that abandons the current operation at once. It is a C++
// exception carrying its message; the module boundary turns it into the Python fault exception.
// The diagnostic on standard error, which names the source location, is written when the fault
// is raised (on the thread that raises it), before the exception unwinds.

#include <exception>
#include <source_location>
#include <string>

namespace tarvo {

class Fault : public std::exception {
  public:
    explicit Fault(std::string message) noexcept : message_(std::move(message)) {}

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }

  private:
    std::string message_;
};

// Writes the fault diagnostic for `message` at `where` and throws the fault.
[[noreturn]] void raise_fault(std::string message,
                              std::source_location where = std::source_location::current());

// Throws a fault whose diagnostic has already been written elsewhere.
[[noreturn]] void raise_reported_fault(std::string message);

// Writes the diagnostic alone: "thread '<name>' (<tid>) panicked at <file>:<line>:<col>:" and the
// message in one write, then the one-time backtrace note, or a backtrace after every fault when
// TARVO_BACKTRACE=1 is set.
void report_fault(const std::string& message, const std::source_location& where) noexcept;

}  // namespace tarvo
