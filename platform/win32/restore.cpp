// System Restore through its WMI class (root\default:SystemRestore), the interface Windows'
// own tools use: Enable turns System Protection on for a drive, CreateRestorePoint makes a
// point and answers with Windows' reason when it cannot (protection off, the service disabled).
#include "platform/win32/com.h"
#include "platform/win32/parts.h"
#include "platform/win32/wide.h"
#include "platform/win32/wmi.h"

namespace vexlo::win32 {

namespace {

using platform::PlatformError;

const std::wstring kNamespace = L"ROOT\\default";
const std::wstring kClass = L"SystemRestore";
constexpr int32_t kModifySettings = 12;     // RestorePointType: the system's settings change
constexpr int32_t kBeginSystemChange = 100;  // EventType: Windows closes the point itself

class WmiSystemRestore final : public platform::SystemRestore {
public:
    void enable(std::string_view drive_root) override {
        const std::string what = "Cannot turn on System Protection for " + std::string(drive_root);
        run(what, L"Enable", [&](IWbemClassObject* in) { wmi_put(in, L"Drive", widen(drive_root), what); });
    }

    void create_point(std::string_view description) override {
        const std::string what = "Cannot create the restore point";
        run(what, L"CreateRestorePoint", [&](IWbemClassObject* in) {
            wmi_put(in, L"Description", widen(description), what);
            wmi_put(in, L"RestorePointType", kModifySettings, what);
            wmi_put(in, L"EventType", kBeginSystemChange, what);
        });
    }

private:
    static void run(const std::string& what, const wchar_t* method, const std::function<void(IWbemClassObject*)>& fill) {
        com::Apartment apartment;
        if (!apartment.usable()) com::fail(what, apartment.result());
        Wmi wmi(kNamespace, what);
        wmi.call(kClass, L"", method, fill, what);
    }
};

}  // namespace

std::unique_ptr<platform::SystemRestore> make_system_restore() { return std::make_unique<WmiSystemRestore>(); }

}  // namespace vexlo::win32
