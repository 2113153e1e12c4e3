// What Windows says of an error code, as a person reads it: "Access is denied", without the
// full stop and line break FormatMessage ends with; "error N" when it has no words for it.
#pragma once

#include <windows.h>

#include <string>

namespace serial::win32 {

inline std::string systemText(DWORD error) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

} // namespace serial::win32
