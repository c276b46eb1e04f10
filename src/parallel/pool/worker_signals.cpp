#include "parallel/pool/worker_signals.hpp"

#include <pthread.h>

#include <initializer_list>

namespace tarvo {

BlockedAsyncSignals::BlockedAsyncSignals() noexcept {
    sigset_t blocked;
    sigfillset(&blocked);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP}) sigdelset(&blocked, fault);
    pthread_sigmask(SIG_SETMASK, &blocked, &previous_);
}

BlockedAsyncSignals::~BlockedAsyncSignals() {
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace tarvo
