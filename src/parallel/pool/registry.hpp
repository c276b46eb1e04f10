#pragma once
// The registry: the pool's N worker threads, each with its deque of offered jobs and the state
// the registry's maker gave it, the queue of jobs injected by threads outside the pool, and the
// sleep state the workers share. The process has one global registry, created on first need and
// never shut down (global_pool.hpp); tests may start private ones.

#include <pthread.h>

#include <cstddef>
#include <memory>
#include <string>
#include <type_traits>

#include "parallel/pool/job.hpp"
#include "parallel/pool/job_deque.hpp"
#include "parallel/pool/latch.hpp"
#include "parallel/pool/placement.hpp"
#include "parallel/pool/sleep.hpp"
#include "parallel/pool/unwind.hpp"
#include "parallel/pool/worker_context.hpp"

namespace tarvo {

// Every worker thread gets this much stack, or the platform's minimum if that is larger: ample
// for joins nested as deep as halving a slice allows.
inline constexpr std::size_t worker_stack_bytes = std::size_t{2} << 20;

// Failed idle looks for work before a worker goes to sleep: a short spin catches the next job of
// a busy pool without paying for a sleep and a wake-up, and an idle pool soon uses no CPU. At
// most as many workers spin at once as the process has processors (available_cpu_count); the
// others go to sleep at once. With more workers than processors (a CPU quota below the worker
// count, RAYON_NUM_THREADS above the cores) more spinners would only take processors from the
// workers that have work, and burn CPU time that grows with the worker count.
inline constexpr unsigned idle_rounds_before_sleep = 32;

// The message that starts every fault of an operation that needs a pool that could not be made.
inline constexpr const char* pool_failure_prefix =
    "The global thread pool has not been initialized.: ";

class Registry;

// One worker thread of a registry. Only its own thread pushes to and pops from the back of its
// deque; any thread may steal from the front. A worker learns which it is from the argument of
// its thread's start routine and hands itself to every job it runs (WorkerContext): nothing in
// the pool is thread-local.
class Worker {
  public:
    Registry& registry() const noexcept { return *registry_; }
    std::size_t index() const noexcept { return index_; }
    WorkerContext context() noexcept { return {*this, index_, state_.get()}; }

    // Offers a job to thieves; false if it could not be queued (the caller then runs it itself).
    bool push(Job* job) noexcept;

    // Until `done` is set: takes `job` back if no thread has started it (returns true: the caller
    // runs it), else runs other jobs or sleeps until the latch is set (returns false).
    bool take_back_or_wait(Job* job, const AtomicLatch& done) noexcept;

    // Runs jobs from anywhere in the pool, sleeping when there are none, until `done` is set.
    void wait_until(const AtomicLatch& done) noexcept;

  private:
    friend class Registry;
    static void* thread_main(void* worker) noexcept;

    Registry* registry_ = nullptr;
    std::size_t index_ = 0;
    // The processor the thread keeps to (WorkerPlacement), set before it starts.
    int processor_ = WorkerPlacement::anywhere;
    std::unique_ptr<WorkerState> state_;
    JobDeque deque_;
};

class Registry {
  public:
    // Same signature as pthread_create, so that tests can make the k-th start fail.
    using ThreadStarter = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

    // Starts `threads` workers, each owning what `make_state` makes for it (nothing if it is
    // null). Everything the pool and its workers own is allocated here, on the calling thread,
    // before the first worker starts: if it cannot be had, this throws std::bad_alloc (possibly
    // OutOfMemory) and no thread has started. If a thread cannot be started, the workers already
    // running are stopped and joined, `cause` describes the failure and the result is empty.
    static std::unique_ptr<Registry> start(std::size_t threads, std::string& cause,
                                           WorkerStateFactory make_state = nullptr,
                                           ThreadStarter starter = &pthread_create);

    // Stops and joins every worker; no job may be pending.
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    std::size_t size() const noexcept { return size_; }
    // How many of the workers can run at once: the processors the process may use
    // (available_cpu_count, when the pool started), or the pool's size if that is smaller.
    std::size_t running_max() const noexcept { return spinners_max_; }
    Sleep& sleep() noexcept { return sleep_; }

    // Runs body(worker) on a worker of this registry and returns when it has finished,
    // rethrowing what it threw. Call from a thread outside this registry (a worker would block
    // on its own pool): the body is injected as one job and the caller blocks until it is done,
    // doing no work itself.
    template <class Body>
    void in_worker(Body&& body);

  private:
    friend class Worker;
    Registry(std::size_t threads, WorkerStateFactory make_state);

    // Throws OutOfMemory if the queue must grow and cannot; the job is then not queued.
    void inject(Job* job);
    // A job for `thief`: its own newest, else the oldest of another worker, else an injected one.
    Job* find_work(Worker& thief) noexcept;
    // Whether any deque or the injection queue holds a job (sequentially consistent looks).
    bool has_pending_work() const noexcept;
    void stop() noexcept;

    std::size_t size_;
    // Workers that may spin at once (idle_rounds_before_sleep).
    std::size_t spinners_max_;
    std::unique_ptr<Worker[]> workers_;
    std::unique_ptr<pthread_t[]> threads_;
    std::size_t started_ = 0;
    JobDeque injected_;
    Sleep sleep_;
    AtomicLatch terminating_;
};

template <class Body>
void Registry::in_worker(Body&& body) {
    StackJob<std::remove_reference_t<Body>, LockLatch> job(body);
    inject(&job);
    job.latch().wait();
    rethrow_if_failed(job.failure());
}

}  // namespace tarvo
