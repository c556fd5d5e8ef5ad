#pragma once
// Small COM helpers (in their own namespace, apart from the shell's COM scope): an apartment guard, an owning interface pointer, BSTR and VARIANT owners and
// error texts for HRESULTs. Kept to what the platform layer needs; no <comdef.h>.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "platform/error.h"
#include "platform/win32/wide.h"

namespace vexlo::win32::com {

// Makes COM usable on the calling thread for the guard's lifetime. The application's threads
// may already have joined an apartment of either kind: S_FALSE (already in this kind) is
// balanced with CoUninitialize like S_OK; RPC_E_CHANGED_MODE (already single-threaded) leaves
// COM usable and must not be balanced.
class Apartment {
public:
    Apartment() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~Apartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

// The same for the shell's objects, which expect a single-threaded apartment; a thread already
// in the other kind keeps it, and the shell calls made here work from both.
class ShellApartment {
public:
    ShellApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ShellApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ShellApartment(const ShellApartment&) = delete;
    ShellApartment& operator=(const ShellApartment&) = delete;

private:
    HRESULT hr_;
};

// Owns one reference to an interface.
template <class T>
class Ptr {
public:
    Ptr() = default;
    ~Ptr() { reset(); }
    Ptr(const Ptr&) = delete;
    Ptr& operator=(const Ptr&) = delete;
    Ptr(Ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ptr& operator=(Ptr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what is held and hands out the slot.
    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

private:
    T* p_ = nullptr;
};

// Owns a BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::wstring_view s) : b_(SysAllocStringLen(s.data(), UINT(s.size()))) {}
    explicit Bstr(std::string_view utf8) : Bstr(std::wstring_view(widen(utf8))) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }
    BSTR* put() {
        SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    std::wstring_view view() const { return b_ ? std::wstring_view(b_, SysStringLen(b_)) : std::wstring_view(); }
    std::string utf8() const { return narrow(view()); }

private:
    BSTR b_ = nullptr;
};

// Owns a VARIANT.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }
    const VARIANT& operator*() const { return v_; }
    VARIANT* put() {
        VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

// Text for an HRESULT: the system's message when it has one, else its hexadecimal code (WMI's
// own codes have no system message).
inline std::string hresult_text(HRESULT hr) {
    DWORD code = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? DWORD(HRESULT_CODE(hr)) : DWORD(hr);
    wchar_t* buf = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    if (n && buf) {
        LocalFree(buf);
        return error_text(code);
    }
    if (buf) LocalFree(buf);
    char hex[32];
    std::snprintf(hex, sizeof hex, "error 0x%08lX", static_cast<unsigned long>(hr));
    return hex;
}

[[noreturn]] inline void fail(const std::string& what, HRESULT hr) {
    throw platform::PlatformError(what + ": " + hresult_text(hr));
}

}  // namespace vexlo::win32::com
