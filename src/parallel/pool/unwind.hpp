#pragma once
// Carrying a failure from the thread where a job ran to the thread that waits for it. Any C++
// exception (a tarvo::Fault, tarvo::OutOfMemory, anything else) is caught where the job runs,
// kept as an exception_ptr, and thrown again by the waiter once the job has stopped. A fault's
// diagnostic has already been written by the thread that raised it.

#include <exception>

namespace tarvo {

// Runs body(arguments...); an exception it throws is stored in `failure` instead of escaping.
template <class Body, class... Arguments>
void run_catching(std::exception_ptr& failure, Body& body, const Arguments&... arguments) noexcept {
    try {
        body(arguments...);
    } catch (...) {
        failure = std::current_exception();
    }
}

inline void rethrow_if_failed(const std::exception_ptr& failure) {
    if (failure) std::rethrow_exception(failure);
}

}  // namespace tarvo
