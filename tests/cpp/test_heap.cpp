#include <doctest/doctest.h>

#include <cstdint>
#include <vector>

#include "algorithms/heap.hpp"

using namespace tarvo;
using Values = std::vector<std::int64_t>;

namespace {

Values sifted(Values input, std::size_t root, std::size_t end) {
    sift_down(Slice(input), root, end);
    return input;
}

}  // namespace

TEST_CASE("heap: sift_down tie-breaks and bounds") {
    SUBCASE("a parent equal to its larger child stays, so nothing below it moves") {
        // Moving the root into position 1 would go on to exchange it with the 9 at position 3.
        CHECK(sifted({5, 5, 3, 9}, 0, 4) == Values{5, 5, 3, 9});
    }
    SUBCASE("between equal children the left one is taken") {
        // Left: the 1 sinks to position 1, then below it to 3. Right would end [7,7,5,6,0,1,0].
        CHECK(sifted({1, 7, 7, 6, 0, 5, 0}, 0, 7) == Values{7, 6, 7, 1, 0, 5, 0});
    }
    SUBCASE("a right child strictly greater than the left one wins") {
        CHECK(sifted({1, 4, 6}, 0, 3) == Values{6, 4, 1});
    }
    SUBCASE("a last node with only a left child") {
        CHECK(sifted({1, 3}, 0, 2) == Values{3, 1});
    }
    SUBCASE("positions from end on are neither compared nor moved") {
        CHECK(sifted({1, 2, 9}, 0, 2) == Values{2, 1, 9});
    }
    SUBCASE("a leaf root changes nothing") {
        CHECK(sifted({1, 2, 3}, 1, 3) == Values{1, 2, 3});
    }
}

TEST_CASE("heap: heap_sort on the hand-worked cases") {
    Values pair{1, 2};  // built into [2, 1], then extracted back
    heap_sort(Slice(pair));
    CHECK(pair == Values{1, 2});

    Values reversed{2, 1};
    heap_sort(Slice(reversed));
    CHECK(reversed == Values{1, 2});

    Values extremes{INT64_MAX, 0, INT64_MIN, -1, 1};
    heap_sort(Slice(extremes));
    CHECK(extremes == Values{INT64_MIN, -1, 0, 1, INT64_MAX});
}
