#pragma once

#include <QString>

namespace standin {

// Unguessable ids from the system's random source: session ids, shoot and share tokens, scans.
[[nodiscard]] QString randomHex(int bytes);
// A sign-in code of `count` decimal digits (leading zeros kept).
[[nodiscard]] QString randomDigits(int count);

} // namespace standin
