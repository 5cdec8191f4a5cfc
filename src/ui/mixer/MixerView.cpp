#include "ui/mixer/MixerView.h"

#include "ui/mixer/AgentPinBand.h"
#include "ui/mixer/ChannelStrip.h"
#include "ui/mixer/CompactChannelRow.h"
#include "ui/mixer/MixerFader.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/TextStyle.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Transition.h"
#include "ui/theme/WidgetPalette.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int kHeaderSpacing = 6;
constexpr int kScanLineSpacing = 8;
constexpr int kStripBottomPad = 2;
const TextStyle kChevron = TextStyle::system(9, QFont::Bold);
const TextStyle kCount = TextStyle::bundled("DMSans-Regular", 10);

QScrollArea* scrollArea(Qt::Orientation orientation, QWidget* content, QScrollArea* area = nullptr)
{
    if (!area)
        area = new QScrollArea;
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(content);
    area->setWidgetResizable(orientation == Qt::Vertical);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(orientation == Qt::Vertical ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    area->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    return area;
}

// Makes or drops widgets at the end so there is one per channel; the rest keep their identity.
template <class Widget, class Make> void fitCount(std::vector<Widget*>& widgets, int count, Make make)
{
    while (static_cast<int>(widgets.size()) > count) {
        Widget* last = widgets.back();
        widgets.pop_back();
        // A click on it may be what changed the channels: it goes once that returns.
        last->hide();
        last->deleteLater();
    }
    while (static_cast<int>(widgets.size()) < count)
        widgets.push_back(make());
}

} // namespace

// A pane of the band that asks for its content's whole height and, in a short column, settles
// for less down to a least height and scrolls up and down.
class MixerView::BandScroll final : public QScrollArea {
public:
    void setHeights(int wanted, int least)
    {
        if (wanted == m_wanted && least == m_least)
            return;
        m_wanted = wanted;
        m_least = least;
        setMinimumHeight(least);
        setMaximumHeight(wanted);
        updateGeometry();
    }
    [[nodiscard]] QSize sizeHint() const override { return {QScrollArea::sizeHint().width(), m_wanted}; }
    [[nodiscard]] QSize minimumSizeHint() const override { return {0, m_least}; }

private:
    int m_wanted = 0;
    int m_least = 0;
};

MixerHeaderButton::MixerHeaderButton(FrameClock& frames, QWidget* parent)
    : QAbstractButton(parent), m_turning(frames.add([this](double seconds) {
          m_turn.step(seconds);
          update();
          return !m_turn.isSettled();
      }))
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void MixerHeaderButton::setState(const MixerModel::Header& header)
{
    const double angle = header.open ? 90 : 0;
    if (!m_shown) {
        m_turn = Spring(kTurn, angle);
        m_shown = true;
    } else if (angle != m_turn.target()) {
        m_turn.setTarget(angle);
        m_turning.start();
    }
    // Tools hear of a new name or description (Qt tells them) only when it changed.
    if (header.name != accessibleName())
        setAccessibleName(header.name);
    if (header.description != accessibleDescription())
        setAccessibleDescription(header.description);
    if (header.count != m_count) {
        m_count = header.count;
        setText(MixerModel::kCaption + QLatin1Char(' ') + m_count);
        updateGeometry();
    }
    update();
}

QSize MixerHeaderButton::sizeHint() const
{
    const qreal line =
        std::max(QFontMetricsF(TextStyle::caption.font()).height(), QFontMetricsF(kCount.font()).height());
    const qreal width = Symbols::side(kChevron) + kHeaderSpacing +
                        QFontMetricsF(TextStyle::caption.font()).horizontalAdvance(MixerModel::kCaption) +
                        kHeaderSpacing + QFontMetricsF(kCount.font()).horizontalAdvance(m_count);
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(line))};
}

void MixerHeaderButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor muted = Theme::muted.resolve(AppearanceNotifier::shared().appearance());
    const qreal side = Symbols::side(kChevron);
    const qreal midY = height() / 2.0;

    painter.save();
    painter.translate(side / 2, midY);
    painter.rotate(m_turn.value());
    Symbols::paint(painter, QRectF(-side / 2, -side / 2, side, side), QStringLiteral("chevron.right"), kChevron, muted);
    painter.restore();

    qreal x = side + kHeaderSpacing;
    painter.setPen(muted);
    QFont caption = TextStyle::caption.font();
    painter.setFont(caption);
    const qreal captionWidth = QFontMetricsF(caption).horizontalAdvance(MixerModel::kCaption);
    painter.drawText(QRectF(x, 0, captionWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, MixerModel::kCaption);
    x += captionWidth + kHeaderSpacing;
    painter.setFont(kCount.font());
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, m_count);
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        painter.setPen(QPen(Theme::coral, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    }
}

MixerView::MixerView(MixerModel& mixer, QWidget* parent, FrameClock* frames)
    : QWidget(parent), m_mixer(mixer), m_frames(frames ? *frames : FrameClock::shared()), m_motion(m_frames)
{
    setObjectName(QStringLiteral("mixer"));
    build();
    connect(&mixer, &MixerModel::changed, this, &MixerView::sync);
    connect(&mixer, &MixerModel::levelsChanged, this, &MixerView::showLevels);
    connect(m_header, &QAbstractButton::clicked, &mixer, &MixerModel::toggleOpen);
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &MixerView::sync);
    sync();
}

MixerView::~MixerView() = default;

void MixerView::build()
{
    auto* body = new QVBoxLayout(this);
    body->setContentsMargins(kMargins);
    body->setSpacing(kSpacing);

    m_header = new MixerHeaderButton(m_frames);
    body->addWidget(m_header);

    m_scanLine = new QWidget;
    auto* scan = new QHBoxLayout(m_scanLine);
    scan->setContentsMargins(0, 0, 0, 0);
    scan->setSpacing(kScanLineSpacing);
    m_progress = new QProgressBar;
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_progress->setFixedWidth(kProgressWidth);
    m_progress->setMaximumHeight(6);
    m_progress->setAccessibleName(QStringLiteral("Channel scan progress"));
    scan->addWidget(m_progress);
    m_scanText = new QLabel(QStringLiteral("Scanning channels: listening to each one"));
    m_scanText->setFont(TextStyle::note.font());
    scan->addWidget(m_scanText);
    scan->addStretch(1);
    body->addWidget(m_scanLine);

    m_stripsPage = new QWidget;
    auto* strips = new QVBoxLayout(m_stripsPage);
    strips->setContentsMargins(0, 0, 0, 0);
    strips->setSpacing(kSpacing);
    m_pinBand = new AgentPinBand(m_mixer, m_frames);
    strips->addWidget(m_pinBand);
    m_stripRow = new QWidget;
    m_stripScroll = new BandScroll;
    scrollArea(Qt::Horizontal, m_stripRow, m_stripScroll);
    // Sideways without indicators; up and down, with one, when the column is too short.
    m_stripScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    strips->addWidget(m_stripScroll);
    body->addWidget(m_stripsPage);

    m_grid = new QWidget;
    m_grid->installEventFilter(this);
    m_gridScroll = new BandScroll;
    scrollArea(Qt::Vertical, m_grid, m_gridScroll);
    body->addWidget(m_gridScroll);

    m_collapsedRow = new QWidget;
    m_collapsedScroll = scrollArea(Qt::Horizontal, m_collapsedRow);
    body->addWidget(m_collapsedScroll);

    m_scanFade = new Transition(this, m_frames, motion::kDefault);
    connect(m_scanFade, &Transition::stepped, this, &MixerView::showScanLineStep);
    m_stripsIn = new Transition(this, m_frames, MixerHeaderButton::kTurn, true);
    connect(m_stripsIn, &Transition::stepped, this, &MixerView::showStripsStep);
    connect(m_stripsIn, &Transition::finished, this, [this] {
        if (m_shown != MixerModel::Layout::Strips)
            m_stripsPage->hide();
    });
}

void MixerView::showScanLineStep()
{
    // A small widget, faded only while it comes or goes.
    if (m_scanFade->isMoving()) {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_scanLine->graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect;
            m_scanLine->setGraphicsEffect(effect);
        }
        effect->setOpacity(m_scanFade->opacity());
        return;
    }
    m_scanLine->setGraphicsEffect(nullptr);
    m_scanLine->setVisible(m_scanFade->isShown());
}

void MixerView::showStripsStep()
{
    // The strips come down from the top edge of their scroll view as they fade in.
    const double progress = m_stripsIn->progress();
    for (ChannelStrip* strip : m_strips)
        strip->setBandOpacity(m_stripsIn->opacity());
    m_stripRow->move(m_stripRow->x(), -static_cast<int>(std::lround((1 - progress) * m_stripRow->height())));
}

void MixerView::wire(ChannelControl* control)
{
    MixerModel& mixer = m_mixer;
    connect(control, &ChannelControl::renameClicked, this, [&mixer, control] { mixer.rename(control->index()); });
    connect(control, &ChannelControl::muteClicked, this, [&mixer, control] { mixer.toggleMute(control->index()); });
    connect(control, &ChannelControl::watchClicked, this, [&mixer, control] { mixer.toggleWatch(control->index()); });
    connect(control, &ChannelControl::listenClicked, this, [&mixer, control] { mixer.toggleListen(control->index()); });
    connect(control, &ChannelControl::agentClicked, this, [&mixer, control] { mixer.toggleAgent(control->index()); });
    connect(control, &ChannelControl::faderMoved, this,
            [&mixer, control](double value) { mixer.moveFader(control->index(), value); });
    connect(control, &ChannelControl::faderReleased, this, [&mixer, control] { mixer.finishFader(control->index()); });
}

void MixerView::sync()
{
    const MixerModel::Layout layout = m_mixer.layout();
    const bool stripsCome = m_synced && layout == MixerModel::Layout::Strips && m_shown != layout;
    const bool stripsGo = m_synced && m_shown == MixerModel::Layout::Strips && layout != m_shown;
    m_shown = layout;
    m_header->setState(m_mixer.header());
    setPaletteColour(m_scanText, QPalette::WindowText, Theme::muted.resolve(AppearanceNotifier::shared().appearance()));
    if (m_mixer.showsScanLine())
        m_scanLine->show();
    m_scanFade->setShown(m_mixer.showsScanLine());
    if (!m_scanFade->isMoving())
        showScanLineStep();
    m_progress->setValue(static_cast<int>(std::lround(std::clamp(m_mixer.scanProgress(), 0.0, 1.0) * 1000)));

    // The strips leave as they came, fading and going up to the top edge; the page goes with them.
    if (stripsGo)
        m_stripsIn->setShown(false);
    const bool stripsLeaving = layout != MixerModel::Layout::Strips && m_stripsIn->isMoving() && !m_stripsIn->isShown();
    m_stripsPage->setVisible(layout == MixerModel::Layout::Strips || stripsLeaving);
    m_gridScroll->setVisible(layout == MixerModel::Layout::Compact);
    m_collapsedScroll->setVisible(layout == MixerModel::Layout::Collapsed);
    m_pinBand->setVisible(m_mixer.showsPinBand());
    switch (layout) {
    case MixerModel::Layout::Strips:
        syncStrips();
        break;
    case MixerModel::Layout::Compact:
        syncRows();
        break;
    case MixerModel::Layout::Collapsed:
        syncCollapsed();
        break;
    }
    if (stripsCome)
        m_stripsIn->restart(true);
    m_synced = true;
    showLevels();
}

void MixerView::syncStrips()
{
    const int count = m_mixer.channelCount();
    fitCount(m_strips, count, [this] {
        auto* strip = new ChannelStrip(m_motion, m_frames, m_stripRow);
        wire(strip);
        return strip;
    });
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    int x = 0;
    for (int position = 0; position < count; ++position) {
        ChannelStrip* strip = m_strips[static_cast<std::size_t>(position)];
        const MixerModel::Channel channel = m_mixer.channel(position);
        strip->setChannel(channel, channelColor(appearance, channel.config.index));
        strip->move(x, 0);
        strip->show();
        x += strip->width() + kStripSpacing;
    }
    const int height = m_strips.empty() ? 0 : m_strips.front()->height();
    m_stripRow->setFixedSize(std::max(0, x - kStripSpacing), height + kStripBottomPad);
    const int wanted = height + kStripBottomPad;
    m_stripScroll->setHeights(wanted, std::min(wanted, kLeastPaneHeight));
}

void MixerView::syncRows()
{
    const int count = m_mixer.channelCount();
    const int before = static_cast<int>(m_rows.size());
    fitCount(m_rows, count, [this] {
        auto* row = new CompactChannelRow(m_motion, m_frames, m_grid);
        wire(row);
        return row;
    });
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    for (int position = 0; position < count; ++position) {
        CompactChannelRow* row = m_rows[static_cast<std::size_t>(position)];
        const MixerModel::Channel channel = m_mixer.channel(position);
        row->setChannel(channel, channelColor(appearance, channel.config.index));
        row->show();
    }
    if (count != before)
        placeGrid();
}

void MixerView::placeGrid()
{
    if (m_rows.empty())
        return;
    const int width = m_grid->width();
    int widest = 0;
    int rowHeight = 0;
    for (const CompactChannelRow* row : m_rows) {
        const QSize least = row->minimumSizeHint();
        widest = std::max(widest, least.width());
        rowHeight = std::max(rowHeight, row->sizeHint().height());
    }
    // Two columns while two rows fit side by side; else one, so no row is cut.
    m_gridColumns = width >= 2 * widest + kGridColumnSpacing ? 2 : 1;
    const int columnWidth = m_gridColumns == 2 ? (width - kGridColumnSpacing) / 2 : width;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const int column = static_cast<int>(i) % m_gridColumns;
        const int line = static_cast<int>(i) / m_gridColumns;
        m_rows[i]->setGeometry(column * (columnWidth + kGridColumnSpacing), line * (rowHeight + kGridRowSpacing),
                               columnWidth, rowHeight);
    }
    const int lines = (static_cast<int>(m_rows.size()) + m_gridColumns - 1) / m_gridColumns;
    const int height = lines * rowHeight + (lines - 1) * kGridRowSpacing;
    m_grid->setMinimumHeight(height);
    const int wanted = std::min(height, kGridMaximumHeight);
    m_gridScroll->setHeights(wanted, std::min(wanted, kLeastPaneHeight));
}

void MixerView::syncCollapsed()
{
    const int count = m_mixer.channelCount();
    fitCount(m_collapsed, count, [this] { return new CollapsedChannel(m_motion, m_collapsedRow); });
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    int x = 0;
    int height = 0;
    for (int position = 0; position < count; ++position) {
        CollapsedChannel* column = m_collapsed[static_cast<std::size_t>(position)];
        const ChannelConfig config = m_mixer.channel(position).config;
        column->setChannel(config, channelColor(appearance, config.index));
        column->move(x, 0);
        column->show();
        x += column->width() + kCollapsedSpacing;
        height = column->height();
    }
    m_collapsedRow->setFixedSize(std::max(0, x - kCollapsedSpacing), height);
    m_collapsedScroll->setFixedHeight(height);
}

void MixerView::showLevels()
{
    switch (m_shown) {
    case MixerModel::Layout::Strips:
        for (ChannelStrip* strip : m_strips)
            strip->meter()->setLevel(m_mixer.level(strip->index()));
        break;
    case MixerModel::Layout::Compact:
        for (CompactChannelRow* row : m_rows)
            row->meter()->setLevel(m_mixer.level(row->index()));
        break;
    case MixerModel::Layout::Collapsed:
        for (CollapsedChannel* column : m_collapsed)
            column->meter()->setLevel(m_mixer.collapsedLevel(column->config()));
        break;
    }
}

bool MixerView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_grid && event->type() == QEvent::Resize)
        placeGrid();
    return QWidget::eventFilter(watched, event);
}
