#pragma once
// A private pool for a test, made as the sorts' global pool is: every worker owns the kernel's
// scratch.

#include <cstddef>
#include <memory>
#include <string>

#include <doctest/doctest.h>

#include "parallel/pool/registry.hpp"
#include "parallel/sort_kernel.hpp"

namespace tarvo::test {

inline std::unique_ptr<Registry> start_sort_pool(std::size_t workers) {
    std::string cause;
    auto pool = Registry::start(workers, cause, &make_kernel_scratch);
    REQUIRE_MESSAGE(pool != nullptr, cause);
    return pool;
}

}  // namespace tarvo::test
