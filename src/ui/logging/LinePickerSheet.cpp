#include "ui/logging/LinePickerSheet.h"

#include "export/MarkerBadge.h"
#include "ui/theme/AccessibleParts.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Capsule.h"
#include "ui/theme/PlainLabel.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextLayout>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString kTicked = QStringLiteral("checkmark.circle.fill");
const QString kUnticked = QStringLiteral("circle");

} // namespace

// What every row draws with, worked out once per dialog.
struct LinePickerSheet::RowLook {
    explicit RowLook(const Style& style)
        : style(style), timecodeFont(style.timecode.font()), speakerFont(style.speaker.font()),
          textFont(style.text.font()), timecodeMetrics(timecodeFont), speakerMetrics(speakerFont),
          tickSide(Symbols::side(style.tick)), headerHeight(std::max(timecodeMetrics.height(), speakerMetrics.height()))
    {
        for (char16_t digit = u'0'; digit <= u'9'; ++digit)
            digitWidth = std::max(digitWidth, timecodeMetrics.horizontalAdvance(QChar(digit)));
    }

    // DM Sans sets its figures proportionally; a timecode is read digit by digit, so each digit
    // gets a cell as wide as the widest.
    [[nodiscard]] qreal timecodeWidth(const QString& timecode) const
    {
        qreal width = 0;
        for (const QChar c : timecode)
            width += c.isDigit() ? digitWidth : timecodeMetrics.horizontalAdvance(c);
        return width;
    }
    void drawTimecode(QPainter& painter, QPointF baseline, const QString& timecode) const
    {
        qreal x = baseline.x();
        for (const QChar c : timecode) {
            const qreal advance = timecodeMetrics.horizontalAdvance(c);
            const qreal cell = c.isDigit() ? digitWidth : advance;
            painter.drawText(QPointF(x + (cell - advance) / 2, baseline.y()), QString(c));
            x += cell;
        }
    }

    const Style& style;
    QFont timecodeFont;
    QFont speakerFont;
    QFont textFont;
    QFontMetricsF timecodeMetrics;
    QFontMetricsF speakerMetrics;
    qreal tickSide;
    qreal headerHeight;
    qreal digitWidth = 0;
};

// The marker's glyph in the heading.
class LinePickerSheet::Glyph final : public QWidget {
public:
    Glyph(qreal size, QWidget* parent) : QWidget(parent), m_size(size)
    {
        const int side = int(std::ceil(size));
        setFixedSize(side, side);
    }
    void setColour(const QColor& colour)
    {
        if (colour == m_colour)
            return;
        m_colour = colour;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawMarkerGlyph(painter, QRectF(rect()).center(), m_size, m_colour);
    }

private:
    qreal m_size;
    QColor m_colour;
};

// The heading's title, cut with an ellipsis rather than widening the fixed-size sheet.
class LinePickerSheet::Title final : public QLabel {
public:
    using QLabel::QLabel;

    [[nodiscard]] QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, width());
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    }
};

// One line: the tick, the timecode and speaker, and the text wrapped to the row's width. It reads
// as checked while ticked; only the owner's tick set changes that, never the click itself.
class LinePickerSheet::Row final : public QAbstractButton {
public:
    Row(const Line& line, const RowLook& look, QWidget* parent) : QAbstractButton(parent), m_line(line), m_look(look)
    {
        AccessibleParts::ownerTicked(this);
        setCheckable(true);
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
        // QTextLayout breaks lines only at its own separator.
        m_text = line.text;
        m_text.replace(u'\n', QChar::LineSeparator);
        describe();
    }

    [[nodiscard]] const QString& id() const { return m_line.id; }
    void setTicked(bool ticked)
    {
        if (ticked == isChecked())
            return;
        setChecked(ticked);
        describe();
    }

    [[nodiscard]] bool hasHeightForWidth() const override { return true; }
    [[nodiscard]] int heightForWidth(int width) const override
    {
        const Style& style = m_look.style;
        const qreal text = textLayout(columnWidth(width)).boundingRect().height();
        const qreal content = std::max(m_look.tickSide, m_look.headerHeight + style.textSpacing + text);
        return int(std::ceil(content + 2 * style.rowPadding));
    }
    [[nodiscard]] QSize sizeHint() const override
    {
        const int width = m_look.style.size.width() - 2 * m_look.style.padding;
        return {width, heightForWidth(width)};
    }
    [[nodiscard]] QSize minimumSizeHint() const override
    {
        const Style& style = m_look.style;
        return {int(std::ceil(m_look.tickSide + style.tickSpacing)) + 2 * style.rowPadding,
                int(std::ceil(m_look.tickSide)) + 2 * style.rowPadding};
    }

protected:
    void nextCheckState() override {}

    void paintEvent(QPaintEvent*) override
    {
        const Style& style = m_look.style;
        const Appearance appearance = AppearanceNotifier::shared().appearance();
        const bool ticked = isChecked();
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (isDown())
            painter.setOpacity(style.pressedOpacity);

        const bool ring = hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange);
        const QColor fill =
            ticked ? Theme::withOpacity(Theme::coral, style.tickedOpacity) : Theme::surface.resolve(appearance);
        paintControlShape(painter, QRectF(rect()), style.rowCornerRadius, ring ? style.focusRingWidth : 0,
                          {fill, ring ? Theme::coral : QColor(), QColor()});

        const qreal pad = style.rowPadding;
        Symbols::paint(painter, QRectF(pad, pad, m_look.tickSide, m_look.tickSide), ticked ? kTicked : kUnticked,
                       style.tick, ticked ? Theme::coral : Theme::muted.resolve(appearance));

        const qreal x = pad + m_look.tickSide + style.tickSpacing;
        const qreal column = columnWidth(width());
        const QFontMetricsF& tc = m_look.timecodeMetrics;
        painter.setFont(m_look.timecodeFont);
        painter.setPen(Theme::muted.resolve(appearance));
        m_look.drawTimecode(painter, QPointF(x, pad + (m_look.headerHeight - tc.height()) / 2 + tc.ascent()),
                            m_line.timecode);
        if (m_line.speaker) {
            const QFontMetricsF& name = m_look.speakerMetrics;
            const qreal at = x + m_look.timecodeWidth(m_line.timecode) + style.headerSpacing;
            painter.setFont(m_look.speakerFont);
            painter.setPen(m_line.speakerColour);
            painter.drawText(QPointF(at, pad + (m_look.headerHeight - name.height()) / 2 + name.ascent()),
                             name.elidedText(*m_line.speaker, Qt::ElideRight, std::max<qreal>(x + column - at, 0)));
        }
        painter.setPen(Theme::ink.resolve(appearance));
        textLayout(column).draw(&painter, QPointF(x, pad + m_look.headerHeight + style.textSpacing));
    }

private:
    void describe() { setAccessibleName(isChecked() ? QStringLiteral("Ticked: ") + m_line.text : m_line.text); }

    [[nodiscard]] qreal columnWidth(int width) const
    {
        const Style& style = m_look.style;
        return std::max<qreal>(width - 2 * style.rowPadding - m_look.tickSide - style.tickSpacing, 1);
    }

    // The text broken into lines at `width`, kept for the last width asked.
    const QTextLayout& textLayout(qreal width) const
    {
        if (m_layout && m_layoutWidth == width)
            return *m_layout;
        m_layout = std::make_unique<QTextLayout>(m_text, m_look.textFont);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        m_layout->setTextOption(option);
        m_layout->setCacheEnabled(true);
        m_layout->beginLayout();
        qreal y = 0;
        for (QTextLine line = m_layout->createLine(); line.isValid(); line = m_layout->createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, y));
            y += line.height();
        }
        m_layout->endLayout();
        m_layoutWidth = width;
        return *m_layout;
    }

    Line m_line;
    QString m_text;
    const RowLook& m_look;
    mutable std::unique_ptr<QTextLayout> m_layout;
    mutable qreal m_layoutWidth = -1;
};

LinePickerSheet::LinePickerSheet(QWidget* parent)
    : QDialog(parent), m_look(std::make_unique<RowLook>(m_style)), m_glyph(new Glyph(m_style.glyphSize, this)),
      m_title(new Title(this)), m_count(plainLabel(m_style.count, QString(), this)), m_scroll(new QScrollArea(this)),
      m_list(new QWidget), m_listLayout(new QVBoxLayout(m_list)), m_footer(plainLabel(m_style.footer, kFooter, this)),
      m_keep(new QPushButton(kKeepTitle, this)), m_save(new QPushButton(kSaveTitle, this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setFixedSize(m_style.size);
    setAutoFillBackground(true);

    m_title->setTextFormat(Qt::PlainText);
    m_title->setFont(m_style.title.font());
    m_title->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* heading = new QHBoxLayout;
    heading->setSpacing(m_style.headingSpacing);
    heading->addWidget(m_glyph, 0, Qt::AlignVCenter);
    heading->addWidget(m_title, 0, Qt::AlignVCenter);
    heading->addStretch(1);
    heading->addWidget(m_count, 0, Qt::AlignVCenter);

    m_listLayout->setContentsMargins(0, 0, 0, 0);
    m_listLayout->setSpacing(m_style.rowSpacing);
    m_listLayout->addStretch(1);
    m_list->setAutoFillBackground(false);
    m_scroll->setWidget(m_list);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);

    // Return must never keep: only Save is ever pressed by it.
    m_keep->setAutoDefault(false);
    m_save->setDefault(true);
    m_save->setEnabled(false);
    connect(m_keep, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_save, &QPushButton::clicked, this, &QDialog::accept);
    auto* footer = new QHBoxLayout;
    footer->addWidget(m_footer, 0, Qt::AlignVCenter);
    footer->addStretch(1);
    footer->addWidget(m_keep);
    footer->addWidget(m_save);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(m_style.padding, m_style.padding, m_style.padding, m_style.padding);
    layout->setSpacing(m_style.spacing);
    layout->addLayout(heading);
    layout->addWidget(m_scroll, 1);
    layout->addLayout(footer);

    showTicks();
    restyle();
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &LinePickerSheet::restyle);
}

LinePickerSheet::~LinePickerSheet()
{
    // The rows draw with the look: they go first.
    delete m_scroll;
}

void LinePickerSheet::setContent(const Content& content)
{
    const bool sameLines = content.lines == m_content.lines;
    m_content = content;
    setWindowTitle(content.title);
    setAccessibleName(content.title);
    m_title->setText(content.title);
    m_glyph->setColour(content.colour);
    if (!sameLines)
        rebuildRows();
    showTicks();
}

QString LinePickerSheet::countText() const
{
    return QString::number(m_content.ticked.size()) + QStringLiteral(" ticked");
}

void LinePickerSheet::rebuildRows()
{
    // Later, not now: the lines may change from inside a row's own click.
    for (QAbstractButton* row : std::as_const(m_rows)) {
        m_listLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    m_rows.clear();
    for (const Line& line : std::as_const(m_content.lines)) {
        auto* row = new Row(line, *m_look, m_list);
        connect(row, &QAbstractButton::clicked, this, [this, id = line.id] { Q_EMIT toggled(id); });
        m_listLayout->insertWidget(m_listLayout->count() - 1, row);
        m_rows.append(row);
    }
}

void LinePickerSheet::showTicks()
{
    for (QAbstractButton* row : std::as_const(m_rows))
        static_cast<Row*>(row)->setTicked(m_content.ticked.contains(static_cast<Row*>(row)->id()));
    m_count->setText(countText());
    m_save->setEnabled(!m_content.ticked.isEmpty());
}

void LinePickerSheet::showEvent(QShowEvent* event)
{
    // Focus set before the window is activated: left to the activation, it would go to the first
    // row and scroll the list back to the top.
    if (!m_rows.isEmpty())
        m_rows.constLast()->setFocus(Qt::OtherFocusReason);
    else
        m_keep->setFocus(Qt::OtherFocusReason);
    QDialog::showEvent(event);
    // The list has its size only once the shown layout has run.
    QMetaObject::invokeMethod(this, &LinePickerSheet::scrollToNewest, Qt::QueuedConnection);
}

void LinePickerSheet::scrollToNewest()
{
    QScrollBar* bar = m_scroll->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void LinePickerSheet::withdraw()
{
    m_answered = true;
    done(QDialog::Rejected);
}

void LinePickerSheet::done(int result)
{
    const bool first = !m_answered;
    m_answered = true;
    QDialog::done(result);
    if (!first)
        return;
    if (result == QDialog::Accepted)
        Q_EMIT saveRequested();
    else
        Q_EMIT keepRequested();
}

void LinePickerSheet::restyle()
{
    setPaletteColour(this, QPalette::Window, Theme::background.current());
    setPaletteColour(m_title, QPalette::WindowText, Theme::ink.current());
    setPaletteColour(m_count, QPalette::WindowText, Theme::muted.current());
    setPaletteColour(m_footer, QPalette::WindowText, Theme::muted.current());
    m_list->update();
}
