#include "ui/logging/TranscriptPaneView.h"

#include "screens/TranscriptListModel.h"
#include "ui/logging/TranscriptAccessible.h"
#include "ui/logging/TranscriptListView.h"
#include "ui/logging/TranscriptRowDelegate.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/PlainLabel.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Transition.h"
#include "ui/theme/WidgetPalette.h"

#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

using Role = TranscriptListModel::Role;

QString idOf(const QModelIndex& row)
{
    return row.data(Role::IdRole).toString();
}

} // namespace

// The waiting banner: a label that fades in and out, painting its surface and text at the
// transition's opacity. It keeps its room until it has faded out.
class TranscriptPaneView::Banner final : public QLabel {
public:
    Banner(FrameClock& frames, const TextStyle& style) : m_fade(new Transition(this, frames, motion::kDefault, false))
    {
        // Lines that waited are counted, never markup.
        setTextFormat(Qt::PlainText);
        setFont(style.font());
        connect(m_fade, &Transition::stepped, this, [this] { update(); });
        connect(m_fade, &Transition::finished, this, [this] {
            if (!m_fade->isShown())
                hide();
        });
    }

    void setShown(bool shown)
    {
        if (shown)
            show();
        m_fade->setShown(shown);
    }
    [[nodiscard]] bool isShownByState() const { return m_fade->isShown(); }
    [[nodiscard]] double opacity() const { return isHidden() ? 0.0 : m_fade->opacity(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setOpacity(m_fade->opacity());
        painter.fillRect(rect(), palette().color(QPalette::Window));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setFont(font());
        painter.drawText(contentsRect(), int(alignment()) | Qt::TextSingleLine, text());
    }

private:
    Transition* m_fade;
};

TranscriptPaneView::TranscriptPaneView(TranscriptListModel* model, QWidget* parent, FrameClock* frames)
    : QWidget(parent), m_model(model), m_banner(nullptr), m_statusRow(new QWidget),
      m_status(plainLabel(m_style.status)), m_stack(new QStackedWidget), m_empty(plainLabel(m_style.empty)),
      m_list(new TranscriptListView(nullptr, frames))
{
    FrameClock& clock = frames ? *frames : FrameClock::shared();
    m_banner = new Banner(clock, m_style.banner);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_banner->setAlignment(Qt::AlignCenter);
    m_banner->setContentsMargins(0, m_style.bannerVerticalPadding, 0, m_style.bannerVerticalPadding);
    m_banner->hide();
    layout->addWidget(m_banner);

    auto* statusLayout = new QVBoxLayout(m_statusRow);
    statusLayout->setContentsMargins(m_style.statusHorizontalPadding, 0, m_style.statusHorizontalPadding,
                                     m_style.statusBottomPadding);
    m_status->setWordWrap(true);
    m_status->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    statusLayout->addWidget(m_status);
    m_statusRow->hide();
    layout->addWidget(m_statusRow);

    auto* emptyPage = new QWidget;
    auto* emptyLayout = new QVBoxLayout(emptyPage);
    const int padding = m_style.emptyPadding;
    emptyLayout->setContentsMargins(padding, padding, padding, padding);
    m_empty->setWordWrap(true);
    m_empty->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    emptyLayout->addWidget(m_empty);
    emptyLayout->addStretch(1);
    m_stack->addWidget(emptyPage);
    m_stack->addWidget(m_list);
    m_stack->setCurrentWidget(m_list);
    layout->addWidget(m_stack, 1);

    m_list->setAccessibleName(QStringLiteral("Transcript"));
    TranscriptAccessible::attach(m_list);
    m_list->setModel(model);
    connect(m_list, &TranscriptListView::lineClicked, this,
            [this](const QModelIndex& row) { Q_EMIT selectRequested(idOf(row)); });
    connect(m_list, &TranscriptListView::hoverEntered, this, &TranscriptPaneView::hoverChanged);
    connect(m_list, &TranscriptListView::hoverLeft, this, &TranscriptPaneView::hoverLeft);
    connect(m_list, &TranscriptListView::menuRequested, this, &TranscriptPaneView::showMenu);
    connect(m_list, &TranscriptListView::dropped, this,
            [this](const QModelIndex& row, const QStringList& texts) { Q_EMIT dropped(texts, idOf(row)); });

    restyle();
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &TranscriptPaneView::restyle);
}

TranscriptPaneView::~TranscriptPaneView() = default;

TranscriptRowDelegate* TranscriptPaneView::delegate() const
{
    return m_list->rowDelegate();
}

void TranscriptPaneView::restyle()
{
    setPaletteColour(m_banner, QPalette::Window, Theme::surface.current());
    setPaletteColour(m_banner, QPalette::WindowText, Theme::muted.current());
    setPaletteColour(m_status, QPalette::WindowText, Theme::faint.current());
    setPaletteColour(m_empty, QPalette::WindowText, Theme::faint.current());
    m_list->viewport()->update();
}

void TranscriptPaneView::setState(const TranscriptPaneState& state)
{
    const std::optional<TranscriptPaneState> before = std::exchange(m_state, state);
    // The last count stays on the banner while it fades out.
    if (!state.banner.isEmpty())
        m_banner->setText(state.banner);
    m_banner->setShown(!state.banner.isEmpty());
    m_status->setText(state.status);
    m_statusRow->setVisible(!state.status.isEmpty());
    m_empty->setText(state.emptyText);
    m_stack->setCurrentIndex(state.emptyText.isEmpty() ? 1 : 0);
    // Nothing scrolls when the pane is first shown.
    if (!before)
        return;
    if (before->held && !state.held)
        m_list->glideToEnd();
    else if (state.lineCount != before->lineCount && !state.jumpTarget && !state.held)
        m_list->glideToEnd();
    if (state.jumpTarget && state.jumpTarget != before->jumpTarget)
        jumpTo(*state.jumpTarget);
}

void TranscriptPaneView::jumpTo(const QString& lineID)
{
    if (const std::optional<int> row = m_model->rowOf(lineID))
        m_list->glideTo(m_model->index(*row), QAbstractItemView::PositionAtCenter);
}

void TranscriptPaneView::setComposer(QWidget* composer)
{
    m_list->setComposer(composer);
}

bool TranscriptPaneView::showsBanner() const
{
    return m_banner->isShownByState();
}

double TranscriptPaneView::bannerOpacity() const
{
    return m_banner->opacity();
}

QString TranscriptPaneView::bannerText() const
{
    return showsBanner() ? m_banner->text() : QString();
}

bool TranscriptPaneView::showsStatus() const
{
    return !m_statusRow->isHidden();
}

QString TranscriptPaneView::statusText() const
{
    return m_status->text();
}

bool TranscriptPaneView::showsEmptyText() const
{
    return m_stack->currentIndex() == 0;
}

QString TranscriptPaneView::emptyText() const
{
    return m_empty->text();
}

QString TranscriptPaneView::renameTitle(const QString& speaker)
{
    // A bare "&" in a menu item would mark a shortcut letter.
    return QStringLiteral("Rename ") + QString(speaker).replace(QLatin1Char('&'), QStringLiteral("&&")) +
           QStringLiteral("…");
}

std::unique_ptr<QMenu> TranscriptPaneView::menuFor(const QModelIndex& row)
{
    const QString speaker = row.data(Role::SpeakerRole).toString();
    if (!row.isValid() || speaker.isEmpty())
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    const QString id = idOf(row);
    menu->addAction(renameTitle(speaker), this, [this, id] { Q_EMIT renameRequested(id); });
    return menu;
}

void TranscriptPaneView::showMenu(const QModelIndex& row, const QPoint& at)
{
    if (const std::unique_ptr<QMenu> menu = menuFor(row))
        menu->exec(at);
}
