#pragma once
// A worker's list of offered jobs: the owner pushes and pops at the back (newest first, which
// keeps its own work depth-first and cache-warm), thieves take from the front (the oldest job,
// usually the largest piece of work). The same type, used first-in first-out, holds the jobs that
// outside threads inject. One mutex guards it: a join pushes and pops once, far less often than
// the work of its tasks, so a lock-free deque would buy nothing measurable here.

#include <atomic>
#include <cstddef>
#include <mutex>

#include "core/memory.hpp"
#include "parallel/pool/job.hpp"

namespace tarvo {

class JobDeque {
  public:
    JobDeque();

    // Throws OutOfMemory when the deque is full and cannot grow; the job is then not queued.
    void push_back(Job* job);
    // The same without throwing, for workers: false when the job could not be queued.
    bool try_push_back(Job* job) noexcept;
    Job* pop_back() noexcept;   // nullptr when empty
    Job* pop_front() noexcept;  // nullptr when empty

    // Read without the lock, so that idle workers skip empty deques cheaply. Sequentially
    // consistent, like the sleeper count, so that a worker's last look before sleeping and a
    // poster's check for sleepers cannot both miss each other (README.md, "Sleeping").
    bool looks_empty() const noexcept { return size_.load(std::memory_order_seq_cst) == 0; }

  private:
    // Queues `job`, or sets `wanted_bytes` to the growth that could not be had and returns false.
    bool push(Job* job, std::size_t& wanted_bytes) noexcept;

    // Join nesting depth of the sorts stays below this, so the ring rarely grows.
    static constexpr std::size_t initial_capacity = 64;

    std::mutex mutex_;
    Buffer<Job*> ring_;  // capacity is a power of two
    std::size_t front_ = 0;
    std::atomic<std::size_t> size_{0};
};

}  // namespace tarvo
