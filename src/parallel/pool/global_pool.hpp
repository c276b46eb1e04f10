#pragma once
// The process's one pool, made on first need and never shut down, and what a fork does to it.

#include "parallel/pool/registry.hpp"

namespace tarvo {

// The process's pool, started with configured_thread_count() workers on the first call. If it
// could not be started, this and every later call raise a fault whose message is
// pool_failure_prefix followed by the cause.
Registry& global_registry();

}  // namespace tarvo
