#pragma once
// The hint a thread gives the processor on each turn of a busy wait for another thread's store:
// a short stall instead of load after load of the same line, which leaves the core's other
// hardware thread and the memory system alone and spares the pipeline flush when the wait ends.
//  - x86: pause.
//  - aarch64: isb. Arm's yield is a no-op on cores without SMT, nearly all of them, so a loop of
//    it spins at full speed; an instruction barrier stalls for about as long as x86's pause (Rust's
//    spin_loop and Go's runtime chose it for the same reason).
//  - elsewhere: nothing. The wait stays correct, only busier.

namespace tarvo {

inline void cpu_relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("isb");
#endif
}

}  // namespace tarvo
