#pragma once
// The stack backtrace written after a fault diagnostic when TARVO_BACKTRACE=1 is set.

namespace tarvo {

// Writes "stack backtrace:" and one line per frame of the calling thread to standard error:
//
//      4: (/path/to/_tarvo.cpython-312-x86_64-linux-gnu.so+0xe43c)
//      6: PyObject_Vectorcall+0x4f (/path/to/libpython3.12.so.1.0+0xf01bf)
//
// The function is named where the object's dynamic symbols allow (the module's own functions are
// hidden, so they are not); the offset in parentheses is relative to the object's load address,
// so `addr2line -f -C -e <object> <offset>` resolves it to a function and a source line.
void write_backtrace() noexcept;

}  // namespace tarvo
