#include "parallel/pool/job_deque.hpp"

namespace tarvo {

JobDeque::JobDeque() : ring_(initial_capacity, Fill::uninitialized) {}

void JobDeque::push_back(Job* job) {
    std::size_t wanted_bytes = 0;
    if (!push(job, wanted_bytes)) throw OutOfMemory(wanted_bytes);
}

bool JobDeque::try_push_back(Job* job) noexcept {
    std::size_t wanted_bytes = 0;
    return push(job, wanted_bytes);
}

bool JobDeque::push(Job* job, std::size_t& wanted_bytes) noexcept {
    std::lock_guard lock(mutex_);
    const std::size_t size = size_.load(std::memory_order_seq_cst);
    if (size == ring_.size()) {
        auto larger = Buffer<Job*>::try_allocate(2 * ring_.size(), Fill::uninitialized);
        if (larger.size() == 0) {
            wanted_bytes = 2 * ring_.size() * sizeof(Job*);
            return false;
        }
        for (std::size_t i = 0; i < size; ++i) larger[i] = ring_[(front_ + i) & (size - 1)];
        ring_ = std::move(larger);
        front_ = 0;
    }
    ring_[(front_ + size) & (ring_.size() - 1)] = job;
    size_.store(size + 1, std::memory_order_seq_cst);
    return true;
}

Job* JobDeque::pop_back() noexcept {
    std::lock_guard lock(mutex_);
    const std::size_t size = size_.load(std::memory_order_seq_cst);
    if (size == 0) return nullptr;
    size_.store(size - 1, std::memory_order_seq_cst);
    return ring_[(front_ + size - 1) & (ring_.size() - 1)];
}

Job* JobDeque::pop_front() noexcept {
    std::lock_guard lock(mutex_);
    const std::size_t size = size_.load(std::memory_order_seq_cst);
    if (size == 0) return nullptr;
    Job* job = ring_[front_];
    front_ = (front_ + 1) & (ring_.size() - 1);
    size_.store(size - 1, std::memory_order_seq_cst);
    return job;
}

}  // namespace tarvo
