#include "ui/logging/header/HeaderView.h"

#include "ui/logging/header/BrandBlock.h"
#include "ui/logging/header/HeaderMenus.h"
#include "ui/logging/header/HeaderPillButton.h"
#include "ui/logging/header/StatusBanner.h"
#include "ui/logging/header/TopBarLayout.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QVBoxLayout>

namespace {

// Tells its owner when a widget comes into or leaves the watched place.
class SlotWatcher final : public QObject {
public:
    SlotWatcher(std::function<void()> changed, QObject* parent) : QObject(parent), m_changed(std::move(changed)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A child is still being made when it is added: look once it is done.
        if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved)
            QMetaObject::invokeMethod(this, m_changed, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_changed;
};

QWidget* emptySlot(const QString& name, QBoxLayout* layout)
{
    auto* slot = new QWidget;
    slot->setObjectName(name);
    layout->setContentsMargins(0, 0, 0, 0);
    slot->setLayout(layout);
    slot->hide();
    return slot;
}

bool filled(const QWidget* slot)
{
    return !slot->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty();
}

HeaderPillButton* menuPill(const QString& symbol, const QString& title)
{
    auto* pill = new HeaderPillButton;
    pill->setContent(symbol, title);
    return pill;
}

} // namespace

HeaderView::HeaderView(LoggingScreenModel& screen, QWidget* parent, FrameClock* frames)
    : QWidget(parent), m_ownModel(std::make_unique<HeaderModel>(screen)), m_model(m_ownModel.get())
{
    build(frames);
    wire();
}

HeaderView::HeaderView(HeaderModel& model, QWidget* parent, FrameClock* frames) : QWidget(parent), m_model(&model)
{
    build(frames);
    wire();
}

HeaderView::~HeaderView() = default;

HeaderPillButton* HeaderView::pill(ToolbarPill::Kind kind) const
{
    return m_pills.value(static_cast<qsizetype>(kind));
}

void HeaderView::build(FrameClock* frames)
{
    setObjectName(QStringLiteral("header"));
    m_brand = new BrandBlock;
    m_sessions = menuPill(QStringLiteral("folder"), QStringLiteral("Sessions"));
    m_input = menuPill(QStringLiteral("mic"), QString());
    for (const ToolbarPill& model : m_model->pills()) {
        auto* pill = new HeaderPillButton;
        pill->setTitleHelp(true);
        pill->setObjectName(model.title.toLower() + QStringLiteral("Pill"));
        m_pills.append(pill);
    }
    m_startStop = new HeaderPillButton;
    m_startStop->setObjectName(QStringLiteral("startStopButton"));
    m_exportSlot = emptySlot(QStringLiteral("exportSlot"), new QHBoxLayout);

    // Every item keeps its natural size; a narrow bar wraps its controls rather than cut a text.
    auto* topBar = new TopBarLayout(m_style.topBarSpacing);
    topBar->addWidget(m_brand);
    for (QWidget* item : {static_cast<QWidget*>(m_sessions), static_cast<QWidget*>(m_input)})
        topBar->addWidget(item);
    for (HeaderPillButton* pill : std::as_const(m_pills))
        topBar->addWidget(pill);
    topBar->addWidget(m_exportSlot);
    topBar->addWidget(m_startStop);

    auto* timecodeRow = new QHBoxLayout;
    timecodeRow->setSpacing(m_style.timecodeSpacing);
    m_timecodeSlot = emptySlot(QStringLiteral("timecodeSlot"), timecodeRow);

    m_notice = new StatusBanner(nullptr, frames);
    m_notice->setObjectName(QStringLiteral("noticeBanner"));
    m_sync = new StatusBanner(nullptr, frames);
    m_sync->setObjectName(QStringLiteral("syncBanner"));

    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(m_style.rowSpacing);
    rows->addLayout(topBar);
    rows->addWidget(m_timecodeSlot);
    rows->addWidget(m_notice);
    rows->addWidget(m_sync);

    watchSlot(m_exportSlot);
    watchSlot(m_timecodeSlot);
}

QMenu* HeaderView::attachMenu(HeaderPillButton* pill, QList<HeaderMenuItem> (HeaderModel::*items)() const,
                              void (HeaderModel::*changed)())
{
    auto* menu = new QMenu(pill);
    HeaderModel* model = m_model;
    const auto refill = [menu, model, items] {
        HeaderMenus::fill(*menu, (model->*items)(),
                          [model](const HeaderCommand& command, bool checked) { model->run(command, checked); });
    };
    // Rows are read as the menu opens; an open menu follows changes in place on the next turn,
    // never from inside the action that caused them.
    connect(menu, &QMenu::aboutToShow, menu, refill);
    connect(
        m_model, changed, menu,
        [menu, refill] {
            if (menu->isVisible())
                refill();
        },
        Qt::QueuedConnection);
    pill->setMenu(menu);
    return menu;
}

void HeaderView::wire()
{
    HeaderModel& model = *m_model;
    const auto showBrand = [this] { m_brand->setBrand(m_model->brand()); };
    showBrand();
    connect(&model, &HeaderModel::brandChanged, m_brand, showBrand);

    m_sessionsMenu = attachMenu(m_sessions, &HeaderModel::sessionsMenu, &HeaderModel::sessionsMenuChanged);
    m_inputMenu = attachMenu(m_input, &HeaderModel::inputMenu, &HeaderModel::inputChanged);
    m_layoutMenu =
        attachMenu(pill(ToolbarPill::Kind::Layout), &HeaderModel::layoutMenu, &HeaderModel::layoutMenuChanged);
    showInput();
    connect(&model, &HeaderModel::inputChanged, this, &HeaderView::showInput);

    showPills();
    connect(&model, &HeaderModel::pillsChanged, this, &HeaderView::showPills);
    connect(pill(ToolbarPill::Kind::Search), &QAbstractButton::clicked, &model, &HeaderModel::openSearch);
    connect(pill(ToolbarPill::Kind::Buttons), &QAbstractButton::clicked, &model, &HeaderModel::openButtons);
    connect(pill(ToolbarPill::Kind::Alerts), &QAbstractButton::clicked, &model, &HeaderModel::openKeywords);

    showStartStop();
    connect(&model, &HeaderModel::startStopChanged, this, &HeaderView::showStartStop);
    connect(m_startStop, &QAbstractButton::clicked, &model, &HeaderModel::toggleLogging);

    showBanners();
    connect(&model, &HeaderModel::bannersChanged, this, &HeaderView::showBanners);
    connect(m_notice, &StatusBanner::dismissed, &model, &HeaderModel::dismissNotice);
    connect(m_sync, &StatusBanner::dismissed, &model, &HeaderModel::dismissSyncProblem);
}

void HeaderView::showInput()
{
    m_input->setContent(QStringLiteral("mic"), m_model->inputLabel());
    m_input->setHelp(m_model->inputHelp());
}

void HeaderView::showPills()
{
    const bool compact = m_model->compact();
    for (const ToolbarPill& model : m_model->pills()) {
        HeaderPillButton* button = pill(model.kind);
        button->setContent(model.symbol, model.title);
        button->setHelp(model.help);
        button->setActive(model.active);
        button->setCompact(compact);
    }
}

void HeaderView::showStartStop()
{
    const HeaderStartStop value = m_model->startStop();
    m_startStop->setContent(QString(), value.title);
    m_startStop->setDot(value.running ? HeaderPillButton::Dot::Lit : HeaderPillButton::Dot::Unlit);
}

void HeaderView::showBanners()
{
    m_notice->setMessage(m_model->notice());
    m_sync->setMessage(m_model->syncProblem());
}

void HeaderView::watchSlot(QWidget* slot)
{
    slot->installEventFilter(new SlotWatcher([this] { followSlots(); }, slot));
}

void HeaderView::followSlots()
{
    for (QWidget* slot : {m_exportSlot, m_timecodeSlot})
        slot->setVisible(filled(slot));
}
