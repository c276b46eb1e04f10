#include "adaptive/smart.hpp"
#include <algorithm>
namespace tarvo {
bool is_small_range(ConstSlice) noexcept { return false; }
SmartRoute smart_route(ConstSlice) { return SmartRoute::pdq; }
const char* route_name(SmartRoute) noexcept { return "pdq"; }
void smart_sort(Slice s) { std::sort(s.begin(), s.end()); }
}
