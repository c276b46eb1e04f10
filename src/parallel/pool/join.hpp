#pragma once
// join: runs two callables, possibly in parallel, and returns when both have finished. Each is
// called with the WorkerContext of the worker that runs it, which need not be the caller's.
//  - join(worker, a, b), on a worker: b is offered to the other workers, a runs at once on this
//    thread, then b is taken back and run here if nobody started it; otherwise this thread runs
//    other jobs (or sleeps) until b's latch is set.
//  - join(pool, a, b), on a thread outside `pool` (the interpreter's): the whole join is
//    injected into the pool as one job and the caller blocks, doing no work itself, until that
//    job has finished.
// Whatever a or b throws is thrown again here after both have stopped; a's failure wins when
// both fail. The two callables must touch disjoint data: the pool adds no synchronisation
// between them, only between both of them and the caller.

#include <exception>
#include <type_traits>

#include "parallel/pool/job.hpp"
#include "parallel/pool/latch.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/pool/unwind.hpp"
#include "parallel/pool/worker_context.hpp"

namespace tarvo {

template <class A, class B>
void join(const WorkerContext& worker, A&& a, B&& b) {
    Worker& self = worker.worker();
    StackJob<std::remove_reference_t<B>, SpinLatch> job_b(b, self.registry().sleep(), self.index());
    const bool offered = self.push(&job_b);
    std::exception_ptr failure_a;
    run_catching(failure_a, a, worker);
    if (!offered || self.take_back_or_wait(&job_b, job_b.latch().core())) {
        job_b.run_inline(worker);
    }
    rethrow_if_failed(failure_a);
    rethrow_if_failed(job_b.failure());
}

template <class A, class B>
void join(Registry& pool, A&& a, B&& b) {
    pool.in_worker([&](const WorkerContext& worker) { join(worker, a, b); });
}

}  // namespace tarvo
