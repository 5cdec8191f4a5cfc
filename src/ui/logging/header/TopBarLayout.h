#pragma once

#include "ui/logging/header/WrappingLayout.h"

struct TopBarPlan;

// The header's top bar: the first item is the brand block, the rest are its controls in order.
// Every item gets its natural size; a bar too narrow for one line wraps its controls (the rule is
// `TopBarPlan`), so the bar's height follows its width.
class TopBarLayout : public WrappingLayout {
public:
    explicit TopBarLayout(int spacing);

    [[nodiscard]] int heightForWidth(int width) const override;
    [[nodiscard]] QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    // The plan for `width`, and the items it places (hidden ones take no room).
    [[nodiscard]] TopBarPlan plan(double width, QList<QLayoutItem*>* placed = nullptr) const;
};
