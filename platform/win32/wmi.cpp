#include "platform/win32/wmi.h"

namespace vexlo::win32 {

namespace {

// WMI calls go to the WMI service; a call that hangs there should not hang the application.
constexpr long kNextTimeoutMs = 30000;

// Lets the service act for the caller. In-process providers (as on Wine) have no proxy to set
// this on, which is fine.
void allow_impersonation(IUnknown* proxy) {
    CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

// A SAFEARRAY of BSTRs holding `values`, owned by a VARIANT.
void put_string_array(VARIANT* v, const std::vector<std::wstring>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, ULONG(values.size()));
    for (LONG i = 0; i < LONG(values.size()); ++i) {
        BSTR s = SysAllocStringLen(values[size_t(i)].data(), UINT(values[size_t(i)].size()));
        SafeArrayPutElement(array, &i, s);  // copies the string
        SysFreeString(s);
    }
    v->vt = VT_ARRAY | VT_BSTR;
    v->parray = array;
}

}  // namespace

Wmi::Wmi(const std::wstring& name_space, const std::string& what) {
    com::Ptr<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void());
    if (FAILED(hr)) com::fail(what, hr);
    com::Bstr ns{std::wstring_view(name_space)};
    hr = locator->ConnectServer(ns.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services_.put());
    if (FAILED(hr)) com::fail(what, hr);
    allow_impersonation(services_.get());
}

std::vector<com::Ptr<IWbemClassObject>> Wmi::query(const std::wstring& wql, const std::string& what) {
    com::Ptr<IEnumWbemClassObject> rows;
    com::Bstr language{std::wstring_view(L"WQL")}, text{std::wstring_view(wql)};
    HRESULT hr = services_->ExecQuery(language.get(), text.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                      nullptr, rows.put());
    if (FAILED(hr)) com::fail(what, hr);
    allow_impersonation(rows.get());
    std::vector<com::Ptr<IWbemClassObject>> out;
    for (;;) {
        com::Ptr<IWbemClassObject> row;
        ULONG got = 0;
        hr = rows->Next(kNextTimeoutMs, 1, row.put(), &got);
        if (FAILED(hr)) com::fail(what, hr);
        if (got == 0) {
            if (hr == WBEM_S_TIMEDOUT) throw platform::PlatformError(what + ": WMI did not answer in time.");
            break;  // WBEM_S_FALSE: no more rows
        }
        out.push_back(std::move(row));
    }
    return out;
}

void Wmi::call_static(const std::wstring& class_name, const std::wstring& method, const std::wstring& parameter,
                      const std::vector<std::wstring>& values, const std::string& what) {
    call(class_name, L"", method, [&](IWbemClassObject* in) {
        com::Variant v;
        put_string_array(v.get(), values);
        HRESULT hr = in->Put(parameter.c_str(), 0, v.get(), 0);
        if (FAILED(hr)) com::fail(what, hr);
    }, what);
}

void Wmi::call(const std::wstring& class_name, const std::wstring& object_path, const std::wstring& method,
               const std::function<void(IWbemClassObject* in)>& fill, const std::string& what) {
    com::Bstr cls{std::wstring_view(class_name)}, name{std::wstring_view(method)};
    com::Bstr target{std::wstring_view(object_path.empty() ? class_name : object_path)};
    com::Ptr<IWbemClassObject> definition, signature, arguments, result;
    HRESULT hr = services_->GetObject(cls.get(), 0, nullptr, definition.put(), nullptr);
    if (FAILED(hr)) com::fail(what, hr);
    hr = definition->GetMethod(method.c_str(), 0, signature.put(), nullptr);
    if (FAILED(hr)) com::fail(what, hr);
    if (signature) {  // null for a method without input parameters
        hr = signature->SpawnInstance(0, arguments.put());
        if (FAILED(hr)) com::fail(what, hr);
        if (fill) fill(arguments.get());
    }
    hr = services_->ExecMethod(target.get(), name.get(), 0, nullptr, arguments.get(), result.put(), nullptr);
    if (FAILED(hr)) com::fail(what, hr);
    if (!result) return;
    com::Variant rv;
    if (FAILED(result->Get(L"ReturnValue", 0, rv.get(), nullptr, nullptr)) ||
        FAILED(VariantChangeType(rv.get(), rv.get(), 0, VT_I4)) || (*rv).lVal == 0)
        return;
    // Providers return either an HRESULT or a small code of their own.
    LONG code = (*rv).lVal;
    if (code < 0) com::fail(what, HRESULT(code));
    throw platform::PlatformError(what + ": the method returned " + std::to_string(code) + ".");
}

void wmi_put(IWbemClassObject* in, const wchar_t* name, std::wstring_view text, const std::string& what) {
    com::Variant v;
    v.get()->vt = VT_BSTR;
    v.get()->bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
    HRESULT hr = in->Put(name, 0, v.get(), 0);
    if (FAILED(hr)) com::fail(what, hr);
}

void wmi_put(IWbemClassObject* in, const wchar_t* name, int32_t number, const std::string& what) {
    com::Variant v;
    v.get()->vt = VT_I4;
    v.get()->lVal = number;
    HRESULT hr = in->Put(name, 0, v.get(), 0);
    if (FAILED(hr)) com::fail(what, hr);
}

void Wmi::update(IWbemClassObject* instance, const std::string& what) {
    HRESULT hr = services_->PutInstance(instance, WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr);
    if (FAILED(hr)) com::fail(what, hr);
}

std::vector<std::wstring> variant_strings(const VARIANT& v) {
    if (v.vt == VT_BSTR) return {std::wstring(v.bstrVal, SysStringLen(v.bstrVal))};
    if (v.vt != (VT_ARRAY | VT_BSTR) || !v.parray || SafeArrayGetDim(v.parray) != 1) return {};
    LONG low = 0, high = -1;
    SafeArrayGetLBound(v.parray, 1, &low);
    SafeArrayGetUBound(v.parray, 1, &high);
    std::vector<std::wstring> out;
    for (LONG i = low; i <= high; ++i) {
        BSTR s = nullptr;
        if (SUCCEEDED(SafeArrayGetElement(v.parray, &i, &s))) {
            out.emplace_back(s ? std::wstring(s, SysStringLen(s)) : std::wstring());
            SysFreeString(s);
        }
    }
    return out;
}

std::optional<std::wstring> wmi_string(IWbemClassObject* object, const wchar_t* property) {
    com::Variant v;
    if (FAILED(object->Get(property, 0, v.get(), nullptr, nullptr)) || (*v).vt != VT_BSTR) return std::nullopt;
    return std::wstring((*v).bstrVal, SysStringLen((*v).bstrVal));
}

std::optional<bool> wmi_bool(IWbemClassObject* object, const wchar_t* property) {
    com::Variant v;
    if (FAILED(object->Get(property, 0, v.get(), nullptr, nullptr)) || (*v).vt == VT_NULL || (*v).vt == VT_EMPTY)
        return std::nullopt;
    if (FAILED(VariantChangeType(v.get(), v.get(), 0, VT_BOOL))) return std::nullopt;
    return (*v).boolVal != VARIANT_FALSE;
}

std::optional<int64_t> wmi_int(IWbemClassObject* object, const wchar_t* property) {
    com::Variant v;
    if (FAILED(object->Get(property, 0, v.get(), nullptr, nullptr)) || (*v).vt == VT_NULL || (*v).vt == VT_EMPTY)
        return std::nullopt;
    if (FAILED(VariantChangeType(v.get(), v.get(), 0, VT_I8))) return std::nullopt;
    return int64_t((*v).llVal);
}

std::vector<std::wstring> wmi_strings(IWbemClassObject* object, const wchar_t* property) {
    com::Variant v;
    if (FAILED(object->Get(property, 0, v.get(), nullptr, nullptr))) return {};
    return variant_strings(*v);
}

}  // namespace vexlo::win32
