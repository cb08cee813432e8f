#pragma once
// Message boxes as the suite's forms call them: a text, a caption and the
// Windows flag word. Tests replace the presenter to record calls and answer
// from a script.
#include <QString>
#include <functional>

namespace Platform {

// Windows message box flags in use.
enum : int {
    MB_OK = 0x00,
    MB_YESNO = 0x04,
    MB_ICONSTOP = 0x10,        // 16
    MB_ICONQUESTION = 0x20,    // 32; with MB_YESNO: 36
    MB_ICONEXCLAMATION = 0x30, // 48
    MB_ICONINFORMATION = 0x40, // 64
};

// Answers.
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

using MessageBoxHandler = std::function<int(const QString& text, const QString& caption, int flags)>;

// Shows a modal Qt message box (or calls the installed handler) and returns IDOK, IDYES or IDNO.
int MessageBox(const QString& text, const QString& caption, int flags);

// Installs a replacement presenter; an empty handler restores the real one.
void setMessageBoxHandler(MessageBoxHandler handler);

} // namespace Platform
