#pragma once

#include <QByteArray>
#include <QString>

namespace PublicNames {
// Characters of a link's name: lower-case letters and digits 2 to 7 (RFC 4648 base32), five
// random bits each, safe in a DNS label and unambiguous when read aloud or typed.
inline constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz234567";
// 16 characters are 80 bits: someone guessing a billion names a second against a million live
// links needs about 35 000 years to expect a hit, and the name still fits easily in a label
// (at most 63) and in a line of chat.
inline constexpr int labelLength = 16;

// A new random label from the system's random source.
QString randomLabel();
// The name a Host header or server name asks for: lower case, without a port or a final dot.
QString hostName(const QByteArray& hostHeader);
} // namespace PublicNames
