#pragma once
// A connection to one WMI namespace: queries, one property of an object, static methods and
// instance updates. Callers keep a com::Apartment alive around it.
#include <windows.h>
#include <wbemidl.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/com.h"

namespace vexlo::win32 {

class Wmi {
public:
    // Throws PlatformError naming `what` (a missing namespace included).
    Wmi(const std::wstring& name_space, const std::string& what);

    // Every object the WQL query returns. Throws PlatformError (a missing class included).
    std::vector<com::Ptr<IWbemClassObject>> query(const std::wstring& wql, const std::string& what);

    // Calls a static method of a class with string-array arguments; throws PlatformError when the
    // call fails or its ReturnValue is not 0.
    void call_static(const std::wstring& class_name, const std::wstring& method, const std::wstring& parameter,
                     const std::vector<std::wstring>& values, const std::string& what);

    // Calls a method of a class, static when `object_path` is empty, else of the instance at
    // that path (its __PATH). `fill` puts the arguments into the method's input object (not
    // called for a method without parameters). Throws PlatformError when the call fails or its
    // ReturnValue is not 0.
    void call(const std::wstring& class_name, const std::wstring& object_path, const std::wstring& method,
              const std::function<void(IWbemClassObject* in)>& fill, const std::string& what);

    // Writes back a changed instance (only an existing one). Throws PlatformError.
    void update(IWbemClassObject* instance, const std::string& what);

private:
    com::Ptr<IWbemServices> services_;
};

// Property readers: nullopt (or empty) when the object lacks the property or it is null.
std::optional<std::wstring> wmi_string(IWbemClassObject* object, const wchar_t* property);
std::optional<bool> wmi_bool(IWbemClassObject* object, const wchar_t* property);
std::vector<std::wstring> wmi_strings(IWbemClassObject* object, const wchar_t* property);

std::optional<int64_t> wmi_int(IWbemClassObject* object, const wchar_t* property);

// Method arguments for Wmi::call. Throw PlatformError naming `what`.
void wmi_put(IWbemClassObject* in, const wchar_t* name, std::wstring_view text, const std::string& what);
void wmi_put(IWbemClassObject* in, const wchar_t* name, int32_t number, const std::string& what);

// The strings of a VARIANT holding a string or an array of strings; empty for anything else.
std::vector<std::wstring> variant_strings(const VARIANT& v);

}  // namespace vexlo::win32
