#include <doctest/doctest.h>

#include <cstring>

#include "core/memory.hpp"

using namespace tarvo;

TEST_CASE("a zero-filled buffer reads as zeros, small and huge alike") {
    for (std::size_t count : {std::size_t{1}, std::size_t{1000}, std::size_t{3} << 20}) {
        Buffer<std::int64_t> buffer(count, Fill::zeroed);
        REQUIRE(buffer.size() == count);
        CHECK(buffer[0] == 0);
        CHECK(buffer[count - 1] == 0);
    }
}

TEST_CASE("an impossible request raises OutOfMemory with the byte count") {
    const std::size_t count = std::size_t{1} << 60;
    try {
        Buffer<std::int64_t> buffer(count, Fill::uninitialized);
        FAIL("allocation of 8 EiB succeeded");
    } catch (const OutOfMemory& error) {
        CHECK(error.bytes() == count * 8);
        CHECK(std::strcmp(error.what(), "memory allocation of 9223372036854775808 bytes failed") ==
              0);
    }
}

TEST_CASE("the injected failure hits exactly the chosen allocation") {
    fail_allocation_after(2);
    Buffer<int> first(4, Fill::uninitialized);
    Buffer<int> second(4, Fill::uninitialized);
    CHECK_THROWS_AS(Buffer<int>(4, Fill::uninitialized), OutOfMemory);
    Buffer<int> fourth(4, Fill::uninitialized);  // the switch has fired and is off again
    CHECK(fourth.data() != nullptr);
    fail_allocation_after(-1);
}
