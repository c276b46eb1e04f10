#pragma once
// What the pool tells a job body about the thread that runs it: the worker's index and the state
// that worker owns. The pool knows nothing of that state; whoever starts a registry supplies a
// factory, and every worker's state is made on the starting thread before any worker runs. A
// worker thus never allocates per-thread data of its own: glibc allocates a loaded module's
// thread-local data lazily and aborts the process when that fails, while a failed allocation
// here is an ordinary std::bad_alloc on the thread that wanted the pool.

#include <cstddef>
#include <memory>

namespace tarvo {

class Worker;

// Base of what a worker owns for the code it runs (the sorts: the leaf kernel's sorter).
class WorkerState {
  public:
    virtual ~WorkerState() = default;
};

// Makes the state of worker `index`; may throw std::bad_alloc (tarvo::OutOfMemory is one).
using WorkerStateFactory = std::unique_ptr<WorkerState> (*)(std::size_t index);

// Handed to every job body by the worker that runs it, as `const WorkerContext&`. Valid for the
// duration of the call; code that joins passes it on to join and parallel_for.
class WorkerContext {
  public:
    WorkerContext(Worker& worker, std::size_t index, WorkerState* state) noexcept
        : worker_(&worker), index_(index), state_(state) {}

    // 0 to the registry's size - 1: the worker's place in its registry.
    std::size_t index() const noexcept { return index_; }
    // What the registry's factory made for this worker; nullptr if it was started without one.
    WorkerState* state() const noexcept { return state_; }
    // The running worker, for join.
    Worker& worker() const noexcept { return *worker_; }

  private:
    Worker* worker_;
    std::size_t index_;
    WorkerState* state_;
};

}  // namespace tarvo
