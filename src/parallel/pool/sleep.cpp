#include "parallel/pool/sleep.hpp"

namespace tarvo {

Sleep::Sleep(std::size_t workers) : slots_(new Slot[workers]) {}

void Sleep::announce(std::size_t worker) noexcept {
    std::lock_guard lock(mutex_);
    Slot& slot = slots_[worker];
    slot.notified = false;
    slot.listed = true;
    slot.previous = none;
    slot.next = first_listed_;
    if (first_listed_ != none) slots_[first_listed_].previous = worker;
    first_listed_ = worker;
    listed_count_.fetch_add(1, std::memory_order_seq_cst);
}

void Sleep::cancel(std::size_t worker) noexcept {
    std::lock_guard lock(mutex_);
    if (slots_[worker].listed) unlist(worker);
}

void Sleep::sleep(std::size_t worker) noexcept {
    std::unique_lock lock(mutex_);
    Slot& slot = slots_[worker];
    slot.woken.wait(lock, [&] { return slot.notified; });
}

void Sleep::wake_one() noexcept {
    if (searching_.load(std::memory_order_seq_cst) != 0) return;
    if (listed_count_.load(std::memory_order_seq_cst) == 0) return;
    std::lock_guard lock(mutex_);
    if (first_listed_ != none) notify(first_listed_);
}

void Sleep::wake(std::size_t worker) noexcept {
    if (listed_count_.load(std::memory_order_seq_cst) == 0) return;
    std::lock_guard lock(mutex_);
    if (slots_[worker].listed) notify(worker);
}

void Sleep::wake_all() noexcept {
    std::lock_guard lock(mutex_);
    while (first_listed_ != none) notify(first_listed_);
}

void Sleep::unlist(std::size_t worker) noexcept {
    Slot& slot = slots_[worker];
    if (slot.previous != none) {
        slots_[slot.previous].next = slot.next;
    } else {
        first_listed_ = slot.next;
    }
    if (slot.next != none) slots_[slot.next].previous = slot.previous;
    slot.listed = false;
    listed_count_.fetch_sub(1, std::memory_order_seq_cst);
}

void Sleep::notify(std::size_t worker) noexcept {
    unlist(worker);
    slots_[worker].notified = true;
    slots_[worker].woken.notify_one();
}

}  // namespace tarvo
