#include "ui/logging/LoggingView.h"

#include "platform/MotionPreference.h"
#include "screens/AgentPanelModel.h"
#include "screens/LogEntryListModel.h"
#include "screens/LogExporter.h"
#include "screens/TranscriptListModel.h"
#include "ui/logging/ButtonBar.h"
#include "ui/logging/LinePickerSheet.h"
#include "ui/logging/LogPaneView.h"
#include "ui/logging/TagBar.h"
#include "ui/logging/TextAlert.h"
#include "ui/logging/WindowAccessor.h"
#include "ui/logging/header/LogButtonsSheet.h"
#include "ui/logging/header/LogKeywordsSheet.h"
#include "ui/logging/sheets/FileDialogSavePanel.h"
#include "ui/logging/sheets/LogExportSheet.h"
#include "ui/logging/sheets/LogSearchSheet.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/FrameClock.h"
#include "ui/theme/PaneParts.h"
#include "ui/theme/Theme.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QShortcut>
#include <QVBoxLayout>

LoggingView::LoggingView(LoggingScreenEnvironment environment, QWidget* parent)
    : QWidget(parent), m_screen(std::make_unique<LoggingScreenModel>(std::move(environment)))
{
    setMinimumSize(kMinimumSize);
    setAccessibleName(QStringLiteral("Logging"));

    m_rows = std::make_unique<LogEntryListModel>(m_screen->logPane());
    m_logPane = new LogPaneView(m_rows.get());
    m_tagBar = new TagBar;
    m_buttonBar = new ButtonBar;

    buildLayout();
    buildTranscript();
    buildExport();

    wireButtonBar();
    wireLogPane();
    wireTagBar();
    wireAlerts();
    wireLayout();
    wireShortcuts();
    wirePicker();
    connect(m_screen.get(), &LoggingScreenModel::sheetsChanged, this, &LoggingView::followSheets);
    connect(m_screen.get(), &LoggingScreenModel::showSearchChanged, this, &LoggingView::followSearch);
    connect(m_screen.get(), &LoggingScreenModel::raiseRequested, this, [this] {
        window()->show();
        window()->raise();
        window()->activateWindow();
    });
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, [this] { update(); });
}

LoggingView::~LoggingView()
{
    // The alert, the picker and the sheets work on the screen's stores; they must not outlive it.
    delete m_alert;
    delete m_picker;
    delete m_buttonsSheet;
    delete m_keywordsSheet;
    delete m_exportSheet;
    delete m_searchSheet;
    // The views draw the models held here: they go first.
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

TextAlert* LoggingView::openAlert() const
{
    return m_alert;
}

void LoggingView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_appeared)
        return;
    m_appeared = true;
    WindowAccessor::whenInWindow(this, &WindowAccessor::configureLoggingWindow);
    m_screen->appear();
}

void LoggingView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::background.current());
}

void LoggingView::wireButtonBar()
{
    const auto showChips = [this] { m_buttonBar->setChips(m_screen->buttonChips()); };
    showChips();
    connect(m_screen.get(), &LoggingScreenModel::buttonChipsChanged, m_buttonBar, showChips);
    connect(m_buttonBar, &ButtonBar::pressed, m_screen.get(), &LoggingScreenModel::tapButton);
}

void LoggingView::wireLogPane()
{
    LogPaneModel& pane = m_screen->logPane();
    connect(m_logPane, &LogPaneView::selectRequested, &pane, &LogPaneModel::selectEntry);
    connect(m_logPane, &LogPaneView::deleteRequested, &pane, &LogPaneModel::deleteEntry);
    connect(m_logPane, &LogPaneView::keepRequested, &pane, &LogPaneModel::keepEntry);
    connect(m_logPane, &LogPaneView::startNoteRequested, &pane, &LogPaneModel::startNote);
    connect(m_logPane, &LogPaneView::endNoteRequested, &pane, &LogPaneModel::endNote);
    // The keyboard moves into and out of note fields by itself (clicks, Tab); the pane hears of it.
    connect(m_logPane, &LogPaneView::focusedNoteChanged, &pane, &LogPaneModel::setFocusedNote);
    const auto followFocus = [this, &pane] { m_logPane->setFocusedNote(pane.state().focusedNote); };
    connect(&pane, &LogPaneModel::stateChanged, m_logPane, followFocus);
    // With reduced motion a flash ends with its hold instead of fading.
    MotionPreference& motion = FrameClock::shared().motion();
    pane.setReduceMotion(motion.reduceMotion());
    connect(&motion, &MotionPreference::reduceMotionChanged, &pane, &LogPaneModel::setReduceMotion);
}

void LoggingView::wireTagBar()
{
    LogPaneModel& pane = m_screen->logPane();
    LogTagStore& tags = m_screen->tags();
    const auto showTags = [this, &tags] { m_tagBar->setTags(tags.available()); };
    showTags();
    connect(&tags, &LogTagStore::availableChanged, m_tagBar, showTags);
    // The target's label follows the selection and the open ranges.
    const auto showTarget = [this, &pane] { m_tagBar->setTargetLabel(pane.tagTargetLabel()); };
    showTarget();
    connect(&pane, &LogPaneModel::stateChanged, m_tagBar, showTarget);
    connect(&m_screen->log(), &LoggingLog::entriesChanged, m_tagBar, showTarget);

    connect(m_tagBar, &TagBar::tagClicked, &pane, &LogPaneModel::applyTag);
    connect(m_tagBar, &TagBar::addRequested, &pane, [&pane] { pane.setShowAddTag(true); });
    connect(m_tagBar, &TagBar::newTagSubmitted, &pane, [&pane](const QString& text) {
        pane.newTag = text;
        pane.addNewTag();
    });
    connect(m_tagBar, &TagBar::newTagEdited, &pane, [&pane](const QString& text) { pane.newTag = text; });
    connect(m_tagBar, &TagBar::addPopoverDismissed, &pane, [&pane](const QString& text) {
        // The typed text stays for the next time the popover opens.
        pane.newTag = text;
        pane.setShowAddTag(false);
    });
    connect(&pane, &LogPaneModel::stateChanged, m_tagBar,
            [this, &pane] { m_tagBar->setAddPopoverOpen(pane.state().showAddTag, pane.newTag); });
}

void LoggingView::wireShortcuts()
{
    // Window-wide: they act wherever the keyboard is in the window.
    const auto bind = [this](const QKeySequence& keys, void (LoggingScreenModel::*action)()) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, m_screen.get(), action);
    };
    bind(QKeySequence(Qt::CTRL | Qt::Key_Return), &LoggingScreenModel::selectNewestLine);
    bind(QKeySequence(Qt::CTRL | Qt::Key_Enter), &LoggingScreenModel::selectNewestLine);
    bind(QKeySequence(Qt::CTRL | Qt::Key_N), &LoggingScreenModel::noteOnLastEntry);
    bind(QKeySequence(Qt::CTRL | Qt::Key_F), &LoggingScreenModel::openSearch);
}

namespace {

// A window-wide shortcut of `window`, whether or not it could act now.
bool belongsTo(const QShortcut* shortcut, const QWidget* window)
{
    const auto* owner = qobject_cast<const QWidget*>(shortcut->parent());
    return shortcut->context() == Qt::WindowShortcut && owner && owner->window() == window;
}

// A shortcut of `window` that Qt would fire now if that window had the keyboard.
bool actsIn(const QShortcut* shortcut, const QWidget* window)
{
    const auto* owner = qobject_cast<const QWidget*>(shortcut->parent());
    return belongsTo(shortcut, window) && shortcut->isEnabled() && owner->isVisible() && owner->isEnabled();
}

// Ctrl, Alt or Meta with a key: never one of a dialog's own plain keys (Return, Esc, Space).
bool isCommandKey(const QKeySequence& keys)
{
    return keys.count() == 1 &&
           keys[0].keyboardModifiers().testAnyFlags(Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

} // namespace

void LoggingView::relayShortcuts(QWidget* dialog)
{
    // Qt matches only the active window's shortcuts, and a window-modal dialog of the screen (the
    // line picker) holds the keyboard. The dialog passes the window's command keys on, each acting
    // exactly as it would in the window: the marker keys, Ctrl+Return, Ctrl+N, Ctrl+F.
    QList<QKeySequence> keys;
    for (const QShortcut* shortcut : findChildren<QShortcut*>())
        if (belongsTo(shortcut, window()))
            for (const QKeySequence& key : shortcut->keys())
                if (isCommandKey(key) && !keys.contains(key))
                    keys.append(key);
    for (const QKeySequence& key : std::as_const(keys)) {
        auto* relay = new QShortcut(key, dialog);
        relay->setContext(Qt::WindowShortcut);
        connect(relay, &QShortcut::activated, this, [this, key] {
            QList<QShortcut*> acting;
            for (QShortcut* shortcut : findChildren<QShortcut*>())
                if (shortcut->keys().contains(key) && actsIn(shortcut, window()))
                    acting.append(shortcut);
            // As in the window: a key that two shortcuts claim does neither.
            if (acting.size() == 1)
                Q_EMIT acting.constFirst()->activated();
        });
    }
}

void LoggingView::wireAlerts()
{
    connect(m_screen.get(), &LoggingScreenModel::renamingChanged, this, &LoggingView::followAlerts);
    connect(m_screen.get(), &LoggingScreenModel::showTCEntryChanged, this, &LoggingView::followAlerts);
}

void LoggingView::followAlerts()
{
    LoggingScreenModel& screen = *m_screen;
    // One alert at a time; the next shows once the one on screen is answered.
    if (m_alert)
        return;
    if (const std::optional<QString>& speaker = screen.renamingSpeaker()) {
        showAlert(
            TextAlert::renameSpeaker(*speaker, screen.renameText, this),
            [&screen](const QString& text) {
                screen.renameText = text;
                screen.saveSpeakerName();
            },
            [&screen] { screen.setRenamingSpeaker(std::nullopt); });
    } else if (const std::optional<int>& channel = screen.renamingChannel()) {
        showAlert(
            TextAlert::nameChannel(*channel, screen.channelNameText, this),
            [&screen](const QString& text) {
                screen.channelNameText = text;
                screen.saveChannelName();
            },
            [&screen] { screen.setRenamingChannel(std::nullopt); });
    } else if (screen.showTCEntry()) {
        showAlert(
            TextAlert::typeTimecode(screen.tcDraft, this),
            [&screen](const QString& text) {
                // The draft stays as typed whether or not it locks.
                screen.tcDraft = text;
                screen.lockTypedTimecode();
                screen.setShowTCEntry(false);
            },
            [&screen] { screen.setShowTCEntry(false); });
    }
}

void LoggingView::showAlert(TextAlert* alert, std::function<void(const QString&)> accept, std::function<void()> cancel)
{
    m_alert = alert;
    connect(alert, &TextAlert::accepted, this, [this, accept = std::move(accept)](const QString& text) {
        m_alert = nullptr;
        accept(text);
        followAlerts();
    });
    connect(alert, &TextAlert::cancelled, this, [this, cancel = std::move(cancel)] {
        m_alert = nullptr;
        cancel();
        followAlerts();
    });
    alert->open();
}

LogExportSheet* LoggingView::openExportSheet() const
{
    return m_exportSheet;
}

LogSearchSheet* LoggingView::openSearchSheet() const
{
    return m_searchSheet;
}

void LoggingView::followSheets()
{
    LoggingScreenModel& screen = *m_screen;
    // Each sheet lives while its flag holds; closing it any way clears the flag.
    if (screen.showButtons() && !m_buttonsSheet) {
        m_buttonsSheet = new LogButtonsSheet(screen.buttons(), this);
        connect(m_buttonsSheet, &QDialog::finished, this, [this] { m_screen->setShowButtons(false); });
        m_buttonsSheet->open();
    } else if (!screen.showButtons() && m_buttonsSheet) {
        m_buttonsSheet->close();
    }
    if (screen.showKeywords() && !m_keywordsSheet) {
        m_keywordsSheet = new LogKeywordsSheet(screen.keywords(), this);
        connect(m_keywordsSheet, &QDialog::finished, this, [this] { m_screen->setShowKeywords(false); });
        m_keywordsSheet->open();
    } else if (!screen.showKeywords() && m_keywordsSheet) {
        m_keywordsSheet->close();
    }
    if (screen.showExport() && !m_exportSheet) {
        m_exportSheet = new LogExportSheet(screen.log().entries().toList(), screen.buttons(), screen.defaults(), this);
        connect(m_exportSheet, &QDialog::finished, this, [this] { m_screen->setShowExport(false); });
        connect(m_exportSheet, &LogExportSheet::exported, m_exporter.get(), &LogExporter::exportChoice);
        m_exportSheet->open();
    } else if (!screen.showExport() && m_exportSheet) {
        m_exportSheet->close();
    }
}

void LoggingView::followSearch()
{
    LoggingScreenModel& screen = *m_screen;
    // A new sheet each time: it opens on this log with an empty query.
    if (screen.showSearch() && !m_searchSheet) {
        m_searchSheet = new LogSearchSheet(LogSearchModel::Sources::of(screen, screen.service()), this);
        connect(m_searchSheet, &QDialog::finished, this, [this] { m_screen->setShowSearch(false); });
        m_searchSheet->open();
    } else if (!screen.showSearch() && m_searchSheet) {
        m_searchSheet->close();
    }
}
