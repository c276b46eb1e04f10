#include "parallel/presorted.hpp"

#include <algorithm>
#include <functional>

#include "parallel/config.hpp"

namespace tarvo {
namespace {

constexpr std::size_t scan_block = presorted_scan_block;

template <class Order>
bool ordered(ConstSlice s, Order order) noexcept {
    const std::int64_t* a = s.data();
    const std::size_t pairs = s.size() - 1;
    std::size_t i = 0;
    for (; i + scan_block <= pairs; i += scan_block) {
        bool broken = false;
        for (std::size_t k = i; k < i + scan_block; ++k) broken |= order(a[k + 1], a[k]);
        if (broken) return false;
    }
    for (; i < pairs; ++i) {
        if (order(a[i + 1], a[i])) return false;
    }
    return true;
}

}  // namespace

bool finish_if_presorted(Slice s) noexcept {
    if (s.size() < 2) return true;
    if (ordered(s, std::less<>())) return true;
    if (!ordered(s, std::greater<>())) return false;
    std::reverse(s.begin(), s.end());
    return true;
}

}  // namespace tarvo
