#include "parallel/samplesort/local_classification.hpp"

#include <algorithm>
#include <cstring>

namespace tarvo::samplesort {

// Values are read out of the slice in batches and classified from those copies: each element is
// read from the slice once, so a bucket and the value moved into it always agree.
constexpr std::size_t batch = samplesort_classification_batch;

std::size_t classify_stripe(Slice stripe, const Classifier& classify, const StripeMemory& memory,
                            BucketId* ids) noexcept {
    const std::size_t buckets = classify.bucket_count();
    // cursor[b]: where bucket b's next element goes in its buffer block.
    std::int64_t* cursor[max_buckets];
    for (std::size_t b = 0; b < buckets; ++b) cursor[b] = memory.buffers + b * block;
    std::int64_t* out = stripe.data();
    std::size_t written = 0;
    std::int64_t values[batch];
    std::size_t targets[batch];
    for (std::size_t first = 0; first < stripe.size(); first += batch) {
        const std::size_t count = std::min(batch, stripe.size() - first);
        classify.classify_batch(stripe.data() + first, count, values, targets);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t b = targets[i];
            std::int64_t* next = cursor[b];
            *next++ = values[i];
            std::int64_t* const buffer = memory.buffers + b * block;
            if (next == buffer + block) {
                // `written` whole blocks have gone out and at least one more has come in.
                std::memcpy(out + written * block, buffer, block * sizeof(std::int64_t));
                ids[written++] = static_cast<BucketId>(b);
                next = buffer;
            }
            cursor[b] = next;
        }
    }
    std::fill(ids + written, ids + stripe.size() / block, empty_block);
    // Each bucket's count: whole blocks from the ids, the rest from its cursor.
    for (std::size_t b = 0; b < buckets; ++b) {
        memory.counts[b] = static_cast<std::size_t>(cursor[b] - (memory.buffers + b * block));
    }
    for (std::size_t k = 0; k < written; ++k) memory.counts[ids[k]] += block;
    return written;
}

}  // namespace tarvo::samplesort
