#pragma once
// When an idle worker sleeps and how posted work wakes it. The protocol, and the lost wake-up it
// prevents, is explained in README.md ("Sleeping"); in short:
//   worker:  announce(i); last look for work and at its latch; then cancel(i) or sleep(i)
//   poster:  publish the job or set the latch; then wake_one() or wake(i)
// Every announcement increments the sleeper count before the last look, and every poster reads
// the count after publishing, so one of the two always sees the other.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

namespace tarvo {

class Sleep {
  public:
    explicit Sleep(std::size_t workers);

    // Worker i is about to sleep; it must look for work once more before calling sleep(i).
    void announce(std::size_t worker) noexcept;
    // Worker i found something to do after announcing.
    void cancel(std::size_t worker) noexcept;
    // Blocks worker i until a wake-up after its announcement (returns at once if one came).
    void sleep(std::size_t worker) noexcept;

    // A worker is looking for work without having announced sleep, or has stopped doing so.
    void start_searching() noexcept { searching_.fetch_add(1, std::memory_order_seq_cst); }
    void stop_searching() noexcept { searching_.fetch_sub(1, std::memory_order_seq_cst); }
    // How many workers are searching now (a moment's look).
    std::size_t searching() const noexcept { return searching_.load(std::memory_order_relaxed); }

    // A job was posted: wakes one announced worker, if any, unless a worker is searching (it
    // finds the job, or its last look before sleeping does).
    void wake_one() noexcept;
    // The latch worker i waits on was set: wakes that worker if it has announced.
    void wake(std::size_t worker) noexcept;
    // Wakes every announced worker (the pool is shutting down).
    void wake_all() noexcept;

  private:
    static constexpr std::size_t none = static_cast<std::size_t>(-1);

    // Announced workers that no wake-up has reached yet form a list through their slots.
    struct Slot {
        std::condition_variable woken;
        bool listed = false;
        bool notified = false;
        std::size_t previous = none;
        std::size_t next = none;
    };

    void unlist(std::size_t worker) noexcept;
    void notify(std::size_t worker) noexcept;

    std::mutex mutex_;
    std::unique_ptr<Slot[]> slots_;
    std::size_t first_listed_ = none;
    // Listed workers; read without the mutex by posters to skip the common no-sleeper case.
    std::atomic<std::size_t> listed_count_{0};
    // Workers looking for work that have not announced; a worker that finds a job while
    // counted here wakes a sleeper in the posters' stead.
    std::atomic<std::size_t> searching_{0};
};

}  // namespace tarvo
