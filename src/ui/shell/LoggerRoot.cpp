#include "ui/shell/LoggerRoot.h"

#include "ui/shell/LoggerSignInView.h"
#include "ui/shell/OfflineCard.h"
#include "ui/theme/LoggerCard.h"
#include "ui/theme/LoggerSpinner.h"

#include <QTimer>
#include <QVBoxLayout>

LoggerRoot::LoggerRoot(LoggerAccount& account, SignedInPage signedInPage, QWidget* parent)
    : QWidget(parent), m_account(account), m_signedInPage(std::move(signedInPage)), m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_shownState = m_account.state();
    m_screen = screenFor(m_shownState);
    m_page = buildPage(m_shownState);
    m_layout->addWidget(m_page);
    connect(&m_account, &LoggerAccount::stateChanged, this, &LoggerRoot::followState);
}

LoggerRoot::Screen LoggerRoot::screenFor(const LoggerAccount::State& state)
{
    switch (state.kind()) {
    case LoggerAccount::State::Kind::Checking:
        return Screen::Progress;
    case LoggerAccount::State::Kind::SignedOut:
        return Screen::SignIn;
    case LoggerAccount::State::Kind::Offline:
        return Screen::Offline;
    case LoggerAccount::State::Kind::Allowed:
        return Screen::SignedIn;
    }
    return Screen::SignIn;
}

QWidget* LoggerRoot::buildPage(const LoggerAccount::State& state)
{
    QWidget* page = nullptr;
    switch (screenFor(state)) {
    case Screen::Progress:
        page = new LoggerCard(new LoggerSpinner);
        break;
    case Screen::SignIn:
        // A fresh card each time: the last address, no code, idle, no error.
        page = new LoggerSignInView(m_account);
        break;
    case Screen::Offline: {
        auto* card = new OfflineCard(state.offlineText());
        // "Try again" refreshes whatever the state is by then.
        connect(card, &OfflineCard::tryAgain, &m_account, &LoggerAccount::refresh);
        page = card;
        break;
    }
    case Screen::SignedIn:
        // A fresh screen for each sign-in: a new log, its stores read anew.
        page = m_signedInPage ? m_signedInPage() : new QWidget;
        break;
    }
    page->setParent(this);
    return page;
}

void LoggerRoot::followState()
{
    const LoggerAccount::State& state = m_account.state();
    if (state == m_shownState)
        return;
    m_shownState = state;
    m_screen = screenFor(state);
    QWidget* old = m_page;
    m_page = buildPage(state);
    delete m_layout->replaceWidget(old, m_page);
    // The old page may be the sender of what led here (a click on "Try again"): let it return
    // before it goes.
    old->hide();
    old->deleteLater();
    if (isVisible())
        m_page->show();
    Q_EMIT pageChanged();
}

void LoggerRoot::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_appeared)
        return;
    m_appeared = true;
    // A stored session is confirmed once the window is up; no other state needs anything.
    if (m_account.state().kind() == LoggerAccount::State::Kind::Checking) {
        QTimer::singleShot(0, this, [this] {
            if (m_account.state().kind() == LoggerAccount::State::Kind::Checking)
                m_account.refresh();
        });
    }
}
