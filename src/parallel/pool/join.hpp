#pragma once
// join(a, b): runs the two callables, possibly in parallel, and returns when both have finished.
//  - On a worker: b is offered to the other workers, a runs at once on this thread, then b is
//    taken back and run here if nobody started it; otherwise this thread runs other jobs (or
//    sleeps) until b's latch is set.
//  - On any other thread (the interpreter's): the whole join is injected into the global pool as
//    one job and the caller blocks, doing no work itself, until that job has finished.
// Whatever a or b throws is thrown again here after both have stopped; a's failure wins when
// both fail. The two callables must touch disjoint data: the pool adds no synchronisation
// between them, only between both of them and the caller.

#include <exception>
#include <type_traits>

#include "parallel/pool/global_pool.hpp"
#include "parallel/pool/job.hpp"
#include "parallel/pool/latch.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/pool/unwind.hpp"

namespace tarvo {

template <class A, class B>
void join_on_worker(Worker& worker, A& a, B& b) {
    StackJob<B, SpinLatch> job_b(b, worker.registry().sleep(), worker.index());
    const bool offered = worker.push(&job_b);
    std::exception_ptr failure_a;
    run_catching(a, failure_a);
    if (!offered || worker.take_back_or_wait(&job_b, job_b.latch().core())) job_b.run_inline();
    rethrow_if_failed(failure_a);
    rethrow_if_failed(job_b.failure());
}

template <class A, class B>
void join(A&& a, B&& b) {
    using TaskA = std::remove_reference_t<A>;
    using TaskB = std::remove_reference_t<B>;
    if (Worker* worker = Worker::current()) {
        join_on_worker<TaskA, TaskB>(*worker, a, b);
        return;
    }
    global_registry().in_worker([&] { join_on_worker<TaskA, TaskB>(*Worker::current(), a, b); });
}

// Runs `body` on a worker of the global pool, the caller blocked until it is done; on a worker
// it simply runs. For sorts whose work before their first join should not load the caller.
template <class Body>
void run_on_pool(Body&& body) {
    global_registry().in_worker(body);
}

}  // namespace tarvo
