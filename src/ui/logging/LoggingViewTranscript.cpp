// The transcript pane and the note composer under its selected line.
#include "ui/logging/LoggingView.h"

#include "screens/TranscriptListModel.h"
#include "ui/logging/ComposerView.h"
#include "ui/logging/TranscriptPaneView.h"

#include <QVBoxLayout>

void LoggingView::buildTranscript()
{
    TranscriptPaneModel& pane = m_screen->transcriptPane();
    // The rows follow a hold before the view reads the pane's state.
    m_transcriptRows = std::make_unique<TranscriptListModel>(pane);
    m_transcript = new TranscriptPaneView(m_transcriptRows.get());
    m_transcriptSlot->layout()->addWidget(m_transcript);
    m_composer = new ComposerView;
    m_transcript->setComposer(m_composer);

    const auto showState = [this, &pane] { m_transcript->setState(pane.state()); };
    showState();
    connect(&pane, &TranscriptPaneModel::stateChanged, m_transcript, showState);
    connect(m_transcript, &TranscriptPaneView::selectRequested, &pane, &TranscriptPaneModel::select);
    connect(m_transcript, &TranscriptPaneView::hoverChanged, &pane, &TranscriptPaneModel::setHover);
    connect(m_transcript, &TranscriptPaneView::hoverLeft, &pane, &TranscriptPaneModel::leaveHover);
    connect(m_transcript, &TranscriptPaneView::renameRequested, &pane, &TranscriptPaneModel::renameFromLine);
    connect(m_transcript, &TranscriptPaneView::dropped, m_screen.get(),
            [this](const QStringList& texts, const QString& lineID) { m_screen->dropOnLine(texts, lineID); });

    LoggingScreenModel& screen = *m_screen;
    const auto showComposer = [this, &screen] {
        m_composer->setContent(
            {screen.draftNote(), screen.buttons().visible(), screen.composerKind(), screen.composerFocused()});
    };
    showComposer();
    connect(&screen, &LoggingScreenModel::composerChanged, m_composer, showComposer);
    connect(&screen.buttons(), &LogButtonStore::buttonsChanged, m_composer, showComposer);
    connect(m_composer, &ComposerView::noteEdited, &screen, &LoggingScreenModel::setDraftNote);
    connect(m_composer, &ComposerView::kindPicked, &screen, &LoggingScreenModel::setDraftKind);
    connect(m_composer, &ComposerView::cancelRequested, &screen, &LoggingScreenModel::cancelComposer);
    // The logger goes on in the screen (its shortcuts act window-wide), not in the header.
    connect(m_composer, &ComposerView::keyboardLeaving, this, [this] { setFocus(Qt::OtherFocusReason); });
    connect(m_composer, &ComposerView::commitRequested, &screen, [&screen] {
        if (const std::optional<QString> line = screen.composingLine())
            screen.commitComposer(*line);
    });
}
