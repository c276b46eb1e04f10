#pragma once
// The process's one pool, made on first need and never shut down, and what a fork does to it.

#include "parallel/pool/registry.hpp"

namespace tarvo {

// The process's pool, started on the first call with configured_thread_count() workers, each
// owning what `make_state` makes for it; later calls return that pool and do not use their
// argument, so the process reaches the pool through one function that always passes the same
// factory (parallel/sort_pool.hpp). If the pool could not be started, this and every later call
// raise a fault whose message is pool_failure_prefix followed by the cause.
Registry& global_registry(WorkerStateFactory make_state);

}  // namespace tarvo
