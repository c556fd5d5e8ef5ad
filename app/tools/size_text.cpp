#include "app/tools/size_text.h"

#include <cmath>

namespace vexlo {

namespace {

// `value` rounded half away from zero to `decimals` places, with grouped thousands.
std::string grouped(double value, int decimals) {
    const double scale = decimals == 2 ? 100.0 : 10.0;
    const uint64_t scaled = uint64_t(std::round(value * scale));
    const uint64_t whole = scaled / uint64_t(scale);
    const uint64_t frac = scaled % uint64_t(scale);
    std::string digits = std::to_string(whole);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    std::string f = std::to_string(frac);
    if (int(f.size()) < decimals) f.insert(0, size_t(decimals) - f.size(), '0');
    return out + "." + f;
}

}  // namespace

std::string format_size(uint64_t bytes) {
    constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
    constexpr double kMiB = 1024.0 * 1024.0;
    if (double(bytes) >= kGiB) return grouped(double(bytes) / kGiB, 2) + " GB";
    return grouped(double(bytes) / kMiB, 1) + " MB";
}

}  // namespace vexlo
