// The Windows-wide offload settings through WMI on the PC itself (changed only under Wine).
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/win32/offload_globals.h"
#include "platform/win32/parts.h"

namespace {

using namespace vexlo::win32;
using vexlo::platform::OffloadGlobal;

constexpr OffloadGlobal kBoth[] = {OffloadGlobal::ReceiveSegmentCoalescing, OffloadGlobal::PacketCoalescingFilter};

// Windows always has the class; Wine may not, and then nothing is known rather than anything thrown.
TEST(OffloadGlobalsWin, ReadsBothSettingsOrSaysUnknown) {
    for (auto g : kBoth) {
        std::optional<bool> on;
        ASSERT_NO_THROW(on = read_offload_global(g));
        if (!on && running_under_wine())
            GTEST_SKIP() << "Wine has no MSFT_NetOffloadGlobalSetting in root\\StandardCimv2";
        EXPECT_TRUE(on.has_value()) << int(g);
        EXPECT_EQ(read_offload_global(g), on) << "two reads agree";
    }
}

TEST(OffloadGlobalsWin, SetsAndRestoresEachSetting) {
    if (!running_under_wine()) GTEST_SKIP() << "changes Windows-wide network settings: only under Wine";
    for (auto g : kBoth) {
        auto was = read_offload_global(g);
        if (!was) GTEST_SKIP() << "Wine has no MSFT_NetOffloadGlobalSetting in root\\StandardCimv2";
        write_offload_global(g, !*was);
        EXPECT_EQ(read_offload_global(g), !*was);
        write_offload_global(g, *was);
        EXPECT_EQ(read_offload_global(g), *was);
    }
}

}  // namespace
