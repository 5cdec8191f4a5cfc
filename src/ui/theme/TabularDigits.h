#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QLabel>
#include <QRawFont>
#include <QString>

// A timecode's digits set in cells as wide as the font's widest digit, so "11:11" and "00:00"
// take the same room and a column of timecodes lines up: DM Sans sets its figures
// proportionally, and a timecode is read digit by digit.
class TabularDigits {
public:
    explicit TabularDigits(const QFont& font);

    // The text as one run of glyphs from x 0 on the baseline, and its width. A text whose
    // letters do not map one to one onto glyphs keeps the font's own advances.
    [[nodiscard]] QGlyphRun run(const QString& text, qreal* width = nullptr) const;

private:
    QRawFont m_raw;
    qreal m_digitAdvance = 0;
};

// A one-line label for a timecode, its digits of one width in the font it was made with;
// otherwise a plain-text QLabel (its text, palette and accessible text as usual).
class TimecodeLabel : public QLabel {
    Q_OBJECT
public:
    explicit TimecodeLabel(const QFont& font, QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The text laid out, again only when it changed.
    const QGlyphRun& laid() const;

    TabularDigits m_digits;
    mutable QString m_laidText;
    mutable QGlyphRun m_run;
    mutable qreal m_width = 0;
};
