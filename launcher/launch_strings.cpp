#include "launcher/launch_strings.h"

namespace vexlo::launcher {
namespace {

// Appends text at *length; false when it and the terminator would not fit.
bool append(wchar_t* out, size_t capacity, size_t* length, const wchar_t* text) {
    size_t add = wide_length(text);
    if (add >= capacity - *length) return false;
    for (size_t i = 0; i < add; ++i) out[*length + i] = text[i];
    *length += add;
    out[*length] = 0;
    return true;
}

wchar_t ascii_lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool ends_with_lower(const wchar_t* name, size_t length, const wchar_t* suffix) {
    size_t n = wide_length(suffix);
    if (n > length) return false;
    for (size_t i = 0; i < n; ++i) {
        if (ascii_lower(name[length - n + i]) != suffix[i]) return false;
    }
    return true;
}

}  // namespace

size_t wide_length(const wchar_t* text) {
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

bool wide_equal(const wchar_t* a, const wchar_t* b) {
    size_t i = 0;
    for (; a[i] != 0 && b[i] != 0; ++i) {
        if (a[i] != b[i]) return false;
    }
    return a[i] == b[i];
}

bool join_path(wchar_t* out, size_t capacity, const wchar_t* base, const wchar_t* suffix, const wchar_t* more) {
    if (capacity == 0) return false;
    size_t length = 0;
    out[0] = 0;
    if (append(out, capacity, &length, base) && append(out, capacity, &length, suffix) &&
        append(out, capacity, &length, more)) {
        return true;
    }
    out[0] = 0;
    return false;
}

const wchar_t* command_tail(const wchar_t* p) {
    if (*p == L'"') {
        ++p;
        while (*p != 0 && *p != L'"') ++p;
        if (*p == L'"') ++p;
    } else {
        while (*p != 0 && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

bool compose_command(wchar_t* out, size_t capacity, const wchar_t* program, const wchar_t* tail) {
    if (capacity == 0) return false;
    size_t length = 0;
    out[0] = 0;
    if (append(out, capacity, &length, L"\"") && append(out, capacity, &length, program) &&
        append(out, capacity, &length, L"\" ") && append(out, capacity, &length, tail)) {
        return true;
    }
    out[0] = 0;
    return false;
}

bool loader_may_load(const wchar_t* name) {
    static const wchar_t* const kSuffixes[] = {L".dll", L".local", L".manifest", L".config"};
    size_t length = wide_length(name);
    for (const wchar_t* suffix : kSuffixes) {
        if (ends_with_lower(name, length, suffix)) return true;
    }
    return false;
}

}  // namespace vexlo::launcher
