// The memory manager agent where PowerShell cannot carry out its commands. The commands and the
// reading of their output are plain text work, tested on Linux (tests/unit/powershell_text_test.cpp).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/win32/parts.h"

namespace {

using namespace vexlo::win32;
using vexlo::platform::MemoryFeature;
using vexlo::platform::PlatformError;

TEST(MemoryAgentWin, WherePowerShellDoesNothingReadsAreUnknownAndChangesThrow) {
    if (!running_under_wine()) GTEST_SKIP() << "only Wine's PowerShell is a stand-in that runs no cmdlet";
    auto agent = make_memory_agent();
    EXPECT_EQ(agent->enabled(MemoryFeature::Compression), std::nullopt);
    try {
        agent->set_enabled(MemoryFeature::Compression, false);
        ADD_FAILURE() << "a change PowerShell never made was reported done";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot turn off memory compression"), std::string::npos) << e.what();
    }
}

}  // namespace
