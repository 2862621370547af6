#pragma once

#include <QString>

// Passphrases made of common words: easy to read out and to type on a phone. Four words from a
// list of 176 give about 30 bits; the router's lock-out makes guessing them hopeless.
namespace Passphrase {

inline constexpr int words = 4;

QString generate();

} // namespace Passphrase
