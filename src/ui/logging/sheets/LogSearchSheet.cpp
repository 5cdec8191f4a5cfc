#include "ui/logging/sheets/LogSearchSheet.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/LinkButton.h"
#include "ui/theme/LoggerField.h"
#include "ui/theme/PainterState.h"
#include "ui/theme/PlainLabel.h"
#include "ui/theme/TabularDigits.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCache>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr qreal kScopeCornerRadius = 7;
constexpr qreal kScopeInset = 2;
// Laid-out hit texts kept by id: far more than a screen of rows, so scrolling back costs nothing.
constexpr int kKeptLayouts = 2000;

bool isReturn(QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// One half of the scope choice; the chosen half is raised on the track.
class ScopeSegment : public QAbstractButton {
public:
    ScopeSegment(const QString& title, const TextStyle& style, QWidget* parent) : QAbstractButton(parent)
    {
        setText(title);
        setAccessibleName(title);
        setCheckable(true);
        setFont(style.font());
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF face = QRectF(rect()).adjusted(kScopeInset, kScopeInset, -kScopeInset, -kScopeInset);
        if (isChecked()) {
            QPainterPath shape;
            shape.addRoundedRect(face, kScopeCornerRadius - kScopeInset, kScopeCornerRadius - kScopeInset);
            painter.fillPath(shape, Theme::surface.current());
        }
        if (hasFocus()) {
            painter.setPen(QPen(Theme::coral, 1));
            painter.drawRoundedRect(face, kScopeCornerRadius - kScopeInset, kScopeCornerRadius - kScopeInset);
        }
        painter.setPen(isChecked() ? Theme::ink.current() : Theme::muted.current());
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
    }
};

// The track the two segments sit on.
class ScopeTrack : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), kScopeCornerRadius, kScopeCornerRadius);
        painter.fillPath(shape, Theme::line.current());
    }
};

// A hit of this log: its header (timecode, who, "SELECT" for an entry) over its wrapped text.
// A row's texts are laid out once and kept by the hit's id until the hit changes.
class HitDelegate : public QStyledItemDelegate {
public:
    HitDelegate(const LogSearchSheet::Style& style, QObject* parent)
        : QStyledItemDelegate(parent), m_style(style), m_timecodeFont(style.timecode.font()),
          m_whoFont(style.who.font()), m_badgeFont(style.badge.font()), m_textFont(style.text.font()),
          m_timecodeDigits(m_timecodeFont), m_timecodeMetrics(m_timecodeFont), m_whoMetrics(m_whoFont),
          m_textMetrics(m_textFont), m_badgeText(QString::fromLatin1(LogSearchRows::kEntryBadge))
    {
        const QFontMetricsF badge(m_badgeFont);
        m_badgeText.setTextFormat(Qt::PlainText);
        m_badgeText.prepare(QTransform(), m_badgeFont);
        m_badgeSize = QSizeF(badge.horizontalAdvance(m_badgeText.text()) + 2 * style.badgeHorizontalPadding,
                             badge.height() + 2 * style.badgeVerticalPadding);
        m_headerHeight = std::max({m_timecodeMetrics.height(), m_whoMetrics.height(), m_badgeSize.height()});
        m_layouts.setMaxCost(kKeptLayouts);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int width = rowWidth(option);
        const Laid& laid = layoutOf(index.data(LogSearchRows::HitRole).value<LogSearchHit>(), width);
        return {width, rowHeight(laid) + m_style.resultSpacing};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const Laid& laid = layoutOf(index.data(LogSearchRows::HitRole).value<LogSearchHit>(), rowWidth(option));
        PainterState state(*painter);
        painter->setRenderHint(QPainter::Antialiasing);
        const QRectF row(option.rect.left(), option.rect.top(), option.rect.width(), rowHeight(laid));
        if (option.state & (QStyle::State_MouseOver | QStyle::State_HasFocus)) {
            QPainterPath shape;
            shape.addRoundedRect(row, m_style.rowCornerRadius, m_style.rowCornerRadius);
            painter->fillPath(shape, Theme::surface.current());
        }

        const qreal left = row.left() + m_style.rowHorizontalPadding;
        const qreal middle = row.top() + m_style.rowVerticalPadding + m_headerHeight / 2;
        const auto top = [middle](const QFontMetricsF& metrics) { return middle - metrics.height() / 2; };
        painter->setPen(Theme::muted.current());
        painter->drawGlyphRun(QPointF(left, top(m_timecodeMetrics) + m_timecodeMetrics.ascent()), laid.timecode);
        painter->setFont(m_whoFont);
        painter->setPen(Theme::coral);
        painter->drawStaticText(QPointF(left + laid.whoX, top(m_whoMetrics)), laid.who);
        if (laid.badgeX >= 0) {
            const QRectF capsule(QPointF(left + laid.badgeX, middle - m_badgeSize.height() / 2), m_badgeSize);
            QPainterPath shape;
            shape.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
            painter->fillPath(shape, Theme::coral);
            painter->setFont(m_badgeFont);
            painter->setPen(Qt::white);
            painter->drawStaticText(
                capsule.topLeft() + QPointF(m_style.badgeHorizontalPadding, m_style.badgeVerticalPadding), m_badgeText);
        }

        painter->setFont(m_textFont);
        painter->setPen(Theme::ink.current());
        const qreal textTop = row.top() + m_style.rowVerticalPadding + m_headerHeight + m_style.textSpacing;
        painter->drawStaticText(QPointF(left, textTop), laid.text);
    }

private:
    // A row's texts set once: the header's parts and the wrapped text.
    struct Laid {
        LogSearchHit hit;
        int width = -1;
        QGlyphRun timecode;
        QStaticText who;
        qreal whoX = 0;
        // -1 without the badge.
        qreal badgeX = -1;
        QStaticText text;
        qreal height = 0;
    };

    [[nodiscard]] static int rowWidth(const QStyleOptionViewItem& option)
    {
        const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
        if (!view)
            return option.rect.width();
        // The scroll bar's room is kept whether it shows or not: a row keeps its width, and its
        // laid-out text, as the bar comes and goes with the number of hits.
        return view->contentsRect().width() - view->verticalScrollBar()->sizeHint().width();
    }

    [[nodiscard]] int rowHeight(const Laid& laid) const
    {
        return int(std::ceil(2 * m_style.rowVerticalPadding + m_headerHeight + m_style.textSpacing + laid.height));
    }

    [[nodiscard]] static QStaticText staticText(const QString& text, const QFont& font, qreal width = -1)
    {
        QStaticText result(text);
        // Hits come from people and the service: never markup.
        result.setTextFormat(Qt::PlainText);
        if (width > 0) {
            QTextOption wrap;
            wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            result.setTextOption(wrap);
            result.setTextWidth(width);
        }
        result.prepare(QTransform(), font);
        return result;
    }

    const Laid& layoutOf(const LogSearchHit& hit, int width) const
    {
        Laid* laid = m_layouts.object(hit.id);
        if (laid && laid->width == width && laid->hit == hit)
            return *laid;
        laid = new Laid;
        laid->hit = hit;
        laid->width = width;
        const qreal room = std::max(1, width - 2 * m_style.rowHorizontalPadding);
        qreal x = 0;
        laid->timecode = m_timecodeDigits.run(hit.timecode, &x);
        if (!hit.timecode.isEmpty())
            x += m_style.headerSpacing;
        const bool badge = hit.entryID.has_value();
        if (!hit.who.isEmpty()) {
            // A long name gives way to the badge.
            const qreal badgeRoom = badge ? m_badgeSize.width() + m_style.headerSpacing : 0;
            const QString who =
                m_whoMetrics.elidedText(hit.who, Qt::ElideRight, std::max<qreal>(0, room - x - badgeRoom));
            laid->who = staticText(who, m_whoFont);
            laid->whoX = x;
            x += m_whoMetrics.horizontalAdvance(who) + m_style.headerSpacing;
        }
        laid->badgeX = badge ? x : -1;
        QString shown = hit.text;
        // A line break in a line stays a break in the row.
        shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
        laid->text = staticText(shown, m_textFont, room);
        laid->height = shown.isEmpty() ? m_textMetrics.height() : laid->text.size().height();
        m_layouts.insert(hit.id, laid);
        return *laid;
    }

    const LogSearchSheet::Style m_style;
    QFont m_timecodeFont;
    QFont m_whoFont;
    QFont m_badgeFont;
    QFont m_textFont;
    TabularDigits m_timecodeDigits;
    QFontMetricsF m_timecodeMetrics;
    QFontMetricsF m_whoMetrics;
    QFontMetricsF m_textMetrics;
    QStaticText m_badgeText;
    QSizeF m_badgeSize;
    qreal m_headerHeight = 0;
    mutable QCache<QString, Laid> m_layouts;
};

// A hit of another shoot, on a card: the shoot, the line, the service's reason and two links.
class CloudCard : public QWidget {
public:
    CloudCard(const CloudSearchHit& hit, const LogSearchSheet::Style& style, QWidget* parent)
        : QWidget(parent), m_radius(style.cardCornerRadius)
    {
        setAccessibleName(hit.title);
        m_title = plainLabel(style.shootTitle, hit.title, this);
        m_timecode = new TimecodeLabel(style.timecode.font(), this);
        m_timecode->setText(hit.timecode);
        m_speaker = plainLabel(style.who, hit.speaker, this);
        m_speaker->setVisible(!hit.speaker.isEmpty());
        m_text = plainLabel(style.text, hit.text, this);
        m_text->setWordWrap(true);
        QFont italic = style.why.font();
        italic.setItalic(true);
        m_why = plainLabel(style.why, hit.why, this);
        m_why->setFont(italic);
        m_why->setWordWrap(true);
        m_why->setVisible(!hit.why.isEmpty());
        copy = new LinkButton(QStringLiteral("Copy line and timecode"), this);
        open = new LinkButton(QStringLiteral("Open the shoot"), this);
        for (LinkButton* link : {copy, open})
            link->setFont(style.link.font());

        auto* header = new QHBoxLayout;
        header->setSpacing(style.headerSpacing);
        header->addWidget(m_timecode);
        header->addWidget(m_speaker);
        header->addStretch(1);
        // The line as a local hit shows it: its header over its text, padded the same.
        auto* line = new QVBoxLayout;
        line->setContentsMargins(0, style.rowVerticalPadding, 0, style.rowVerticalPadding);
        line->setSpacing(style.textSpacing);
        line->addLayout(header);
        line->addWidget(m_text);
        auto* links = new QHBoxLayout;
        links->setSpacing(style.linkSpacing);
        links->addWidget(copy);
        links->addWidget(open);
        links->addStretch(1);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(style.cardPadding, style.cardPadding, style.cardPadding, style.cardPadding);
        layout->setSpacing(style.cardSpacing);
        layout->addWidget(m_title);
        layout->addLayout(line);
        layout->addWidget(m_why);
        layout->addLayout(links);
        restyle();
    }

    void restyle()
    {
        setPaletteColour(m_title, QPalette::WindowText, Theme::muted.current());
        setPaletteColour(m_timecode, QPalette::WindowText, Theme::muted.current());
        setPaletteColour(m_speaker, QPalette::WindowText, Theme::coral);
        setPaletteColour(m_text, QPalette::WindowText, Theme::ink.current());
        setPaletteColour(m_why, QPalette::WindowText, Theme::muted.current());
        update();
    }

    LinkButton* copy = nullptr;
    LinkButton* open = nullptr;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), m_radius, m_radius);
        painter.fillPath(shape, Theme::surface.current());
    }

private:
    qreal m_radius;
    QLabel* m_title;
    QLabel* m_timecode;
    QLabel* m_speaker;
    QLabel* m_text;
    QLabel* m_why;
};

} // namespace

LogSearchSheet::LogSearchSheet(LogSearchModel::Sources sources, QWidget* parent)
    : QDialog(parent), m_model(new LogSearchModel(std::move(sources), this))
{
    prepareSheet(*this, QStringLiteral("Search"), m_style.size);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(m_style.padding, m_style.padding, m_style.padding, m_style.padding);
    layout->setSpacing(m_style.spacing);
    buildTop(layout);
    m_results = new QStackedWidget(this);
    buildLocal();
    buildCloud();
    layout->addWidget(m_results, 1);

    connect(m_model, &LogSearchModel::scopeChanged, this, &LogSearchSheet::followScope);
    connect(m_model, &LogSearchModel::queryChanged, this, [this] {
        followHits();
        followCloud();
    });
    connect(m_model, &LogSearchModel::hitsChanged, this, &LogSearchSheet::followHits);
    connect(m_model, &LogSearchModel::cloudChanged, this, &LogSearchSheet::followCloud);
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &LogSearchSheet::restyle);
    followScope();
    followHits();
    followCloud();
    restyle();
    m_field->setFocus();
}

void LogSearchSheet::buildTop(QVBoxLayout* layout)
{
    auto* track = new ScopeTrack(this);
    track->setFixedSize(m_style.scopeWidth, m_style.scopeHeight);
    auto* segments = new QHBoxLayout(track);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    auto* group = new QButtonGroup(this);
    int id = 0;
    for (const QString& title : {QStringLiteral("This log"), QStringLiteral("All my shoots")}) {
        auto* segment = new ScopeSegment(title, m_style.scope, track);
        group->addButton(segment, id++);
        segments->addWidget(segment);
        m_scopes.append(segment);
    }
    m_scopes.at(0)->setChecked(true);
    connect(group, &QButtonGroup::idClicked, this,
            [this](int scope) { m_model->setScope(LogSearchModel::Scope(scope)); });

    m_done = new QPushButton(QStringLiteral("Done"), this);
    // Return belongs to the field: neither button may take it.
    m_done->setAutoDefault(false);
    connect(m_done, &QPushButton::clicked, this, &QDialog::accept);
    auto* top = new QHBoxLayout;
    top->addWidget(track);
    top->addStretch(1);
    top->addWidget(m_done);
    layout->addLayout(top);

    auto* field = new LoggerField(m_style.field, QString::fromLatin1(kThisLogPrompt), this);
    m_field = field->lineEdit();
    m_field->installEventFilter(this);
    connect(m_field, &QLineEdit::textChanged, m_model, &LogSearchModel::setQuery);
    layout->addWidget(field);

    m_searchRow = new QWidget(this);
    m_search = new QPushButton(QStringLiteral("Search"), m_searchRow);
    m_search->setAutoDefault(false);
    connect(m_search, &QPushButton::clicked, m_model, &LogSearchModel::submit);
    m_problem = plainLabel(m_style.problem, QString(), m_searchRow);
    m_problem->setWordWrap(true);
    auto* row = new QHBoxLayout(m_searchRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(m_style.searchRowSpacing);
    m_search->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    row->addWidget(m_search, 0, Qt::AlignVCenter);
    row->addWidget(m_problem, 1, Qt::AlignVCenter);
    row->addStretch(0);
    layout->addWidget(m_searchRow);
}

void LogSearchSheet::buildLocal()
{
    auto* page = new QWidget;
    m_list = new QListView(page);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setItemDelegate(new HitDelegate(m_style, m_list));
    m_list->setModel(m_model->rows());
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->verticalScrollBar()->setSingleStep(m_style.resultSpacing * 3);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setUniformItemSizes(false);
    m_list->setLayoutMode(QListView::Batched);
    m_list->setMouseTracking(true);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setCursor(Qt::PointingHandCursor);
    connect(m_list, &QListView::clicked, this, &LogSearchSheet::choose);
    connect(m_list, &QListView::activated, this, &LogSearchSheet::choose);

    m_nothing = plainLabel(m_style.nothing, QStringLiteral("Nothing in this log."), page);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(m_style.resultSpacing);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_nothing);
    layout->addStretch(0);
    m_results->addWidget(page);
}

void LogSearchSheet::buildCloud()
{
    m_cloudArea = new QScrollArea;
    m_cloudArea->setFrameShape(QFrame::NoFrame);
    m_cloudArea->setWidgetResizable(true);
    m_cloudArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* cards = new QWidget;
    m_cardLayout = new QVBoxLayout(cards);
    m_cardLayout->setContentsMargins(0, 0, 0, 0);
    m_cardLayout->setSpacing(m_style.resultSpacing);
    m_cardLayout->addStretch(1);
    m_cloudArea->setWidget(cards);
    // The sheet's background shows through: setWidget turns the filling on.
    m_cloudArea->viewport()->setAutoFillBackground(false);
    cards->setAutoFillBackground(false);
    m_results->addWidget(m_cloudArea);
}

QAbstractButton* LogSearchSheet::scopeButton(int scope) const
{
    return m_scopes.value(scope);
}

bool LogSearchSheet::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && isReturn(event)) {
        // Taken here in both scopes: left to the line edit, Return would reach the dialog.
        if (m_model->scope() == LogSearchModel::AllShoots)
            m_model->submit();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void LogSearchSheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_field->setFocus();
}

void LogSearchSheet::followScope()
{
    const bool cloud = m_model->scope() == LogSearchModel::AllShoots;
    m_scopes.at(cloud ? 1 : 0)->setChecked(true);
    const QString prompt = QString::fromLatin1(cloud ? kAllShootsPrompt : kThisLogPrompt);
    m_field->setPlaceholderText(prompt);
    m_field->setAccessibleName(prompt);
    m_searchRow->setVisible(cloud);
    m_results->setCurrentIndex(cloud ? 1 : 0);
}

void LogSearchSheet::followHits()
{
    const bool nothing = m_model->nothingFound();
    m_nothing->setVisible(nothing);
    m_list->setVisible(!nothing);
}

void LogSearchSheet::followCloud()
{
    m_search->setText(m_model->searching() ? QStringLiteral("Searching…") : QStringLiteral("Search"));
    m_search->setEnabled(m_model->canSubmit());
    m_problem->setText(m_model->problem());
    m_problem->setVisible(!m_model->problem().isEmpty());

    const QList<CloudSearchHit>& hits = m_model->cloudHits();
    QList<QUuid> ids;
    ids.reserve(hits.size());
    for (const CloudSearchHit& hit : hits)
        ids.append(hit.id);
    if (ids == m_shownCloud)
        return;
    m_shownCloud = ids;
    qDeleteAll(m_cards);
    m_cards.clear();
    QWidget* holder = m_cloudArea->widget();
    for (const CloudSearchHit& hit : hits) {
        auto* card = new CloudCard(hit, m_style, holder);
        connect(card->copy, &QAbstractButton::clicked, this, [this, hit] { copyLine(hit); });
        connect(card->open, &QAbstractButton::clicked, this, [this, hit] { openShoot(hit); });
        m_cardLayout->insertWidget(int(m_cards.size()), card);
        // A layout shows a widget added to a shown parent only on a later turn of the event loop;
        // shown now, a card is on screen from the moment it is in the list.
        card->show();
        m_cards.append(card);
    }
}

void LogSearchSheet::choose(const QModelIndex& index)
{
    if (m_chosen || !index.isValid())
        return;
    m_chosen = true;
    m_model->activate(index.row());
    accept();
}

void LogSearchSheet::copyLine(const CloudSearchHit& hit)
{
    QGuiApplication::clipboard()->setText(LogSearchModel::copyText(hit));
}

void LogSearchSheet::openShoot(const CloudSearchHit& hit)
{
    if (const std::optional<QUrl> url = m_model->shootUrl(hit))
        QDesktopServices::openUrl(*url);
}

void LogSearchSheet::restyle()
{
    setPaletteColour(this, QPalette::Window, Theme::background.current());
    // The cards' links are coral, as links are in the application's window.
    setPaletteColour(this, QPalette::Link, Theme::coral);
    setPaletteColour(m_problem, QPalette::WindowText, Theme::coral);
    setPaletteColour(m_nothing, QPalette::WindowText, Theme::muted.current());
    for (QWidget* card : std::as_const(m_cards))
        static_cast<CloudCard*>(card)->restyle();
    update();
}
