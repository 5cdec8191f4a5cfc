#include "ui/logging/header/BrandBlock.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/PlainLabel.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The wordmark: a coral dot and "pindle" in the bold face, sized to the height it is given.
class Wordmark final : public QWidget {
public:
    static constexpr qreal kDotShare = 0.45;
    static constexpr qreal kGapShare = 0.25;

    Wordmark(int height, QWidget* parent) : QWidget(parent), m_font(TextStyle::bundled("DMSans-Bold", height).font())
    {
        setAccessibleName(QStringLiteral("Pindle"));
        // The face's line box, ascent to descent, fills the height.
        const QFontMetricsF metrics(m_font);
        m_font.setPixelSize(std::max(1, int(std::floor(m_font.pixelSize() * height / metrics.height()))));
        const QFontMetricsF fitted(m_font);
        m_dot = height * kDotShare;
        m_textLeft = m_dot + height * kGapShare;
        setFixedSize(int(std::ceil(m_textLeft + fitted.horizontalAdvance(kWord))), height);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QFontMetricsF metrics(m_font);
        const qreal baseline = (height() - metrics.height()) / 2 + metrics.ascent();
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::coral);
        painter.drawEllipse(QRectF(0, baseline - metrics.xHeight() / 2 - m_dot / 2, m_dot, m_dot));
        painter.setFont(m_font);
        painter.setPen(Theme::ink.current());
        painter.drawText(QPointF(m_textLeft, baseline), kWord);
    }

private:
    static inline const QString kWord = QStringLiteral("pindle");
    QFont m_font;
    qreal m_dot = 0;
    qreal m_textLeft = 0;
};

QLabel* fixedLabel(const TextStyle& style, QWidget* parent)
{
    QLabel* label = plainLabel(style, {}, parent);
    label->setWordWrap(false);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return label;
}

} // namespace

BrandBlock::BrandBlock(QWidget* parent) : QWidget(parent)
{
    m_wordmark = new Wordmark(m_style.wordmarkHeight, this);
    m_title = fixedLabel(m_style.title, this);
    m_date = fixedLabel(m_style.date, this);
    m_saved = fixedLabel(m_style.saved, this);
    m_saved->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(m_style.spacing);
    layout->addWidget(m_wordmark, 0, Qt::AlignLeft);
    layout->addSpacing(m_style.wordmarkGap);
    layout->addWidget(m_title, 0, Qt::AlignLeft);
    layout->addWidget(m_date, 0, Qt::AlignLeft);
    layout->addWidget(m_saved, 0, Qt::AlignLeft);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    recolour();
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &BrandBlock::recolour);
}

void BrandBlock::setBrand(const HeaderBrand& brand)
{
    m_title->setText(brand.title);
    m_date->setText(brand.dateLine);
    m_saved->setText(brand.savedLine.value_or(QString()));
    m_saved->setVisible(brand.savedLine.has_value());
}

void BrandBlock::recolour()
{
    setPaletteColour(m_title, QPalette::WindowText, Theme::ink.current());
    setPaletteColour(m_date, QPalette::WindowText, Theme::muted.current());
    setPaletteColour(m_saved, QPalette::WindowText, Theme::green);
    m_wordmark->update();
}
