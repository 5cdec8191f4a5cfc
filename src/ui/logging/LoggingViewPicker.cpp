// The line picker: shown while the screen picks lines for a new entry.
#include "ui/logging/LinePickerSheet.h"
#include "ui/logging/LoggingView.h"

#include "ui/theme/Theme.h"

LinePickerSheet* LoggingView::openPicker() const
{
    return m_picker;
}

void LoggingView::wirePicker()
{
    connect(m_screen.get(), &LoggingScreenModel::pickingChanged, this, &LoggingView::followPicker);
}

void LoggingView::followPicker()
{
    LoggingScreenModel& screen = *m_screen;
    if (!screen.pickingFor()) {
        // Answered (it closed itself), or the entry went: take it down without an answer.
        if (m_picker)
            m_picker->withdraw();
        m_picker = nullptr;
        return;
    }
    const LoggingScreenModel::LinePicker picker = screen.linePicker();
    LinePickerSheet::Content content;
    content.title = picker.title;
    content.colour = picker.color;
    content.ticked = screen.pickIDs();
    content.lines.reserve(picker.lines.size());
    for (const DisplaySegment& line : picker.lines) {
        const std::optional<QString> speaker =
            line.speaker ? std::optional(screen.displayedSpeaker(*line.speaker)) : std::nullopt;
        content.lines.append({line.id, screen.lineTimecode(line), speaker,
                              line.channel < 0 ? Theme::coral : channelColor(line.channel), line.text});
    }
    if (m_picker) {
        m_picker->setContent(content);
        return;
    }
    m_picker = new LinePickerSheet(this);
    m_picker->setContent(content);
    connect(m_picker, &LinePickerSheet::toggled, m_screen.get(),
            [&screen](const QString& id) { screen.setPicked(id, !screen.pickIDs().contains(id)); });
    // An answered picker is on its way out: the next entry's picker is a new one.
    connect(m_picker, &LinePickerSheet::saveRequested, this, [this] {
        m_picker = nullptr;
        m_screen->applyPickedLines();
    });
    connect(m_picker, &LinePickerSheet::keepRequested, this, [this] {
        m_picker = nullptr;
        m_screen->keepWindowText();
    });
    relayShortcuts(m_picker);
    m_picker->open();
}
