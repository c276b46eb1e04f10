#pragma once
// The variants of a loop written once per instruction set that this processor runs: the portable
// one first, then AVX2 and AVX-512 where it has them, the widest last. Each loop lists its own
// once, at its first call.

#include <array>
#include <cstddef>
#include <span>

namespace tarvo {

template <class Variant>
class RunnableVariants {
  public:
    void add(const Variant& variant) noexcept { variants_[count_++] = variant; }
    std::span<const Variant> all() const noexcept { return {variants_.data(), count_}; }

  private:
    std::array<Variant, 3> variants_{};  // portable, AVX2, AVX-512
    std::size_t count_ = 0;
};

}  // namespace tarvo
