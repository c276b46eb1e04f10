#pragma once
// A job is a unit of work that some thread of the pool runs exactly once. The pool only ever
// holds pointers to jobs; a job lives in the stack frame of the thread that waits for it (the
// owner of a join, or an outside caller), which does not return before the job's latch is set or
// it has taken the job back unstarted.

#include <exception>

#include "parallel/pool/unwind.hpp"
#include "parallel/pool/worker_context.hpp"

namespace tarvo {

class Job {
  public:
    // Runs the job on the worker `runner` and sets its latch; a failure goes into the job.
    void execute(const WorkerContext& runner) noexcept { execute_(this, runner); }

  protected:
    using Execute = void (*)(Job*, const WorkerContext&) noexcept;
    explicit Job(Execute execute) noexcept : execute_(execute) {}
    ~Job() = default;

  private:
    Execute execute_;
};

// A job that runs body(runner) and then sets a latch of type Latch (see latch.hpp). After
// execute() has set the latch the job is never touched again by the thread that ran it.
template <class Body, class Latch>
class StackJob final : public Job {
  public:
    template <class... LatchArguments>
    explicit StackJob(Body& body, LatchArguments&&... latch_arguments)
        : Job(&StackJob::run), body_(body), latch_(latch_arguments...) {}

    // The owner runs a job it took back before anyone started it; no latch is needed for that.
    void run_inline(const WorkerContext& owner) noexcept { run_catching(failure_, body_, owner); }

    Latch& latch() noexcept { return latch_; }
    const std::exception_ptr& failure() const noexcept { return failure_; }

  private:
    static void run(Job* job, const WorkerContext& runner) noexcept {
        auto* self = static_cast<StackJob*>(job);
        run_catching(self->failure_, self->body_, runner);
        self->latch_.set();
    }

    Body& body_;
    Latch latch_;
    std::exception_ptr failure_;
};

}  // namespace tarvo
