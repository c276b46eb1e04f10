#pragma once
// Every tunable of the parallel bucket sort, in one place. The sort runs in phases: sample the
// input for a classifier (classifier.hpp), count and scatter the elements into buckets of a
// buffer in parallel (distribute.hpp), then sort each bucket and copy it back (finish.hpp).

#include <cstddef>

namespace tarvo::bucket_sort {

// Buckets are the top bits of an element's distance from the sample's minimum. 4096 buckets
// leave buckets of a few thousand elements for a 10^7-element input: they sort inside the L2
// cache, while the scatter's 4096 write streams still fit in it.
inline constexpr unsigned bucket_bits = 8;
inline constexpr std::size_t bucket_count = std::size_t{1} << bucket_bits;

// Points sampled (evenly spaced) to find the range the buckets divide.
inline constexpr std::size_t sample_size = 1024;

// Elements per chunk of the counting and scattering passes at least, and per task of the
// finishing pass: large enough that a task costs far more than the fork that makes it. Chunks
// grow beyond that on huge inputs so that their count tables stay within max_chunks.
inline constexpr std::size_t distribution_chunk = std::size_t{1} << 18;
inline constexpr std::size_t max_chunks = 256;
inline constexpr std::size_t finish_task_elements = std::size_t{1} << 16;

// A bucket whose values span at most this many distinct values (and which holds at least as
// many elements) is finished by counting instead of comparing.
inline constexpr std::size_t counting_span_limit = 4096;

// A bucket larger than this many times the average is split again, on its own.
inline constexpr std::size_t oversized_bucket_factor = 8;

}  // namespace tarvo::bucket_sort
