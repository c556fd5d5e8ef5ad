#include <gtest/gtest.h>

#include "app/core/device_power.h"
#include "app/core/dx_settings.h"
#include "app/core/game.h"
#include "app/tweaks/nic_cache.h"
#include "app/core/system_facts.h"
#include "test_machine.h"

using namespace vexlo;

TEST(DxTokens, EditOneTokenKeepOthersAndDeleteWhenEmpty) {
    const std::string start = "VRROptimizeEnable=0;SwapEffectUpgradeEnable=1;";
    EXPECT_EQ(dx_token_in(start, "VRROptimizeEnable"), "0");
    EXPECT_EQ(dx_token_in(start, "SwapEffectUpgradeEnable"), "1");
    EXPECT_EQ(dx_token_in(start, "vrroptimizeenable"), std::nullopt);  // names compare with case here
    EXPECT_EQ(dx_token_in("XVRROptimizeEnable=5;", "VRROptimizeEnable"), std::nullopt);
    EXPECT_EQ(dx_with_token(start, "VRROptimizeEnable", "1"), "SwapEffectUpgradeEnable=1;VRROptimizeEnable=1;");
    EXPECT_EQ(dx_with_token(dx_with_token(start, "VRROptimizeEnable", std::nullopt), "SwapEffectUpgradeEnable",
                            std::nullopt),
              "");

    testkit::TempMachine pc;
    Reg reg(pc->registry());
    reg.set(kDxKey, kDxValue, start, platform::RegKind::String);
    set_dx_token(reg, "VRROptimizeEnable", std::nullopt);
    set_dx_token(reg, "SwapEffectUpgradeEnable", std::nullopt);
    EXPECT_FALSE(reg.get_raw(kDxKey, kDxValue)) << "an empty list deletes the value";
    set_dx_token(reg, "VRROptimizeEnable", "1");
    EXPECT_EQ(reg.get(kDxKey, kDxValue), "VRROptimizeEnable=1;");
}

TEST(LayerTokens, AddRemoveAndDeleteTheLast) {
    testkit::TempMachine pc;
    Reg reg(pc->registry());
    const std::string exe = "C:\\Games\\Fortnite.exe";
    reg.set(kLayersKey, exe, "~ HIGHDPIAWARE", platform::RegKind::String);
    set_layer_token(reg, exe, "DISABLEDXMAXIMIZEDWINDOWEDMODE", true);
    EXPECT_EQ(reg.get(kLayersKey, exe), "~ HIGHDPIAWARE DISABLEDXMAXIMIZEDWINDOWEDMODE");
    set_layer_token(reg, exe, "disabledxmaximizedwindowedmode", false);
    EXPECT_EQ(reg.get(kLayersKey, exe), "~ HIGHDPIAWARE");
    set_layer_token(reg, exe, "HIGHDPIAWARE", false);
    EXPECT_FALSE(reg.get_raw(kLayersKey, exe));
    EXPECT_TRUE(get_layer_tokens(reg, exe).empty());
}

TEST(NicTargets, WantedValuesByPatternAndMax) {
    struct FakeNet : platform::Network {
        std::vector<platform::AdapterProperty> props;
        std::vector<platform::AdapterProperty> adapter_properties() override { return props; }
        void set_adapter_property(std::string_view, std::string_view, std::string_view) override {}
        std::vector<platform::AdapterStatus> physical_adapters() override { return {}; }
        void restart_adapter(std::string_view) override {}
        std::vector<std::string> dns_servers(uint32_t) override { return {}; }
        void set_dns_servers(uint32_t, const std::vector<std::string>&) override {}
        void reset_dns_servers(uint32_t) override {}
        void flush_dns_cache() override {}
        bool qos_policy_exists(std::string_view) override { return false; }
        void create_qos_policy(const platform::QosPolicy&) override {}
        bool remove_qos_policy(std::string_view) override { return false; }
        void refresh_qos_policies() override {}
        std::optional<bool> offload_global(platform::OffloadGlobal) override { return std::nullopt; }
        void set_offload_global(platform::OffloadGlobal, bool) override {}
    } net;
    net.props = {
        {"Ethernet", "Interrupt Moderation", "Enabled", "*InterruptModeration", {"Disabled", "Enabled"}, 0, "1", {"0", "1"}},
        {"Ethernet", "Receive Buffers", "256", "*ReceiveBuffers", {}, 4096, "256", {}},
        {"Ethernet", "Transmit Buffers", "512", "*TransmitBuffers", {}, 0, "512", {}},
        {"Wi-Fi", "Roaming Aggressiveness", "3. Medium", "RoamAggressiveness",
         {"1. Lowest", "2. Medium-low", "3. Medium", "4. Medium-High", "5. Highest"}, 0, "2", {"0", "1", "2", "3", "4"}},
        // German drivers: the texts are translated, the stored values are not.
        {"Ethernet 2", "Energieeffizientes Ethernet", "Ein", "*EEE", {"Ein", "Aus"}, 0, "1", {"1", "0"}},
        {"Ethernet 2", "Wake on Link", "Ein", "WakeOnLink", {"Aus", "Ein"}, 0, "1", {"0", "1"}},
    };
    NicCache cache(net);
    cache.refresh();
    auto make = [](std::string kw, std::string rx, std::string target) {
        NicData d{kw, rx, target, {}, {}};
        if (!rx.empty()) d.rx_re = make_pattern(rx);
        if (target != "MAX") d.target_re = make_pattern(target);
        return d;
    };
    struct Case {
        NicData d;
        std::vector<std::string> wants;
    };
    const Case cases[] = {
        {make("*InterruptModeration", "", "^(Disabled|Off|Disable)$"), {"Disabled"}},
        {make("*interruptmoderation", "", "MAX"), {"Enabled"}},  // keyword compares without case
        {make("", "Buffers", "MAX"), {"4096"}},                  // no numeric maximum: not a target
        {make("", "roaming", "Lowest"), {"1. Lowest"}},
        {make("Interrupt Moderation", "", "MAX"), {}},           // a keyword never matches a display name
        {make("", "InterruptModeration", "MAX"), {}},            // a pattern never matches a keyword
        {make("*InterruptModeration", "", "^On$"), {}},          // no valid value matches
        // Off in another language: the choice stored as "0", only for a standardized keyword
        // the entry names, and only for the shared Off pattern.
        {make("*EEE", "", "^(Disabled|Off|Disable)$"), {"Aus"}},
        {make("*eee", "", "^Off$"), {}},
        {make("WakeOnLink", "", "^(Disabled|Off|Disable)$"), {}},
        {make("", "Energieeffizientes", "^(Disabled|Off|Disable)$"), {}},
    };
    for (auto& c : cases) {
        std::vector<std::string> wants;
        for (auto& t : cache.targets(c.d)) wants.push_back(t.want);
        EXPECT_EQ(wants, c.wants) << c.d.kw << " / " << c.d.rx << " / " << c.d.target;
    }
}

TEST(DevicePower, InstanceSuffixAndClassMembership) {
    EXPECT_EQ(strip_instance_suffix("USB\\VID_046D&PID_C547\\5&2D3E_0"), "USB\\VID_046D&PID_C547\\5&2D3E");
    EXPECT_EQ(strip_instance_suffix("USB\\ROOT_HUB30\\4&1_12"), "USB\\ROOT_HUB30\\4&1");
    EXPECT_EQ(strip_instance_suffix("PCI\\VEN_10DE"), "PCI\\VEN_10DE");
    EXPECT_EQ(strip_instance_suffix("NAME_"), "NAME_");

    struct FakeDevices : platform::Devices {
        std::vector<std::string> present_instance_ids(std::string_view cls) override {
            if (cls == "USB") return {"usb\\vid_1&pid_2\\abc"};
            if (cls == "HIDClass") return {"HID\\VID_1&PID_2\\7&X"};
            return {};
        }
        std::vector<platform::DevicePower> power_entries() override {
            return {{"USB\\VID_1&PID_2\\ABC_0", true}, {"HID\\VID_1&PID_2\\7&X_0", false}, {"PCI\\VEN_1\\Y_0", true}};
        }
        void set_power_enable(std::string_view, bool) override {}
    } devices;
    DevicePowerCache cache(devices);
    cache.read_classes();
    cache.refresh();
    EXPECT_EQ(cache.objects({"USB"}).size(), 1u);
    EXPECT_EQ(cache.objects({"USB", "HIDClass"}).size(), 2u);
    EXPECT_TRUE(cache.objects({"Bluetooth"}).empty());
}

TEST(Game, FoundThroughTheLauncherListOrTheDefaultPath) {
    testkit::TempMachine pc;
    auto& files = pc->files();
    const std::string list = "C:\\ProgramData\\Epic\\UnrealEngineLauncher\\LauncherInstalled.dat";
    const std::string elsewhere = "C:\\Games\\Fortnite";
    const std::string exe_elsewhere = elsewhere + "\\" + kGameExeTail;

    // The list names a folder whose executable is missing: the default path is used.
    files.create_directories("C:\\ProgramData\\Epic\\UnrealEngineLauncher");
    files.write(list, R"({"InstallationList":[{"InstallLocation":"C:\\Games\\Fortnite","AppName":"Fortnite"}]})");
    bool default_exists = files.exists(kDefaultGameExe);
    EXPECT_EQ(find_fortnite_exe(files), default_exists ? std::optional<std::string>(kDefaultGameExe) : std::nullopt);

    files.create_directories(elsewhere + "\\FortniteGame\\Binaries\\Win64");
    files.write(exe_elsewhere, "MZ");
    EXPECT_EQ(find_fortnite_exe(files), exe_elsewhere);
    EXPECT_EQ(fortnite_root(exe_elsewhere), elsewhere);

    files.write(list, "{ not json");
    EXPECT_EQ(find_fortnite_exe(files), default_exists ? std::optional<std::string>(kDefaultGameExe) : std::nullopt);
}

TEST(Facts, MemoryRoundsHalvesToEvenAndRefreshFallsBack) {
    struct FakeInfo : platform::SystemInfo {
        uint64_t bytes = 0;
        int hz = 60;
        uint32_t windows_build() override { return 0; }
        uint64_t total_memory_bytes() override { return bytes; }
        int refresh_hz() override { return hz; }
        bool has_battery() override { return false; }
        std::vector<std::string> cpu_names() override { return {}; }
        std::vector<std::string> gpu_names() override { return {}; }
        std::string os_caption() override { return {}; }
        bool is_elevated() override { return true; }
    } info;
    testkit::TempMachine pc;
    Reg reg(pc->registry());
    const uint64_t gib = 1ull << 30;
    const std::pair<uint64_t, int> mem[] = {{gib * 31 / 2, 16}, {gib * 33 / 2, 16}, {gib * 35 / 2, 18}, {0, 0}};
    for (auto [bytes, gb] : mem) {
        info.bytes = bytes;
        EXPECT_EQ(SystemFacts::read(info, reg, pc->files()).ram_gb, gb) << bytes;
    }
    const std::pair<int, int> hz[] = {{144, 144}, {31, 31}, {30, 60}, {0, 60}};
    for (auto [in, out] : hz) {
        info.hz = in;
        EXPECT_EQ(SystemFacts::read(info, reg, pc->files()).hz, out) << in;
    }
    EXPECT_EQ(SystemFacts::read(info, reg, pc->files()).build, 22631u) << "read from CurrentBuildNumber";
}
