#include "parallel/pool/registry.hpp"

#include <limits.h>
#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

#include "parallel/pool/placement.hpp"
#include "parallel/pool/thread_count.hpp"
#include "parallel/pool/worker_signals.hpp"

namespace tarvo {
namespace {

std::size_t stack_bytes() {
    return std::max<std::size_t>(worker_stack_bytes, static_cast<std::size_t>(PTHREAD_STACK_MIN));
}

std::string start_failure(int error, std::size_t index, std::size_t threads) {
    char text[160];
    std::snprintf(text, sizeof text, "could not start worker thread %zu of %zu: %s (os error %d)",
                  index + 1, threads, std::strerror(error), error);
    return text;
}

}  // namespace

bool Worker::push(Job* job) noexcept {
    if (!deque_.try_push_back(job)) return false;
    registry_->sleep_.wake_one();
    return true;
}

bool Worker::take_back_or_wait(Job* job, const AtomicLatch& done) noexcept {
    while (!done.probe()) {
        Job* newest = deque_.pop_back();
        if (newest == job) return true;
        if (newest == nullptr) {
            wait_until(done);  // a thief has the job
            return false;
        }
        // The job was stolen and this one is older, offered by an enclosing join: help with it.
        newest->execute(context());
    }
    return false;
}

void Worker::wait_until(const AtomicLatch& done) noexcept {
    Sleep& sleep = registry_->sleep_;
    unsigned idle_rounds = 0;
    bool searching = false;
    const auto stop_searching = [&] {
        if (searching) sleep.stop_searching();
        searching = false;
    };
    while (!done.probe()) {
        if (Job* job = registry_->find_work(*this)) {
            if (searching) {
                // Posters woke nobody while this worker searched: pass the duty on.
                stop_searching();
                sleep.wake_one();
            }
            job->execute(context());
            idle_rounds = 0;
        } else if (idle_rounds < idle_rounds_before_sleep &&
                   (searching || sleep.searching() < registry_->spinners_max_)) {
            if (!searching) sleep.start_searching();
            searching = true;
            ++idle_rounds;
            std::this_thread::yield();
        } else {
            stop_searching();
            // Announce first, then the last look: see README.md, "Sleeping".
            sleep.announce(index_);
            if (done.probe()) {
                sleep.cancel(index_);
            } else if (Job* job = registry_->find_work(*this)) {
                sleep.cancel(index_);
                job->execute(context());
            } else {
                sleep.sleep(index_);
            }
            idle_rounds = 0;
        }
    }
    if (searching) {
        // Posts made while this worker searched woke nobody, counting on it to find their jobs;
        // it leaves without looking again, so a job still waiting must reach a sleeper.
        stop_searching();
        if (registry_->has_pending_work()) sleep.wake_one();
    }
}

void* Worker::thread_main(void* argument) noexcept {
    auto* self = static_cast<Worker*>(argument);
    keep_to(self->processor_);
    self->wait_until(self->registry_->terminating_);
    return nullptr;
}

Registry::Registry(std::size_t threads, WorkerStateFactory make_state)
    : size_(threads),
      spinners_max_(std::min(threads, available_cpu_count())),
      workers_(new Worker[threads]),
      threads_(new pthread_t[threads]),
      sleep_(threads) {
    const WorkerPlacement placement = WorkerPlacement::of(threads);
    for (std::size_t i = 0; i < threads; ++i) {
        workers_[i].registry_ = this;
        workers_[i].index_ = i;
        workers_[i].processor_ = placement.processor(i);
        if (make_state != nullptr) workers_[i].state_ = make_state(i);
    }
}

std::unique_ptr<Registry> Registry::start(std::size_t threads, std::string& cause,
                                          WorkerStateFactory make_state, ThreadStarter starter) {
    std::unique_ptr<Registry> registry(new Registry(threads, make_state));
    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error == 0) {
        error = pthread_attr_setstacksize(&attributes, stack_bytes());
        const BlockedAsyncSignals inherited_by_workers;
        while (error == 0 && registry->started_ < threads) {
            const std::size_t i = registry->started_;
            error = starter(&registry->threads_[i], &attributes, &Worker::thread_main,
                            &registry->workers_[i]);
            if (error == 0) ++registry->started_;
        }
        pthread_attr_destroy(&attributes);
    }
    if (error == 0) return registry;
    cause = start_failure(error, registry->started_, threads);
    return nullptr;  // the registry's destructor stops and joins the threads that did start
}

Registry::~Registry() {
    stop();
}

void Registry::stop() noexcept {
    terminating_.set();
    sleep_.wake_all();
    for (std::size_t i = 0; i < started_; ++i) pthread_join(threads_[i], nullptr);
    started_ = 0;
}

void Registry::inject(Job* job) {
    injected_.push_back(job);
    sleep_.wake_one();
}

bool Registry::has_pending_work() const noexcept {
    for (std::size_t i = 0; i < size_; ++i) {
        if (!workers_[i].deque_.looks_empty()) return true;
    }
    return !injected_.looks_empty();
}

Job* Registry::find_work(Worker& thief) noexcept {
    if (!thief.deque_.looks_empty()) {
        if (Job* job = thief.deque_.pop_back()) return job;
    }
    for (std::size_t step = 1; step < size_; ++step) {
        Worker& victim = workers_[(thief.index_ + step) % size_];
        if (victim.deque_.looks_empty()) continue;
        if (Job* job = victim.deque_.pop_front()) return job;
    }
    if (injected_.looks_empty()) return nullptr;
    return injected_.pop_front();
}

}  // namespace tarvo
