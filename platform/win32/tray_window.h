#pragma once
// The class of the tray icon's hidden window, so that tests can find the window.
namespace vexlo::win32 {

inline constexpr wchar_t kTrayWindowClass[] = L"VexloTweaksTrayWindow";

}  // namespace vexlo::win32
