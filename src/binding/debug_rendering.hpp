#pragma once
// How a Python error is shown inside a fault message.

#include <string>

#include "binding/error.hpp"

namespace tarvo::py {

// "PyErr { type: <repr>, value: <repr>, traceback: None | Some(<repr>) }"
std::string debug_rendering(Error& error);

}  // namespace tarvo::py
