// Multact.dll: desktop actions that a keyboard key can trigger, chosen by a
// numeric action code. Every export is stdcall and returns a 32-bit int;
// an unknown code, or a code given to an export that does not list it,
// does nothing and returns 0. No exception leaves the library.
#pragma once

#include <cstdint>

namespace kb::multact {

// Codes of Multact(code).
inline constexpr std::int32_t kScrollRight = 188;         // one line right in the focused control; 0
inline constexpr std::int32_t kScrollLeft = 189;          // one line left; 0
inline constexpr std::int32_t kZoomIn = 210;              // 1; 0 when a class name cannot be read
inline constexpr std::int32_t kZoomOut = 211;             // as kZoomIn
inline constexpr std::int32_t kStartWordProcessor = 212;  // "WinWord.exe", else "WordPad.exe"; start result
inline constexpr std::int32_t kStartSpreadsheet = 213;    // "EXCEL.EXE"; start result
inline constexpr std::int32_t kStartPresentation = 214;   // "POWERPNT.EXE"; start result
inline constexpr std::int32_t kShowCalendar = 215;        // the mail program's calendar; 0
inline constexpr std::int32_t kMaximise = 513;            // the foreground window, if it has a maximise box; 0
inline constexpr std::int32_t kMinimise = 514;            // the foreground window; 0

// Codes of Multact2(code, text, parameters).
inline constexpr std::int32_t kStartProgram = 642;  // text = program path, parameters or null; start result
inline constexpr std::int32_t kTypeText = 657;      // text typed into the focused window; 1 (0 for a null text)

// Codes of MultactForWin2000(code).
inline constexpr std::int32_t kStartMediaPlayer = 194;    // "wmplayer.exe", else "mplayer2.exe"; 1 if either started
inline constexpr std::int32_t kStartCalculator = 196;     // "calc.exe"; 0
inline constexpr std::int32_t kOpenComputerFolder = 197;  // the computer folder in "explorer.exe"; 0

}  // namespace kb::multact

#ifdef _WIN32
// The exporting module's own prototypes: callers derive their entry-point
// types from these with decltype(&Multact) and so on.
extern "C" {
int __stdcall Multact(int code);
int __stdcall Multact2(int code, const wchar_t* text, const wchar_t* parameters);
int __stdcall MultactForWin2000(int code);
}
#endif
