"""Leak check of every interpreter that `make test-asan` starts, made before finalization.

LeakSanitizer's own check at process exit runs after CPython has torn its interpreter down
without freeing what it deliberately keeps until the end (interned strings, static types, the
state of extension modules such as NumPy's), so it reports thousands of allocations that no test
can mend; `make test-asan` turns it off (leak_check_at_exit=0). This hook runs the same check
from the interpreter's last exit handler instead, while everything that CPython and NumPy still
hold is reachable: what it finds is memory that nothing points to any more. A leak ends the
process with LEAK_EXIT_CODE, so the test or the pytest run that started it fails.

The check needs every Python object in memory that the sanitizer scans: PYTHONMALLOC=malloc.

A process that ran a subinterpreter is not checked. CPython 3.12 and 3.13 never free the
interned strings a subinterpreter created when it ends; nothing points to them afterwards,
and their allocation stacks (the interpreter has no frame pointers) are too short to tell them
apart from others in a suppression.
"""

import atexit
import ctypes
import os
import resource
import sys

LEAK_EXIT_CODE = 23  # LeakSanitizer's own exit code
# Set in the C environment, which all interpreters of the process share, by a subinterpreter;
# the value is the process id, so that children that inherit the variable are still checked.
SUBINTERPRETER_MARK = "TARVO_LSAN_SUBINTERPRETER_RAN"


def _in_subinterpreter():
    try:
        import _interpreters as interpreters  # CPython 3.13
    except ImportError:
        try:
            import _xxsubinterpreters as interpreters  # CPython 3.12
        except ImportError:
            return False
    return interpreters.get_current() != interpreters.get_main()


def _lift_address_space_limit():
    # The scan runs on a thread of its own whose stack must be mapped: tests that lowered the
    # address-space limit to provoke allocation failures may still have it lowered now.
    _, hard = resource.getrlimit(resource.RLIMIT_AS)
    resource.setrlimit(resource.RLIMIT_AS, (hard, hard))


def _ran_a_subinterpreter():
    mark = _libc_getenv(SUBINTERPRETER_MARK.encode())
    return mark is not None and int(mark) == os.getpid()


def _check_for_leaks():
    # Objects that only a running frame refers to look unreachable (CPython keeps frames in
    # memory the scanner does not see), so nothing is left in a frame of this function.
    _lift_address_space_limit()
    if _ran_a_subinterpreter():
        return
    if _sanitizer.__lsan_do_recoverable_leak_check() != 0:
        sys.stdout.flush()
        sys.stderr.flush()
        os._exit(LEAK_EXIT_CODE)


_sanitizer = ctypes.CDLL(None)  # the preloaded runtime's symbols are global
_libc_getenv = _sanitizer.getenv
_libc_getenv.restype = ctypes.c_char_p
if not hasattr(_sanitizer, "__lsan_do_recoverable_leak_check"):
    pass  # not under the sanitizer runtime: nothing to check
elif _in_subinterpreter():
    os.putenv(SUBINTERPRETER_MARK, str(os.getpid()))
else:
    # Registered before anything else, so it runs after every other exit handler.
    atexit.register(_check_for_leaks)
