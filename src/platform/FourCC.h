#pragma once

#include <QtGlobal>
#include <string_view>

// A four-character code as one number: each byte of the text, in order, shifted in from the
// right. "aevt" gives 0x61657674.
constexpr quint32 fourCC(std::string_view utf8) {
    quint32 code = 0;
    for (const char byte : utf8)
        code = (code << 8) | static_cast<unsigned char>(byte);
    return code;
}
