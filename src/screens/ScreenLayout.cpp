#include "screens/ScreenLayout.h"

#include <algorithm>
#include <cmath>

ScreenLayout ScreenLayout::of(const Input& input)
{
    ScreenLayout layout;
    const double width = std::isfinite(input.width) ? input.width : 0.0;
    layout.wide = width >= kWideFrom;
    layout.compactHeader = width < kFullHeaderFrom;
    layout.tabs = !layout.wide;
    if (layout.wide) {
        layout.channelColumnWidth = int(std::max(kChannelShare * width, kChannelMinimum));
        layout.logColumn = true;
        layout.logTitle = true;
        layout.chatUnderLog = input.agentEnabled && input.agentPlace == QStringLiteral("log");
        layout.tagBar = input.showTags;
        layout.channelColumn = true;
        layout.mixerBand = input.showMixer && input.hasChannels;
        layout.chatByChannels = input.agentEnabled && input.agentPlace == QStringLiteral("channels");
        layout.transcriptTitle = true;
        layout.chatByChannelsHeight = kChatByChannelsHeight;
        layout.transcriptMinimumHeight = kTranscriptMinimumHeight;
        return layout;
    }
    // Narrow: one tab at a time, with neither section title; each tab shows its panes whatever
    // the wide layout's settings say.
    if (input.tab == 0) {
        layout.logColumn = true;
        layout.tagBar = true;
    } else {
        layout.channelColumn = true;
        layout.mixerBand = input.hasChannels;
        layout.chatByChannels = input.agentEnabled;
    }
    return layout;
}

namespace {

// The controls' lines in `width`, filled in order; a control wider than the width has a line
// of its own.
QList<QList<qsizetype>> wrap(const QList<QSizeF>& items, double width, double spacing)
{
    QList<QList<qsizetype>> lines;
    double used = 0;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const double item = items[i].width();
        if (lines.isEmpty() || used + spacing + item > width) {
            lines.append(QList<qsizetype>{i});
            used = item;
        } else {
            lines.last().append(i);
            used += spacing + item;
        }
    }
    return lines;
}

double linesHeight(const QList<QList<qsizetype>>& lines, const QList<QSizeF>& items, double spacing)
{
    double height = 0;
    for (const QList<qsizetype>& line : lines) {
        double tallest = 0;
        for (const qsizetype i : line)
            tallest = std::max(tallest, items[i].height());
        height += tallest;
    }
    return lines.isEmpty() ? 0 : height + spacing * double(lines.size() - 1);
}

bool fitsEach(const QList<QSizeF>& items, double width)
{
    return std::all_of(items.cbegin(), items.cend(), [width](const QSizeF& item) { return item.width() <= width; });
}

} // namespace

TopBarPlan TopBarPlan::of(const Input& input)
{
    const double width = std::isfinite(input.width) ? std::max(0.0, input.width) : 0.0;
    const double spacing = std::isfinite(input.spacing) ? std::max(0.0, input.spacing) : 0.0;
    const QList<QSizeF>& items = input.controls;
    TopBarPlan plan;
    plan.brand = QRectF(QPointF(0, 0), input.brand);

    const double besideWidth = width - input.brand.width() - spacing;
    QList<QList<qsizetype>> lines = wrap(items, besideWidth, spacing);
    double top = 0;
    const bool beside = fitsEach(items, besideWidth) &&
                        (lines.size() <= 1 || linesHeight(lines, items, spacing) <= input.brand.height());
    if (!beside) {
        lines = wrap(items, width, spacing);
        top = items.isEmpty() ? 0 : input.brand.height() + spacing;
        plan.underBrand = !items.isEmpty();
    }

    plan.controls.resize(items.size());
    for (const QList<qsizetype>& line : std::as_const(lines)) {
        double right = width;
        double tallest = 0;
        for (auto i = line.crbegin(); i != line.crend(); ++i) {
            const QSizeF& item = items[*i];
            right -= item.width();
            plan.controls[*i] = QRectF(QPointF(right, top), item);
            right -= spacing;
            tallest = std::max(tallest, item.height());
        }
        top += tallest + spacing;
    }
    plan.lines = int(lines.size());
    plan.height = std::max(input.brand.height(), lines.isEmpty() ? 0.0 : top - spacing);
    return plan;
}

double TimecodeRowPlan::itemWidth(double item, double width)
{
    const double room = std::isfinite(width) ? std::max(0.0, width) : 0.0;
    return std::min(std::isfinite(item) ? std::max(0.0, item) : 0.0, room);
}

TimecodeRowPlan TimecodeRowPlan::of(const Input& input)
{
    const double width = std::isfinite(input.width) ? std::max(0.0, input.width) : 0.0;
    const double spacing = std::isfinite(input.spacing) ? std::max(0.0, input.spacing) : 0.0;
    const double lineSpacing = std::isfinite(input.lineSpacing) ? std::max(0.0, input.lineSpacing) : 0.0;
    TimecodeRowPlan plan;
    plan.items.resize(input.items.size());

    QList<QSizeF> sizes;
    QList<qsizetype> present;
    for (qsizetype i = 0; i < input.items.size(); ++i) {
        const QSizeF& item = input.items[i];
        if (item.isEmpty())
            continue;
        sizes.append(QSizeF(itemWidth(item.width(), width), std::max(0.0, item.height())));
        present.append(i);
    }
    const QList<QList<qsizetype>> lines = wrap(sizes, width, spacing);

    double top = 0;
    for (const QList<qsizetype>& line : lines) {
        double tallest = 0;
        for (const qsizetype i : line)
            tallest = std::max(tallest, sizes[i].height());
        double left = 0;
        double right = width;
        for (const qsizetype i : line) {
            if (input.trailingFrom < 0 || present[i] < input.trailingFrom) {
                plan.items[present[i]] = QRectF(QPointF(left, top + (tallest - sizes[i].height()) / 2), sizes[i]);
                left += sizes[i].width() + spacing;
            }
        }
        for (auto i = line.crbegin(); i != line.crend(); ++i) {
            if (input.trailingFrom >= 0 && present[*i] >= input.trailingFrom) {
                right -= sizes[*i].width();
                plan.items[present[*i]] = QRectF(QPointF(right, top + (tallest - sizes[*i].height()) / 2), sizes[*i]);
                right -= spacing;
            }
        }
        top += tallest + lineSpacing;
    }
    plan.lines = int(lines.size());
    plan.height = lines.isEmpty() ? 0 : top - lineSpacing;
    return plan;
}
