#include "ui/shell/PindleLoggerApp.h"

#include "service/LoggerAccount.h"
#include "ui/logging/LoggingView.h"
#include "ui/shell/LoggerRoot.h"
#include "ui/theme/AccessibleParts.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QAction>
#include <QCoreApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>

namespace {

const QString kAppName = QStringLiteral("Pindle Logger");

} // namespace

PindleLoggerApp::PindleLoggerApp(LoggerAccount& account, LaunchOptions options, LoggingScreenEnvironment screen,
                                 QObject* parent)
    : QObject(parent), m_account(account), m_options(options), m_window(std::make_unique<QMainWindow>())
{
    AccessibleParts::guardScrollAreas();
    m_window->setObjectName(QString::fromLatin1(kWindowId));
    m_window->setWindowTitle(kAppName);
    m_window->resize(kDefaultSize);

    screen.demo = screen.demo || m_options.demo;
    m_root = new LoggerRoot(m_account, [screen] { return new LoggingView(screen); });
    // The accent of every control in the window that takes one: selections, links.
    setPaletteColour(m_root, QPalette::Highlight, Theme::coral);
    setPaletteColour(m_root, QPalette::HighlightedText, Qt::white);
    setPaletteColour(m_root, QPalette::Link, Theme::coral);
    m_window->setCentralWidget(m_root);

    buildMenus();
    connect(&m_account, &LoggerAccount::stateChanged, this, &PindleLoggerApp::followState);
    followState();
}

PindleLoggerApp::~PindleLoggerApp() = default;

void PindleLoggerApp::buildMenus()
{
    QMenuBar* bar = m_window->menuBar();

    m_applicationMenu = bar->addMenu(kAppName);
    QAction* about = m_applicationMenu->addAction(tr("About Pindle Logger"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &PindleLoggerApp::showAbout);

    // No shortcut: signing out should take a deliberate choice.
    m_signOut = m_applicationMenu->addAction(tr("Sign out"));
    m_signOut->setMenuRole(QAction::NoRole);
    connect(m_signOut, &QAction::triggered, this, &PindleLoggerApp::signOut);

    m_applicationMenu->addSeparator();
    QAction* quit = m_applicationMenu->addAction(tr("Quit Pindle Logger"));
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, m_window.get(), &QWidget::close);

    // The one window is not made twice: the File menu has no New item and no New shortcut.
    QMenu* file = bar->addMenu(tr("File"));
    QAction* close = file->addAction(tr("Close Window"));
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, m_window.get(), &QWidget::close);
}

void PindleLoggerApp::showAbout()
{
    QString text = kAppName;
    const QString version = QCoreApplication::applicationVersion();
    if (!version.isEmpty())
        text += QLatin1Char('\n') + tr("Version %1").arg(version);
    QMessageBox box(QMessageBox::NoIcon, tr("About Pindle Logger"), text, QMessageBox::Ok, m_window.get());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void PindleLoggerApp::followState()
{
    const bool signedIn = m_account.state().kind() != LoggerAccount::State::Kind::SignedOut;
    m_signOut->setVisible(signedIn);
    m_signOut->setEnabled(signedIn);
}

void PindleLoggerApp::signOut()
{
    m_account.signOut();
}
