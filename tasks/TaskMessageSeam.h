#pragma once
// The one seam through which every message box and question of the program goes.
// The widgets install a handler that shows a real message box; tests install one
// that answers the questions and records their texts.

#include <functional>
#include <string>

namespace tamsel {

// Styles and answers in the message-box terms the program uses.
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// text, caption, style -> IDOK or IDCANCEL
using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, unsigned style)>;

// Installs the handler and returns the one it replaces.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Shows a message box through the installed handler. Without a handler a question
// counts as cancelled, so nothing is ever done without the user's consent.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned style);

}  // namespace tamsel
