#pragma once

#include <QtGlobal>

#include <algorithm>
#include <vector>

// Rows of a list with some of them left out, the left-out ones as a sorted list of their rows in
// the whole list: a kept row's place in the whole list, found by binary search.
namespace SkippedRows {

// How many left-out rows stand before `row` of the whole list.
[[nodiscard]] inline qsizetype before(const std::vector<qsizetype>& skipped, qsizetype row)
{
    return std::lower_bound(skipped.cbegin(), skipped.cend(), row) - skipped.cbegin();
}

// The row of the whole list that is kept row `kept`.
[[nodiscard]] inline qsizetype wholeRow(const std::vector<qsizetype>& skipped, qsizetype kept)
{
    // Left-out row j has (skipped[j] - j) kept rows before it, which never decreases with j: the
    // kept row is past exactly the left-out rows with no more kept rows before them.
    qsizetype low = 0;
    qsizetype high = qsizetype(skipped.size());
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (skipped[size_t(middle)] - middle <= kept)
            low = middle + 1;
        else
            high = middle;
    }
    return kept + low;
}

} // namespace SkippedRows
