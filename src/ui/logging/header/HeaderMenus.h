#pragma once

#include "screens/HeaderModel.h"

#include <functional>

class QMenu;

// The header's drop-down menus, filled from the header model's rows.
namespace HeaderMenus {

using Run = std::function<void(const HeaderCommand& command, bool checked)>;

// A row's title as a menu shows it verbatim: a lone "&" would mark a mnemonic.
[[nodiscard]] QString menuText(const QString& title);

// Makes the menu show `items`: headings as disabled rows, toggles and picker rows checkable
// (each run of picker rows one exclusive group). Choosing a row calls `run` with its command and,
// for a toggle, its new state. A row still there keeps its action, so an open menu follows in
// place and the row under the pointer stays highlighted.
void fill(QMenu& menu, const QList<HeaderMenuItem>& items, const Run& run);

} // namespace HeaderMenus
