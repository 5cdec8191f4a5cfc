#pragma once

#include <QString>

class LogPaneView;

// The log pane as assistive tools read it. The captions over the columns are column headers in a
// row of their own; the log is a table with a row per entry, which reads as one line and holds
// the type, timecode, who, what was said and note as cells (the note field inside its cell while
// it is open). The row's painted controls are its actions and do what a click on them does.
namespace LogPaneAccessible {

// A click on the row.
inline const QString kSelectAction = QStringLiteral("Select");
// The note control: "+ Note" while the row has no note, else a click on its note.
inline const QString kAddNoteAction = QStringLiteral("+ Note");
inline const QString kEditNoteAction = QStringLiteral("Edit note");
// Only a suggested entry can be kept; its cross dismisses it, any other row's deletes it.
inline const QString kKeepAction = QStringLiteral("Keep");
inline const QString kDeleteAction = QStringLiteral("Delete");
inline const QString kDismissAction = QStringLiteral("Dismiss");

// The pane calls this as it is built.
void attach(LogPaneView* pane);

} // namespace LogPaneAccessible
