#include "parallel/bucket_sort/distribute.hpp"

#include <algorithm>

#include "parallel/parallel_for.hpp"

namespace tarvo::bucket_sort {
namespace {

struct Chunking {
    explicit Chunking(std::size_t n) noexcept
        : size(std::max(distribution_chunk, (n + max_chunks - 1) / max_chunks)),
          count((n + size - 1) / size) {}

    ConstSlice of(ConstSlice in, std::size_t chunk) const noexcept {
        const std::size_t first = chunk * size;
        return in.subspan(first, std::min(size, in.size() - first));
    }

    std::size_t size;
    std::size_t count;
};

void count_chunk(ConstSlice chunk, const Classifier& classify, std::size_t* counts) noexcept {
    std::fill_n(counts, bucket_count, 0);
    for (std::int64_t value : chunk) ++counts[classify(value)];
}

// On entry `next` holds where the chunk's elements of each bucket go; it is used up.
void scatter_chunk(ConstSlice chunk, const Classifier& classify, std::size_t* next,
                   std::int64_t* out) noexcept {
    for (std::int64_t value : chunk) out[next[classify(value)]++] = value;
}

}  // namespace

BucketStarts distribute(ConstSlice in, Slice out, const Classifier& classify) {
    const Chunking chunks(in.size());
    // table[c * bucket_count + b]: chunk c's count of bucket b, then where it writes bucket b.
    Buffer<std::size_t> table(chunks.count * bucket_count, Fill::uninitialized);
    BucketStarts starts(bucket_count + 1, Fill::uninitialized);

    parallel_for(0, chunks.count, [&](std::size_t c) {
        count_chunk(chunks.of(in, c), classify, table.data() + c * bucket_count);
    });

    std::size_t position = 0;
    for (std::size_t b = 0; b < bucket_count; ++b) {
        starts[b] = position;
        for (std::size_t c = 0; c < chunks.count; ++c) {
            std::size_t& slot = table[c * bucket_count + b];
            const std::size_t count = slot;
            slot = position;
            position += count;
        }
    }
    starts[bucket_count] = position;

    parallel_for(0, chunks.count, [&](std::size_t c) {
        scatter_chunk(chunks.of(in, c), classify, table.data() + c * bucket_count, out.data());
    });
    return starts;
}

}  // namespace tarvo::bucket_sort
