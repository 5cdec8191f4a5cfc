#include "ui/logging/header/TimecodePanel.h"

#include "ui/logging/header/HeaderPillButton.h"
#include "ui/logging/header/TimecodeRowLayout.h"
#include "ui/theme/AccessibleParts.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/FrameClock.h"
#include "ui/theme/LinkButton.h"
#include "ui/theme/LoggerSpinner.h"
#include "ui/theme/PlainLabel.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

// A menu row's text as written: a single "&" would mark a mnemonic.
QString menuText(QString text)
{
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// A message that stands on one line while it has the room, and wraps when the header is
// narrower than it.
class WrappingLine final : public QLabel {
public:
    explicit WrappingLine(QWidget* parent) : QLabel(parent) { setWordWrap(true); }

    [[nodiscard]] QSize sizeHint() const override
    {
        const QMargins margins = contentsMargins();
        const int line = int(std::ceil(QFontMetricsF(font()).horizontalAdvance(text())));
        return {line + margins.left() + margins.right(), heightForWidth(line + margins.left() + margins.right())};
    }
};

} // namespace

// The running camera timecode. The text changes once per camera frame, so each character is
// copied from a strip of the twelve glyphs a timecode uses, rendered once per colour and pixel
// ratio: a frame costs no text layout and paints no allocation.
class TimecodePanel::Digits final : public QWidget {
public:
    Digits(TimecodePanelModel& model, FrameClock& frames, QWidget* parent)
        : QWidget(parent), m_model(model), m_font(TextStyle::liveTimecode.font()),
          m_animation(frames.add([this](double) { return tick(); }))
    {
        AccessibleParts::paintedText(this, QAccessible::StaticText, [this] { return text(); });
        setAccessibleName(QStringLiteral("Timecode"));
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        measure();
        readDigits(m_model.now());
    }

    void setSynced(bool synced)
    {
        if (m_synced == synced)
            return;
        m_synced = synced;
        update();
    }

    // The clock published: a new format or offset can change the text under the same frame.
    void reread()
    {
        m_frame = std::numeric_limits<double>::quiet_NaN();
        tick();
    }

    [[nodiscard]] QString text() const { return QString(reinterpret_cast<const QChar*>(m_chars.data()), m_length); }
    [[nodiscard]] QColor colour() const { return m_synced ? Theme::ink.current() : Theme::muted.current(); }
    [[nodiscard]] bool isTicking() const { return m_animation.isRunning(); }
    [[nodiscard]] QSize sizeHint() const override { return m_size; }
    [[nodiscard]] QSize minimumSizeHint() const override { return m_size; }

protected:
    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        m_animation.start();
        reread();
    }

    void hideEvent(QHideEvent* event) override
    {
        m_animation.stop();
        QWidget::hideEvent(event);
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        // The device's own scale: a grab or render at another density gets a strip of its own.
        const qreal ratio = std::max<qreal>(painter.deviceTransform().m11(), 1);
        prepareStrip(colour(), ratio);
        const qreal top = std::round((height() - m_lineHeight) / 2);
        qreal x = 0;
        for (int i = 0; i < m_length; ++i) {
            const int glyph = glyphIndex(m_chars[static_cast<std::size_t>(i)]);
            if (glyph < 0)
                continue;
            const auto g = static_cast<std::size_t>(glyph);
            painter.drawPixmap(QRectF(x, top, m_cell[g], m_lineHeight), m_strip,
                               QRectF(m_offset[g] * ratio, 0, m_cell[g] * ratio, m_lineHeight * ratio));
            x += m_cell[g];
        }
    }

private:
    static constexpr std::size_t kCapacity = 16;
    static constexpr std::array<char16_t, 12> kGlyphs{u'0', u'1', u'2', u'3', u'4', u'5',
                                                      u'6', u'7', u'8', u'9', u':', u';'};
    static constexpr std::size_t kFirstSeparator = 10;
    // "HH:MM:SS:FF": eight digits and three separators.
    static constexpr int kDigits = 8;
    static constexpr int kSeparators = 3;

    static int glyphIndex(char16_t c)
    {
        if (c >= u'0' && c <= u'9')
            return c - u'0';
        if (c == u':')
            return 10;
        if (c == u';')
            return 11;
        return -1;
    }

    // Whole-pixel cells, every digit as wide as the widest and every separator as the widest
    // separator, so the row never shifts as the digits run.
    void measure()
    {
        const QFontMetricsF metrics(m_font);
        qreal digit = 0;
        qreal separator = 0;
        for (std::size_t i = 0; i < kGlyphs.size(); ++i) {
            qreal& widest = i < kFirstSeparator ? digit : separator;
            widest = std::max(widest, std::ceil(metrics.horizontalAdvance(QChar(kGlyphs[i]))));
        }
        qreal offset = 0;
        for (std::size_t i = 0; i < kGlyphs.size(); ++i) {
            m_cell[i] = i < kFirstSeparator ? digit : separator;
            m_offset[i] = offset;
            offset += m_cell[i];
        }
        m_stripWidth = offset;
        m_lineHeight = std::ceil(metrics.height());
        m_ascent = metrics.ascent();
        m_size = QSize(static_cast<int>(kDigits * digit + kSeparators * separator), static_cast<int>(m_lineHeight));
    }

    void prepareStrip(const QColor& colour, qreal ratio)
    {
        if (!m_strip.isNull() && m_stripColour == colour.rgba() && m_stripRatio == ratio)
            return;
        m_stripColour = colour.rgba();
        m_stripRatio = ratio;
        m_strip = QPixmap(QSize(static_cast<int>(std::ceil(m_stripWidth * ratio)),
                                static_cast<int>(std::ceil(m_lineHeight * ratio))));
        m_strip.setDevicePixelRatio(ratio);
        m_strip.fill(Qt::transparent);
        QPainter painter(&m_strip);
        painter.setFont(m_font);
        painter.setPen(colour);
        const QFontMetricsF metrics(m_font);
        for (std::size_t i = 0; i < kGlyphs.size(); ++i) {
            const QChar glyph(kGlyphs[i]);
            const qreal inset = (m_cell[i] - metrics.horizontalAdvance(glyph)) / 2;
            painter.drawText(QPointF(m_offset[i] + inset, m_ascent), QString(glyph));
        }
    }

    bool tick()
    {
        // One moment for both reads: the count and the text must name the same frame.
        const Date now = m_model.now();
        const double frame = m_model.frameAt(now);
        if (frame != m_frame) {
            m_frame = frame;
            readDigits(now);
            update();
            tellTools();
        }
        return true;
    }

    // Assistive tools read the digits when they like; they hear of them once a second, when all
    // but the frames changed, as a clock announced every frame would drown everything else.
    void tellTools()
    {
        if (!QAccessible::isActive())
            return;
        const auto shown = static_cast<std::ptrdiff_t>(std::max(m_length - 2, 0));
        if (m_toldLength == m_length && std::equal(m_chars.begin(), m_chars.begin() + shown, m_told.begin()))
            return;
        m_told = m_chars;
        m_toldLength = m_length;
        AccessibleParts::textChanged(this);
    }

    void readDigits(Date now)
    {
        const QString text = m_model.timecodeAt(now);
        m_length = static_cast<int>(std::min<qsizetype>(text.size(), kCapacity));
        std::copy_n(text.utf16(), m_length, m_chars.begin());
    }

    TimecodePanelModel& m_model;
    const QFont m_font;
    FrameClock::Animation m_animation;
    bool m_synced = false;
    double m_frame = std::numeric_limits<double>::quiet_NaN();
    std::array<char16_t, kCapacity> m_chars{};
    int m_length = 0;
    std::array<char16_t, kCapacity> m_told{};
    int m_toldLength = -1;

    std::array<qreal, kGlyphs.size()> m_cell{};
    std::array<qreal, kGlyphs.size()> m_offset{};
    qreal m_stripWidth = 0;
    qreal m_lineHeight = 0;
    qreal m_ascent = 0;
    QSize m_size;
    QPixmap m_strip;
    QRgb m_stripColour = 0;
    qreal m_stripRatio = 0;
};

TimecodePanel::TimecodePanel(TimecodePanelModel& model, QWidget* parent, FrameClock* frames)
    : QWidget(parent), m_model(model)
{
    FrameClock& clock = frames ? *frames : FrameClock::shared();
    m_digits = new Digits(m_model, clock, this);
    m_frameRatePill = makePill(QString::fromUtf8(kFrameRateHelp));
    m_syncPill = makePill(QString::fromUtf8(kSyncHelp));
    buildMenus();

    auto* source = new QWidget(this);
    m_sourceLabel = plainLabel(m_style.sourceLine, {}, source);
    m_formatLabel = plainLabel(m_style.formatLine, {}, source);
    auto* sourceLines = new QVBoxLayout(source);
    sourceLines->setContentsMargins(0, 0, 0, 0);
    sourceLines->setSpacing(m_style.sourceSpacing);
    sourceLines->addWidget(m_sourceLabel);
    sourceLines->addWidget(m_formatLabel);

    buildScanRow(frames);

    // One line while it fits; a narrow header takes the source block, then the scan row, under
    // the digits rather than cut them. The scan row stands at the right, after the free space.
    const QList<QWidget*> items{m_digits, m_frameRatePill, m_syncPill, source, m_scanRow};
    auto* row = new TimecodeRowLayout(m_style.spacing, m_style.lineSpacing, int(items.indexOf(m_scanRow)));
    setLayout(row);
    for (QWidget* item : items)
        row->addWidget(item);

    follow();
    connect(&m_model, &TimecodePanelModel::stateChanged, this, &TimecodePanel::follow);
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &TimecodePanel::restyle);
}

TimecodePanel::~TimecodePanel() = default;

HeaderPillButton* TimecodePanel::makePill(const QString& help)
{
    auto* pill = new HeaderPillButton(this);
    pill->setHelp(help);
    pill->setTitleHelp(true);
    return pill;
}

QString TimecodePanel::shownTimecode() const
{
    return m_digits->text();
}

QColor TimecodePanel::timecodeColour() const
{
    return m_digits->colour();
}

bool TimecodePanel::isTicking() const
{
    return m_digits->isTicking();
}

void TimecodePanel::buildMenus()
{
    // Each menu is its pill's child and goes with it.
    m_frameRateMenu = new QMenu(m_frameRatePill);
    m_frameRateMenu->setAccessibleName(QStringLiteral("Frame rate"));
    m_frameRateActions = addFrameRateRows(m_frameRateMenu);
    m_frameRatePill->setMenu(m_frameRateMenu);

    m_syncMenu = new QMenu(m_syncPill);
    m_syncPill->setMenu(m_syncMenu);
    QAction* scan = m_syncMenu->addAction(menuText(QStringLiteral("Scan camera with your phone")));
    connect(scan, &QAction::triggered, &m_model, &TimecodePanelModel::startScan);
    QAction* type = m_syncMenu->addAction(menuText(QStringLiteral("Type the camera's timecode…")));
    connect(type, &QAction::triggered, &m_model, &TimecodePanelModel::beginTypedTimecode);
    m_syncMenu->addSeparator();
    QMenu* rates = m_syncMenu->addMenu(menuText(QStringLiteral("Frame rate")));
    m_syncFrameRateActions = addFrameRateRows(rates);
    m_macClockSeparator = m_syncMenu->addSeparator();
    m_macClockAction = m_syncMenu->addAction(menuText(QStringLiteral("Go back to the computer clock")));
    connect(m_macClockAction, &QAction::triggered, &m_model, &TimecodePanelModel::useMacClock);
}

QList<QAction*> TimecodePanel::addFrameRateRows(QMenu* menu)
{
    QList<QAction*> actions;
    const QList<FrameRateRow>& rows = TimecodePanelModel::frameRateRows();
    for (int i = 0; i < rows.size(); ++i) {
        QAction* action = menu->addAction(menuText(rows.at(i).label));
        action->setCheckable(true);
        // Choosing the ticked row again would untick it: the ticks always come back from the clock.
        connect(action, &QAction::triggered, this, [this, i] {
            m_model.chooseFrameRate(i);
            follow();
        });
        actions.append(action);
    }
    return actions;
}

void TimecodePanel::buildScanRow(FrameClock* frames)
{
    m_scanRow = new QWidget(this);
    m_scanSpinner = new LoggerSpinner(m_scanRow, frames);
    // A failure's message may be longer than a narrow header is wide.
    m_scanLabel = new WrappingLine(m_scanRow);
    m_scanLabel->setTextFormat(Qt::PlainText);
    m_scanLabel->setFont(m_style.scanText.font());
    m_scanCancel = new LinkButton(QStringLiteral("Cancel"), m_scanRow);
    m_scanRetry = new LinkButton(QStringLiteral("Try again"), m_scanRow);
    connect(m_scanCancel, &QAbstractButton::clicked, &m_model, &TimecodePanelModel::cancelScan);
    connect(m_scanRetry, &QAbstractButton::clicked, &m_model, &TimecodePanelModel::startScan);
    auto* row = new QHBoxLayout(m_scanRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(m_style.scanSpacing);
    row->addWidget(m_scanSpinner, 0, Qt::AlignVCenter);
    row->addWidget(m_scanLabel, 0, Qt::AlignVCenter);
    row->addWidget(m_scanCancel, 0, Qt::AlignVCenter);
    row->addWidget(m_scanRetry, 0, Qt::AlignVCenter);
}

void TimecodePanel::follow()
{
    const TimecodePanelState& state = m_model.state();
    m_digits->setSynced(state.synced);
    m_digits->reread();
    m_frameRatePill->setContent(QStringLiteral("film"), state.formatLabel);
    m_frameRatePill->setCompact(state.compact);
    m_syncPill->setContent(QStringLiteral("camera.viewfinder"), state.syncPillTitle);
    m_syncPill->setActive(state.syncPillActive);
    m_syncPill->setCompact(state.compact);
    for (const QList<QAction*>* actions : {&m_frameRateActions, &m_syncFrameRateActions}) {
        for (int i = 0; i < actions->size(); ++i)
            actions->at(i)->setChecked(state.formatRow == i);
    }
    m_macClockSeparator->setVisible(state.synced);
    m_macClockAction->setVisible(state.synced);
    m_sourceLabel->setText(state.sourceLine);
    m_formatLabel->setText(state.formatLabel);

    const bool waiting = state.scan.kind == ScanRowState::Kind::Waiting;
    m_scanLabel->setText(state.scan.text);
    m_scanSpinner->setVisible(waiting);
    m_scanCancel->setVisible(waiting);
    m_scanRetry->setVisible(state.scan.kind == ScanRowState::Kind::Failed);
    m_scanRow->setVisible(state.scan.kind != ScanRowState::Kind::Hidden);
    restyle();
}

void TimecodePanel::restyle()
{
    const TimecodePanelState& state = m_model.state();
    setPaletteColour(m_sourceLabel, QPalette::WindowText, state.synced ? Theme::green : Theme::amber);
    setPaletteColour(m_formatLabel, QPalette::WindowText, Theme::muted.current());
    const bool failed = state.scan.kind == ScanRowState::Kind::Failed;
    setPaletteColour(m_scanLabel, QPalette::WindowText, failed ? Theme::coral : Theme::ink.current());
    m_digits->update();
    m_frameRatePill->update();
    m_syncPill->update();
}
