#include "ui/logging/header/LogButtonsSheet.h"

#include "model/LogButtonKind.h"
#include "ui/logging/TextAlert.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Capsule.h"
#include "ui/theme/PlainLabel.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal kPressedOpacity = 0.6;
// A scroll step while a dragged row is held near the list's top or bottom edge.
constexpr int kAutoScrollMargin = 40;
// The kind whose button marks a range: it grabs nothing back, so it has no timer.
const QString kInOutKind = QStringLiteral("broll");
const QString kReachHelp = QStringLiteral("How far back a tap grabs");

// "3|cutaway", as rowMimeData writes it.
std::optional<std::pair<int, QString>> readRowPayload(const QByteArray& payload)
{
    const qsizetype bar = payload.indexOf('|');
    if (bar <= 0)
        return std::nullopt;
    bool ok = false;
    const int position = payload.left(bar).toInt(&ok);
    if (!ok)
        return std::nullopt;
    return std::pair{position, QString::fromUtf8(payload.mid(bar + 1))};
}

// A symbol alone as a plain button, centred in its fixed frame, all of which takes clicks.
class SymbolButton final : public QAbstractButton {
public:
    SymbolButton(QSize frame, QWidget* parent) : QAbstractButton(parent)
    {
        setFixedSize(frame);
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
    }

    void setLook(const QString& symbol, const TextStyle& style, const QColor& colour)
    {
        m_symbol = symbol;
        m_style = style;
        m_colour = colour;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (isDown())
            painter.setOpacity(kPressedOpacity);
        Symbols::paint(painter, QRectF(rect()), m_symbol, m_style, m_colour);
    }

private:
    QString m_symbol;
    TextStyle m_style;
    QColor m_colour;
};

// "Last 10 s" on a capsule; filled in ink while its slider is open.
class ReachCapsule final : public QAbstractButton {
public:
    explicit ReachCapsule(QWidget* parent) : QAbstractButton(parent)
    {
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setToolTip(kReachHelp);
    }

    void setLook(const QString& title, bool open)
    {
        if (title == m_label.title && open == m_open)
            return;
        m_label.title = title;
        m_open = open;
        setAccessibleName(title);
        updateGeometry();
        update();
    }

    [[nodiscard]] QSize sizeHint() const override
    {
        const QSizeF size = capsuleSize(m_label, CapsuleStyles::reachCapsule);
        return {static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height()))};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (isDown())
            painter.setOpacity(kPressedOpacity);
        const Appearance appearance = AppearanceNotifier::shared().appearance();
        const ControlColours colours =
            m_open ? ControlColours{Theme::ink.resolve(appearance), QColor(), Theme::background.resolve(appearance)}
                   : ControlColours::plain(appearance);
        paintCapsule(painter, QRectF(rect()), m_label, CapsuleStyles::reachCapsule, colours);
    }

private:
    CapsuleLabel m_label;
    bool m_open = false;
};

} // namespace

// One button of the store: its row of controls and, while open, its grab-back slider. Pressing
// on the row itself and dragging moves it.
class LogButtonsSheet::Row final : public QWidget {
public:
    Row(LogButtonsSheet& sheet, int position, QWidget* parent) : QWidget(parent), m_sheet(sheet), m_position(position)
    {
        const Style& style = sheet.m_style;
        m_tick = new SymbolButton(QSize(style.tickSide, style.tickSide), this);
        m_name = plainLabel(style.enabledName, {}, this);
        m_blurb = plainLabel(style.blurb, {}, this);
        m_shortcut = plainLabel(style.shortcut, {}, this);
        m_reach = new ReachCapsule(this);
        m_rename = new SymbolButton(QSize(style.renameSide, style.renameSide), this);

        auto* names = new QVBoxLayout;
        names->setSpacing(style.nameSpacing);
        names->addWidget(m_name);
        names->addWidget(m_blurb);

        auto* controls = new QHBoxLayout;
        controls->setSpacing(style.buttonRowSpacing);
        controls->addWidget(m_tick);
        // An empty place the row paints the kind's dot into.
        m_dotSlot = new QWidget(this);
        const int dotSide = static_cast<int>(std::ceil(style.circleDiameter));
        m_dotSlot->setFixedSize(dotSide, dotSide);
        controls->addWidget(m_dotSlot);
        // The names take the room left; the row's own spacing keeps them clear of the controls.
        controls->addLayout(names, 1);
        controls->addWidget(m_shortcut);
        controls->addWidget(m_reach);
        controls->addWidget(m_rename);

        m_sliderRow = new QWidget(this);
        m_slider = new QSlider(Qt::Horizontal, m_sliderRow);
        m_slider->setRange(static_cast<int>(LogButtonStore::minReach), static_cast<int>(LogButtonStore::maxReach));
        m_slider->setSingleStep(1);
        m_slider->setAccessibleName(QStringLiteral("Grabs the last"));
        m_sliderCaption = plainLabel(style.sliderCaption, QStringLiteral("Grabs the last"), m_sliderRow);
        m_sliderValue = plainLabel(style.sliderValue, {}, m_sliderRow);
        m_sliderValue->setFixedWidth(style.sliderValueWidth);
        auto* slider = new QHBoxLayout(m_sliderRow);
        slider->setContentsMargins(style.sliderIndent, 0, 0, 0);
        slider->setSpacing(style.sliderRowSpacing);
        slider->addWidget(m_sliderCaption);
        slider->addWidget(m_slider, 1);
        slider->addWidget(m_sliderValue);
        m_sliderRow->hide();

        auto* stack = new QVBoxLayout(this);
        stack->setContentsMargins(style.rowHorizontalPadding, style.rowVerticalPadding, style.rowHorizontalPadding,
                                  style.rowVerticalPadding);
        stack->setSpacing(style.rowStackSpacing);
        stack->addLayout(controls);
        stack->addWidget(m_sliderRow);

        connect(m_tick, &QAbstractButton::clicked, this, [this] { m_sheet.m_store.toggle(m_button.kind); });
        connect(m_reach, &QAbstractButton::clicked, this, [this] { m_sheet.toggleReach(m_button.kind); });
        connect(m_rename, &QAbstractButton::clicked, this, [this] { m_sheet.startRename(m_button); });
        connect(m_slider, &QSlider::valueChanged, this,
                [this](int seconds) { m_sheet.m_store.setReach(m_button.kind, seconds); });
    }

    void setButton(const LogButton& button, const QString& shortcut, bool reachOpen)
    {
        const Style& style = m_sheet.m_style;
        m_button = button;
        m_name->setText(button.name);
        m_name->setFont((button.enabled ? style.enabledName : style.disabledName).font());
        const std::optional<LogButtonKind> kind = LogButtonKind::lookup(button.kind);
        m_blurb->setText(kind ? kind->blurb : QString());
        m_shortcut->setText(shortcut);
        m_shortcut->setVisible(!shortcut.isEmpty());
        m_reach->setLook(reachText(button.reach), reachOpen);
        m_reach->setVisible(button.enabled && button.kind != kInOutKind);
        m_tick->setAccessibleName((button.enabled ? QStringLiteral("Hide ") : QStringLiteral("Show ")) + button.name);
        m_rename->setAccessibleName(QStringLiteral("Rename ") + button.name);
        {
            const QSignalBlocker quiet(m_slider);
            m_slider->setValue(static_cast<int>(std::isfinite(button.reach) ? std::trunc(button.reach) : 0));
        }
        m_sliderValue->setText(QString::number(m_slider->value()) + QStringLiteral(" s"));
        m_sliderRow->setVisible(reachOpen);
        restyle();
    }

    void restyle()
    {
        const Style& style = m_sheet.m_style;
        const Appearance appearance = AppearanceNotifier::shared().appearance();
        const QColor kindColour = LogButtonKind::color(m_button.kind).resolve(appearance);
        const QColor muted = Theme::muted.resolve(appearance);
        const QColor faint = Theme::faint.resolve(appearance);
        if (m_button.enabled)
            m_tick->setLook(QStringLiteral("checkmark.circle.fill"), style.tickOn, Theme::green);
        else
            m_tick->setLook(QStringLiteral("circle"), style.tickOff, faint);
        m_dotColour = m_button.enabled ? kindColour : faint;
        m_rename->setLook(QStringLiteral("pencil"), style.rename, muted);
        setPaletteColour(m_name, QPalette::WindowText, m_button.enabled ? Theme::ink.resolve(appearance) : muted);
        for (QLabel* label : {m_blurb, m_shortcut, m_sliderCaption})
            setPaletteColour(label, QPalette::WindowText, muted);
        setPaletteColour(m_sliderValue, QPalette::WindowText, Theme::ink.resolve(appearance));
        setPaletteColour(m_slider, QPalette::Highlight, kindColour);
        m_reach->update();
        update();
    }

    // Where a dragged row would land: above this row, below it, or neither.
    void setDropLine(std::optional<bool> above)
    {
        if (m_dropAbove == above)
            return;
        m_dropAbove = above;
        update();
    }

    [[nodiscard]] RowParts parts()
    {
        RowParts parts{this, m_tick, m_name, m_shortcut, m_reach, m_rename, m_slider, m_sliderValue};
        if (!m_reach->isVisibleTo(this))
            parts.reach = nullptr;
        if (!m_sliderRow->isVisibleTo(this)) {
            parts.slider = nullptr;
            parts.sliderValue = nullptr;
        }
        return parts;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const Style& style = m_sheet.m_style;
        QPainter painter(this);
        const Appearance appearance = AppearanceNotifier::shared().appearance();
        painter.fillRect(QRect(style.rowHorizontalPadding, height() - 1, width() - style.rowHorizontalPadding, 1),
                         Theme::line.resolve(appearance));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_dotColour);
        painter.drawEllipse(
            QRectF(m_dotSlot->geometry().topLeft(), QSizeF(style.circleDiameter, style.circleDiameter)));
        if (m_dropAbove) {
            const qreal half = style.dropLineWidth / 2;
            const qreal y = *m_dropAbove ? half : height() - half;
            painter.setPen(QPen(Theme::ink.resolve(appearance), style.dropLineWidth));
            painter.drawLine(QPointF(style.rowHorizontalPadding, y), QPointF(width() - style.rowHorizontalPadding, y));
        }
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        m_pressAt.reset();
        if (event->button() == Qt::LeftButton)
            m_pressAt = event->position().toPoint();
        QWidget::mousePressEvent(event);
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (m_pressAt && (event->buttons() & Qt::LeftButton) &&
            (event->position().toPoint() - *m_pressAt).manhattanLength() >= QApplication::startDragDistance()) {
            const QPoint grabbed = *m_pressAt;
            m_pressAt.reset();
            startDrag(grabbed);
            return;
        }
        QWidget::mouseMoveEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        m_pressAt.reset();
        QWidget::mouseReleaseEvent(event);
    }

private:
    void startDrag(QPoint grabbed)
    {
        // Owned by the sheet, not the row: nothing the drop does may take the drag with it.
        auto* drag = new QDrag(&m_sheet);
        drag->setMimeData(rowMimeData(m_position, m_button.kind).release());
        drag->setPixmap(grab());
        drag->setHotSpot(grabbed);
        drag->exec(Qt::MoveAction);
    }

    LogButtonsSheet& m_sheet;
    const int m_position;
    LogButton m_button;
    SymbolButton* m_tick;
    QWidget* m_dotSlot;
    QColor m_dotColour;
    QLabel* m_name;
    QLabel* m_blurb;
    QLabel* m_shortcut;
    ReachCapsule* m_reach;
    SymbolButton* m_rename;
    QWidget* m_sliderRow;
    QSlider* m_slider;
    QLabel* m_sliderCaption;
    QLabel* m_sliderValue;
    std::optional<QPoint> m_pressAt;
    std::optional<bool> m_dropAbove;
};

// The rows, and where a dragged row is dropped among them.
class LogButtonsSheet::RowList final : public QWidget {
public:
    explicit RowList(LogButtonsSheet& sheet) : m_sheet(sheet) { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { dragMoveEvent(event); }

    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (!event->mimeData()->hasFormat(QString::fromLatin1(kRowMimeType))) {
            event->ignore();
            return;
        }
        const QPoint at = event->position().toPoint();
        showDropLine(m_sheet.dropPosition(at.y()));
        m_sheet.m_scroll->ensureVisible(at.x(), at.y(), 0, kAutoScrollMargin);
        event->setDropAction(Qt::MoveAction);
        event->accept();
    }

    void dragLeaveEvent(QDragLeaveEvent*) override { showDropLine(std::nullopt); }

    void dropEvent(QDropEvent* event) override
    {
        showDropLine(std::nullopt);
        const auto payload = readRowPayload(event->mimeData()->data(QString::fromLatin1(kRowMimeType)));
        if (!payload) {
            event->ignore();
            return;
        }
        event->setDropAction(Qt::MoveAction);
        event->accept();
        m_sheet.moveRow(payload->first, payload->second, m_sheet.dropPosition(event->position().toPoint().y()));
    }

private:
    void showDropLine(std::optional<int> before)
    {
        const int count = m_sheet.rowCount();
        for (int i = 0; i < count; ++i) {
            std::optional<bool> line;
            if (before == i)
                line = true;
            else if (before == count && i == count - 1)
                line = false;
            m_sheet.m_rows[static_cast<std::size_t>(i)]->setDropLine(line);
        }
    }

    LogButtonsSheet& m_sheet;
};

LogButtonsSheet::LogButtonsSheet(LogButtonStore& store, QWidget* parent) : QDialog(parent), m_store(store)
{
    prepareSheet(*this, QStringLiteral("Your buttons"), m_style.size);

    m_title = plainLabel(m_style.title, QStringLiteral("Your buttons"), this);
    m_done = new QPushButton(QStringLiteral("Done"), this);
    m_done->setDefault(true);
    connect(m_done, &QPushButton::clicked, this, &QDialog::accept);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(m_style.headerPadding, m_style.headerPadding, m_style.headerPadding,
                               m_style.headerPadding);
    header->addWidget(m_title);
    header->addStretch(1);
    header->addWidget(m_done);

    m_list = new RowList(*this);
    m_rowsLayout = new QVBoxLayout(m_list);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(0);
    m_rowsLayout->addStretch(1);
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(m_list);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_list->setAutoFillBackground(false);

    m_help = plainLabel(m_style.help,
                        QStringLiteral("Tick a button to show it, the pencil to rename it, the timer to set how far "
                                       "back it grabs. Drag to reorder: the first is Ctrl+1."),
                        this);
    m_help->setWordWrap(true);
    auto* help = new QVBoxLayout;
    help->setContentsMargins(m_style.helpPadding, m_style.helpPadding, m_style.helpPadding, m_style.helpPadding);
    help->addWidget(m_help);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addWidget(m_scroll, 1);
    layout->addLayout(help);

    follow();
    connect(&m_store, &LogButtonStore::buttonsChanged, this, &LogButtonsSheet::follow);
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &LogButtonsSheet::restyle);
    restyle();
}

LogButtonsSheet::~LogButtonsSheet()
{
    // The alert answers into the store through this sheet; it must not outlive it.
    delete m_renameAlert;
}

QString LogButtonsSheet::shortcutLabel(const QList<LogButton>& buttons, int position)
{
    if (position < 0 || position >= buttons.size() || !buttons.at(position).enabled)
        return {};
    constexpr qsizetype kShortcuts = 9;
    const auto shownBefore = std::count_if(buttons.cbegin(), buttons.cbegin() + position,
                                           [](const LogButton& button) { return button.enabled; });
    return shownBefore < kShortcuts ? QStringLiteral("Ctrl+%1").arg(shownBefore + 1) : QString();
}

std::unique_ptr<QMimeData> LogButtonsSheet::rowMimeData(int position, const QString& kind)
{
    auto data = std::make_unique<QMimeData>();
    data->setData(QString::fromLatin1(kRowMimeType), QByteArray::number(position) + '|' + kind.toUtf8());
    return data;
}

QString LogButtonsSheet::reachText(double seconds)
{
    const qint64 whole = std::isfinite(seconds) ? static_cast<qint64>(std::trunc(seconds)) : 0;
    return QStringLiteral("Last %1 s").arg(whole);
}

int LogButtonsSheet::rowCount() const
{
    return static_cast<int>(std::min<qsizetype>(m_store.buttons().size(), static_cast<qsizetype>(m_rows.size())));
}

LogButtonsSheet::RowParts LogButtonsSheet::rowParts(int position) const
{
    if (position < 0 || position >= rowCount())
        return {};
    return m_rows[static_cast<std::size_t>(position)]->parts();
}

QWidget* LogButtonsSheet::rowList() const
{
    return m_list;
}

int LogButtonsSheet::dropPosition(int y) const
{
    const int count = rowCount();
    for (int i = 0; i < count; ++i) {
        if (y < m_rows[static_cast<std::size_t>(i)]->geometry().center().y())
            return i;
    }
    return count;
}

void LogButtonsSheet::follow()
{
    const QList<LogButton>& buttons = m_store.buttons();
    while (m_rows.size() < static_cast<std::size_t>(buttons.size())) {
        const int position = static_cast<int>(m_rows.size());
        auto* row = new Row(*this, position, m_list);
        m_rowsLayout->insertWidget(position, row);
        m_rows.push_back(row);
    }
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const int position = static_cast<int>(i);
        if (position < buttons.size()) {
            const LogButton& button = buttons.at(position);
            m_rows[i]->setButton(button, shortcutLabel(buttons, position), m_reachOpen == button.kind);
        }
        // Kept, hidden, for a list that grows again.
        m_rows[i]->setVisible(position < buttons.size());
    }
}

void LogButtonsSheet::restyle()
{
    setPaletteColour(this, QPalette::Window, Theme::background.current());
    setPaletteColour(m_title, QPalette::WindowText, Theme::ink.current());
    setPaletteColour(m_help, QPalette::WindowText, Theme::muted.current());
    for (Row* row : m_rows)
        row->restyle();
    update();
}

void LogButtonsSheet::toggleReach(const QString& kind)
{
    if (m_reachOpen == kind)
        m_reachOpen.reset();
    else
        m_reachOpen = kind;
    follow();
}

void LogButtonsSheet::startRename(const LogButton& button)
{
    if (m_renameAlert)
        return;
    m_renaming = button.kind;
    auto* alert = new TextAlert({QStringLiteral("Rename button"), QString::fromUtf8(kRenameMessage),
                                 QStringLiteral("Button name"), button.name, QStringLiteral("Save")},
                                this);
    m_renameAlert = alert;

    // Reset gives the kind's own label back: the store's rule for an empty name.
    auto* reset = new QPushButton(QStringLiteral("Reset"), alert);
    reset->setAutoDefault(false);
    setPaletteColour(reset, QPalette::ButtonText, Theme::coral);
    m_renameReset = reset;
    for (QBoxLayout* buttons : alert->findChildren<QBoxLayout*>()) {
        if (buttons->indexOf(alert->acceptButton()) >= 0) {
            buttons->insertWidget(0, reset);
            break;
        }
    }
    connect(reset, &QPushButton::clicked, this, [this, alert] {
        if (m_renaming)
            m_store.rename(*m_renaming, QString());
        alert->reject();
    });
    connect(alert, &TextAlert::accepted, this, [this](const QString& text) {
        if (m_renaming)
            m_store.rename(*m_renaming, text);
        m_renaming.reset();
    });
    connect(alert, &TextAlert::cancelled, this, [this] { m_renaming.reset(); });
    alert->open();
}

void LogButtonsSheet::moveRow(int from, const QString& kind, int to)
{
    const QList<LogButton>& buttons = m_store.buttons();
    // The drag named a position and a kind; if the list moved under it, the kind decides.
    if (from < 0 || from >= buttons.size() || buttons.at(from).kind != kind) {
        const auto found = std::find_if(buttons.cbegin(), buttons.cend(),
                                        [&kind](const LogButton& button) { return button.kind == kind; });
        if (found == buttons.cend())
            return;
        from = static_cast<int>(found - buttons.cbegin());
    }
    // Onto itself or just below itself: the list stays as it is.
    if (to == from || to == from + 1)
        return;
    m_store.move({from}, to);
}
