#pragma once

#include "screens/LoggingScreenModel.h"
#include "ui/shell/LaunchOptions.h"

#include <QObject>
#include <QSize>

#include <memory>

class LoggerAccount;
class LoggerRoot;
class QAction;
class QMainWindow;
class QMenu;

// The application: its one window "Pindle Logger", whose content is the root view in the coral
// accent, and its menu commands. The File menu has no New item; "Sign out" follows "About" in
// the application menu and is there unless the account is signed out.
class PindleLoggerApp : public QObject {
    Q_OBJECT
public:
    static constexpr QSize kDefaultSize{1180, 800};
    static constexpr char kWindowId[] = "log";

    // `screen` is what each sign-in's logging screen is built on (empty members: the
    // application's own); the launch's demo mode is added to it.
    explicit PindleLoggerApp(LoggerAccount& account, LaunchOptions options = {}, LoggingScreenEnvironment screen = {},
                             QObject* parent = nullptr);
    ~PindleLoggerApp() override;

    [[nodiscard]] QMainWindow* window() const { return m_window.get(); }
    [[nodiscard]] LoggerRoot* root() const { return m_root; }
    [[nodiscard]] QMenu* applicationMenu() const { return m_applicationMenu; }
    [[nodiscard]] QAction* signOutAction() const { return m_signOut; }
    [[nodiscard]] const LaunchOptions& launchOptions() const { return m_options; }

    // "Sign out": forgets the session cookie (in memory and stored) and shows the sign-in
    // screen. Sends nothing to the service and keeps the e-mail address and every log.
    void signOut();

private:
    void buildMenus();
    void showAbout();
    void followState();

    LoggerAccount& m_account;
    const LaunchOptions m_options;
    std::unique_ptr<QMainWindow> m_window;
    LoggerRoot* m_root = nullptr;
    QMenu* m_applicationMenu = nullptr;
    QAction* m_signOut = nullptr;
};
