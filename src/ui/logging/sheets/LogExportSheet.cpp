#include "ui/logging/sheets/LogExportSheet.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/PlainLabel.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {

using Preset = ExportSheetModel::Preset;
constexpr std::array kPresets{Preset::Everything, Preset::ExecPull, Preset::Compliance};
const QString kFormatTitle = QStringLiteral("Format");
const QString kTagTitle = QStringLiteral("Only with tag");
const QString kTapeTitle = QStringLiteral("Tape / reel");

// Return and Enter belong to "Export…" alone, from the tape field too: a focused preset or
// Cancel must not take them, and while Export is off the dialog finds no button to press.
QPushButton* makeButton(const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    button->setAutoDefault(false);
    button->setAccessibleName(title);
    return button;
}

// A kind's name on a check box: "&" is a mnemonic there unless doubled.
QString boxText(const QString& name)
{
    return QString(name).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QIcon dotIcon(const QColor& colour, int diameter)
{
    QIcon icon;
    for (const int scale : {1, 2}) {
        QPixmap pixmap(diameter * scale, diameter * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(QRectF(0, 0, diameter, diameter));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

LogExportSheet::LogExportSheet(QList<LogEntry> entries, const LogButtonStore& buttons, Defaults& defaults,
                               QWidget* parent)
    : QDialog(parent), m_model(std::move(entries), buttons, defaults)
{
    prepareSheet(*this, QStringLiteral("Export"), m_style.size);

    m_title = plainLabel(m_style.title, QStringLiteral("Export"), this);
    m_cancel = makeButton(QStringLiteral("Cancel"), this);
    // Escape reaches QDialog::reject as well; neither keeps the typed reel name.
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* header = new QHBoxLayout;
    header->addWidget(m_title);
    header->addStretch(1);
    header->addWidget(m_cancel);

    auto* presets = new QHBoxLayout;
    presets->setSpacing(m_style.presetSpacing);
    for (const Preset preset : kPresets) {
        auto* button = makeButton(ExportSheetModel::presetTitle(preset), this);
        connect(button, &QPushButton::clicked, this, [this, preset] { m_model.applyPreset(preset); });
        presets->addWidget(button);
        m_presets.append(button);
    }
    presets->addStretch(1);

    m_formatLabel = plainLabel(TextStyle::body, kFormatTitle, this);
    m_format = new QComboBox(this);
    m_format->setAccessibleName(kFormatTitle);
    m_formatLabel->setBuddy(m_format);
    for (const ExportFormat format : kExportFormats)
        m_format->addItem(exportFormatLabel(format), static_cast<int>(format));
    connect(m_format, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_model.setFormat(static_cast<ExportFormat>(m_format->itemData(index).toInt())); });
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(m_formatLabel);
    formatRow->addWidget(m_format, 1);

    m_tapeSection = new QWidget(this);
    m_tapeLabel = plainLabel(m_style.tapeLabel, kTapeTitle, m_tapeSection);
    m_tapeField = new QLineEdit(m_tapeSection);
    m_tapeField->setPlaceholderText(QStringLiteral("e.g. A001 (optional)"));
    m_tapeField->setAccessibleName(kTapeTitle);
    m_tapeField->setFixedWidth(m_style.tapeFieldWidth);
    m_tapeField->setText(m_model.tape());
    m_tapeLabel->setBuddy(m_tapeField);
    connect(m_tapeField, &QLineEdit::textChanged, &m_model, &ExportSheetModel::setTape);
    m_tapeHelp = plainLabel(m_style.tapeHelp, QString(), m_tapeSection);
    m_tapeHelp->setWordWrap(true);
    auto* tapeRow = new QHBoxLayout;
    tapeRow->addWidget(m_tapeLabel);
    tapeRow->addWidget(m_tapeField);
    tapeRow->addStretch(1);
    auto* tape = new QVBoxLayout(m_tapeSection);
    tape->setContentsMargins(0, 0, 0, 0);
    tape->setSpacing(m_style.tapeSpacing);
    tape->addLayout(tapeRow);
    tape->addWidget(m_tapeHelp);

    m_caption = plainLabel(m_style.caption, QStringLiteral("WHICH MARKERS"), this);

    m_include = new QCheckBox(kIncludeTitle, this);
    m_include->setAccessibleName(kIncludeTitle);
    connect(m_include, &QCheckBox::toggled, &m_model, &ExportSheetModel::setIncludeSuggested);

    m_count = plainLabel(m_style.count, QString(), this);
    m_export = new QPushButton(kExportTitle, this);
    m_export->setAccessibleName(kExportTitle);
    m_export->setDefault(true);
    connect(m_export, &QPushButton::clicked, this, &LogExportSheet::exportNow);
    auto* footer = new QHBoxLayout;
    footer->addWidget(m_count);
    footer->addStretch(1);
    footer->addWidget(m_export);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(m_style.padding, m_style.padding, m_style.padding, m_style.padding);
    layout->setSpacing(m_style.spacing);
    layout->addLayout(header);
    layout->addLayout(presets);
    layout->addLayout(formatRow);
    layout->addWidget(m_tapeSection);
    layout->addWidget(m_caption);
    layout->addLayout(buildKinds());
    if (QLayout* tags = buildTags())
        layout->addLayout(tags);
    layout->addWidget(m_include);
    layout->addStretch(1);
    layout->addLayout(footer);

    follow();
    connect(&m_model, &ExportSheetModel::changed, this, &LogExportSheet::follow);
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &LogExportSheet::restyle);
    restyle();
}

QLayout* LogExportSheet::buildKinds()
{
    // As many columns of at least the minimum width as the sheet's width holds.
    const int width = m_style.size.width() - 2 * m_style.padding;
    const int columns =
        std::max(1, (width + m_style.kindColumnSpacing) / (m_style.kindMinWidth + m_style.kindColumnSpacing));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(m_style.kindColumnSpacing);
    grid->setVerticalSpacing(m_style.kindRowSpacing);
    for (int column = 0; column < columns; ++column)
        grid->setColumnStretch(column, 1);
    const qsizetype count = m_model.presentTypes().size();
    for (int i = 0; i < count; ++i) {
        auto* box = new QCheckBox(this);
        box->setFont(m_style.kind.font());
        box->setIconSize(QSize(m_style.dotDiameter, m_style.dotDiameter));
        // Looked up when toggled: a renamed button reorders the kinds under the boxes. Followed
        // even when the model stays as it was: unticking the last kind ticks every kind again.
        connect(box, &QCheckBox::toggled, this, [this, i](bool checked) {
            m_model.setKindChecked(m_model.presentTypes().value(i), checked);
            follow();
        });
        grid->addWidget(box, i / columns, i % columns);
        m_kindBoxes.append(box);
    }
    return grid;
}

QLayout* LogExportSheet::buildTags()
{
    const QStringList& tags = m_model.availableTags();
    if (tags.isEmpty())
        return nullptr;
    m_tagLabel = plainLabel(TextStyle::body, kTagTitle, this);
    m_tag = new QComboBox(this);
    m_tag->setAccessibleName(kTagTitle);
    m_tagLabel->setBuddy(m_tag);
    m_tag->addItem(kAnyTag, QString());
    for (const QString& tag : tags)
        m_tag->addItem(tag, tag);
    connect(m_tag, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_model.setTag(m_tag->itemData(index).toString()); });
    auto* row = new QHBoxLayout;
    row->addWidget(m_tagLabel);
    row->addWidget(m_tag, 1);
    return row;
}

QPushButton* LogExportSheet::presetButton(ExportSheetModel::Preset preset) const
{
    const auto at = std::find(kPresets.cbegin(), kPresets.cend(), preset) - kPresets.cbegin();
    return m_presets.value(at);
}

void LogExportSheet::exportNow()
{
    std::optional<ExportChoice> choice = m_model.exportNow();
    if (!choice)
        return;
    Q_EMIT exported(*choice);
    accept();
}

void LogExportSheet::follow()
{
    {
        const QSignalBlocker quiet(m_format);
        m_format->setCurrentIndex(m_format->findData(static_cast<int>(m_model.format())));
    }
    m_tapeSection->setVisible(m_model.showsTape());
    m_tapeHelp->setText(m_model.tapeHelp());

    const QStringList& kinds = m_model.presentTypes();
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    for (qsizetype i = 0; i < m_kindBoxes.size() && i < kinds.size(); ++i) {
        QCheckBox* box = m_kindBoxes.at(i);
        const QString& kind = kinds.at(i);
        const QString name = m_model.displayName(kind);
        const QSignalBlocker quiet(box);
        box->setText(boxText(name));
        box->setAccessibleName(name);
        box->setIcon(dotIcon(m_model.kindColor(kind).resolve(appearance), m_style.dotDiameter));
        box->setChecked(m_model.isKindChecked(kind));
    }
    if (m_tag) {
        const QSignalBlocker quiet(m_tag);
        m_tag->setCurrentIndex(std::max(0, m_tag->findData(m_model.tag())));
    }
    {
        const QSignalBlocker quiet(m_include);
        m_include->setChecked(m_model.includeSuggested());
    }
    m_count->setText(m_model.countLine());
    m_export->setEnabled(m_model.canExport());
}

void LogExportSheet::restyle()
{
    setPaletteColour(this, QPalette::Window, Theme::background.current());
    // The check boxes' labels follow the sheet.
    setPaletteColour(this, QPalette::WindowText, Theme::ink.current());
    for (QLabel* label : {m_title, m_formatLabel, m_tagLabel}) {
        if (label)
            setPaletteColour(label, QPalette::WindowText, Theme::ink.current());
    }
    for (QLabel* label : {m_tapeLabel, m_tapeHelp, m_caption, m_count})
        setPaletteColour(label, QPalette::WindowText, Theme::muted.current());
    follow();
    update();
}
