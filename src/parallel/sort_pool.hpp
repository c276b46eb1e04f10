#pragma once
// The process's pool as the sorts use it: the global registry, whose every worker owns the leaf
// kernel's scratch. Every use of the global pool goes through here, so that it is always made
// with that state.

#include "parallel/pool/global_pool.hpp"
#include "parallel/pool/registry.hpp"
#include "parallel/pool/worker_context.hpp"

namespace tarvo {

// Made on first need; raises the pool's fault if it cannot be started (global_pool.hpp).
Registry& sort_pool();

// Runs body(worker) on a worker of the sorts' pool, the caller blocked until it is done. For
// sorts whose work before their first join should not load the caller. Call from a thread
// outside the pool.
template <class Body>
void run_on_pool(Body&& body) {
    sort_pool().in_worker(body);
}

}  // namespace tarvo
