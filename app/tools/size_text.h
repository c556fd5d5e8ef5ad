#pragma once
// Sizes of freed memory and cleaned folders as the player reads them.
#include <cstdint>
#include <string>

namespace vexlo {

// From 1 GiB up, gibibytes with two decimals ("1.00 GB"); below, mebibytes with one
// ("1,024.0 MB"). Thousands are grouped with "," and the decimal mark is "." whatever the PC's
// language: the product has no per-culture number formats.
std::string format_size(uint64_t bytes);

}  // namespace vexlo
