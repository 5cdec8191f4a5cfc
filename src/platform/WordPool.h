#pragma once

#include <QString>

// One shared copy of each word a day's transcript repeats. A day holds hundreds of thousands of
// timed words but only thousands of different ones; each kept as a string of its own would cost
// more than its timings. Thread-safe.
namespace WordPool {

// The pool's copy of `word` (equal to it), taken into the pool when new. Long words and words
// past the pool's size are given back as they are.
[[nodiscard]] QString intern(const QString& word);

// The pool's copy of `word`, taken into the pool when new; it stays where it is, unchanged, for
// as long as the program runs. Null for the empty word, long words and words past the pool's size.
[[nodiscard]] const QString* keep(const QString& word);

} // namespace WordPool
