#pragma once

#include <QString>

class TranscriptListView;

// The transcript as assistive tools read it: a list with an item per line, which reads as the
// line's timecode, speaker and words (see TranscriptListModel) and whose action selects the line
// as a click does. The note composer opened under a line is that line's child, so its field, its
// "Log" button and its kind chips are found under the line they log.
namespace TranscriptAccessible {

// A click on the line.
inline const QString kSelectAction = QStringLiteral("Select");

// The transcript pane calls this as it is built.
void attach(TranscriptListView* list);

} // namespace TranscriptAccessible
