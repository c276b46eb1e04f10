#include "parallel/pool/global_pool.hpp"

#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "core/fault.hpp"
#include "parallel/pool/thread_count.hpp"

namespace tarvo {
namespace {

// The global pool. Creation is serialised by the mutex; the registry pointer is published with
// release so that the fast path needs no lock. A failure is remembered and never retried.
constinit std::mutex creation_mutex;
constinit std::atomic<Registry*> global_pool{nullptr};
constinit bool creation_failed = false;
constinit char failure_message[256] = {};

// A child forked after the pool exists has none of its threads; anything waiting for them would
// wait forever. The child drops the parent's pool (its memory is left alone, its mutexes may be
// held by threads that do not exist here) and makes a fresh one on first need. It also gets a
// fresh first attempt if the parent's creation failed: it is a new process.
void forget_pool_in_child() noexcept {
    new (&creation_mutex) std::mutex();
    global_pool.store(nullptr, std::memory_order_relaxed);
    creation_failed = false;
    failure_message[0] = '\0';
}

Registry& create_global_pool(WorkerStateFactory make_state) {
    static bool fork_handler_registered = false;
    if (!fork_handler_registered) {
        // Its only failure is ENOMEM; without the handler a forked child would wait for threads
        // it does not have, so the pool is not made and the next call tries again.
        if (pthread_atfork(nullptr, nullptr, &forget_pool_in_child) != 0) throw std::bad_alloc();
        fork_handler_registered = true;
    }
    std::string cause;
    std::unique_ptr<Registry> registry =
        Registry::start(configured_thread_count(), cause, make_state);
    if (!registry) {
        creation_failed = true;
        std::snprintf(failure_message, sizeof failure_message, "%s%s", pool_failure_prefix,
                      cause.c_str());
        raise_fault(failure_message);
    }
    Registry* pool = registry.release();  // lives until the process ends
    global_pool.store(pool, std::memory_order_release);
    return *pool;
}

}  // namespace

Registry& global_registry(WorkerStateFactory make_state) {
    if (Registry* pool = global_pool.load(std::memory_order_acquire)) return *pool;
    std::lock_guard lock(creation_mutex);
    if (creation_failed) raise_fault(failure_message);
    if (Registry* pool = global_pool.load(std::memory_order_relaxed)) return *pool;
    return create_global_pool(make_state);
}

}  // namespace tarvo
