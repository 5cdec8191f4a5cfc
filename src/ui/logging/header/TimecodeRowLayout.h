#pragma once

#include "ui/logging/header/WrappingLayout.h"

struct TimecodeRowPlan;

// The timecode panel's row: its items at their natural sizes on one line, the last ones at the
// right edge, wrapped under the digits when the panel is too narrow (the rule is
// `TimecodeRowPlan`), so the panel's height follows its width. A hidden item takes no room.
class TimecodeRowLayout : public WrappingLayout {
public:
    // Items from `trailingFrom` on stand at the right edge of their line.
    TimecodeRowLayout(int spacing, int lineSpacing, int trailingFrom);

    [[nodiscard]] int heightForWidth(int width) const override;
    [[nodiscard]] QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    [[nodiscard]] TimecodeRowPlan plan(int width) const;

    int m_lineSpacing;
    int m_trailingFrom;
};
