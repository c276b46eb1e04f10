#include "parallel/bucket_sort/finish.hpp"

#include <algorithm>
#include <cstring>

#include "parallel/bucket_sort/bucket_sort.hpp"
#include "parallel/parallel_for.hpp"
#include "parallel/sort_kernel.hpp"

namespace tarvo::bucket_sort {
namespace {

// An oversized bucket is distributed again at most this many levels deep; past that the kernel
// sorts it whole.
constexpr unsigned max_split_depth = 2;

struct Bucket {
    std::size_t index;
    std::size_t first;
    std::size_t last;  // one past
    std::size_t size() const noexcept { return last - first; }
};

// Counting sort of values that all lie in [base, base + span), written to `to`.
void count_into(ConstSlice from, Slice to, std::uint64_t base, std::size_t span) noexcept {
    std::uint32_t counts[counting_span_limit];
    std::fill_n(counts, span, 0);
    for (std::int64_t value : from) ++counts[static_cast<std::uint64_t>(value) - base];
    std::int64_t* out = to.data();
    for (std::size_t v = 0; v < span; ++v) {
        out = std::fill_n(out, counts[v], static_cast<std::int64_t>(base + v));
    }
}

// Splits an oversized bucket again, in its own stretch of the slice with its stretch of the
// buffer as scratch; false if that could not be done.
bool split_again(Slice to, Slice from, unsigned depth) noexcept {
    std::memcpy(to.data(), from.data(), to.size_bytes());
    try {
        return sort_through_buffer(to, from, depth + 1);
    } catch (const OutOfMemory&) {
        return false;  // nothing moved: `to` still holds the bucket
    }
}

void finish_bucket(Slice s, Slice buffer, const Bucket& bucket, const Classifier& classify,
                   std::size_t oversized, unsigned depth) noexcept {
    Slice from = buffer.subspan(bucket.first, bucket.size());
    Slice to = s.subspan(bucket.first, bucket.size());
    // Inner buckets hold exactly the values of their span; the first and the last also take
    // whatever the sample's range missed.
    const bool inner = bucket.index != 0 && bucket.index != bucket_count - 1;
    const std::uint64_t span = classify.bucket_span();
    if (inner && span <= counting_span_limit && bucket.size() >= span) {
        const std::uint64_t base = static_cast<std::uint64_t>(classify.low()) +
                                   (std::uint64_t{bucket.index} << classify.shift());
        count_into(from, to, base, static_cast<std::size_t>(span));
        return;
    }
    if (bucket.size() > oversized && depth < max_split_depth) {
        if (!split_again(to, from, depth)) kernel_sort(to);
        return;
    }
    kernel_sort(from);
    std::memcpy(to.data(), from.data(), from.size_bytes());
}

}  // namespace

void finish(Slice s, Slice buffer, const BucketStarts& starts, const Classifier& classify,
            unsigned depth) noexcept {
    const std::size_t oversized =
        std::max(finish_task_elements, oversized_bucket_factor * (s.size() / bucket_count));
    // Tasks are runs of whole buckets, each closed once it holds finish_task_elements.
    std::size_t task_starts[bucket_count + 1];
    std::size_t tasks = 0;
    for (std::size_t b = 0; b < bucket_count;) {
        task_starts[tasks++] = b;
        std::size_t elements = 0;
        do {
            elements += starts[b + 1] - starts[b];
            ++b;
        } while (b < bucket_count && elements < finish_task_elements);
    }
    task_starts[tasks] = bucket_count;
    parallel_for(0, tasks, [&](std::size_t t) {
        for (std::size_t b = task_starts[t]; b < task_starts[t + 1]; ++b) {
            const Bucket bucket{b, starts[b], starts[b + 1]};
            if (bucket.size() > 1) {
                finish_bucket(s, buffer, bucket, classify, oversized, depth);
            } else if (bucket.size() == 1) {
                s[bucket.first] = buffer[bucket.first];
            }
        }
    });
}

}  // namespace tarvo::bucket_sort
