#pragma once

#include "service/LoggerAccount.h"

#include <QWidget>

#include <functional>

class QVBoxLayout;

// The window's content: chooses from the account's state alone what fills the window. A spinner
// card while a stored session is confirmed, the sign-in screen, the offline card, or the
// signed-in side.
class LoggerRoot : public QWidget {
    Q_OBJECT
public:
    enum class Screen {
        Progress, // checking
        SignIn,   // signed out
        Offline,  // the service cannot be reached
        SignedIn, // allowed
    };

    // Makes the signed-in side (the logging screen) each time the account is allowed in.
    using SignedInPage = std::function<QWidget*()>;

    // Without `signedInPage` the signed-in side is an empty page.
    explicit LoggerRoot(LoggerAccount& account, SignedInPage signedInPage = {}, QWidget* parent = nullptr);

    [[nodiscard]] Screen screen() const { return m_screen; }
    // The widget that fills the window now.
    [[nodiscard]] QWidget* page() const { return m_page; }

    [[nodiscard]] static Screen screenFor(const LoggerAccount::State& state);

Q_SIGNALS:
    // Another page fills the window.
    void pageChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void followState();
    [[nodiscard]] QWidget* buildPage(const LoggerAccount::State& state);

    LoggerAccount& m_account;
    const SignedInPage m_signedInPage;
    QVBoxLayout* m_layout;
    QWidget* m_page = nullptr;
    Screen m_screen = Screen::Progress;
    LoggerAccount::State m_shownState = LoggerAccount::State::checking();
    bool m_appeared = false;
};
