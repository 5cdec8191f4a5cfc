#include "ui/logging/header/HeaderMenus.h"

#include <QActionGroup>
#include <QMenu>

namespace HeaderMenus {

QString menuText(const QString& title)
{
    QString text = title;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void fill(QMenu& menu, const QList<HeaderMenuItem>& items, const Run& run)
{
    using Kind = HeaderMenuItem::Kind;
    // The groups of the previous fill go with the menu's old actions.
    for (QActionGroup* group : menu.findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly))
        delete group;
    menu.clear();
    QActionGroup* picker = nullptr;
    for (const HeaderMenuItem& item : items) {
        if (item.kind != Kind::Choice)
            picker = nullptr;
        if (item.kind == Kind::Divider) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(menuText(item.title));
        action->setEnabled(item.enabled && item.kind != Kind::Heading);
        if (item.kind == Kind::Toggle || item.kind == Kind::Choice) {
            action->setCheckable(true);
            action->setChecked(item.checked);
        }
        if (item.kind == Kind::Choice) {
            if (!picker) {
                picker = new QActionGroup(&menu);
                picker->setExclusive(true);
            }
            picker->addAction(action);
        }
        if (item.kind == Kind::Heading)
            continue;
        QObject::connect(action, &QAction::triggered, &menu,
                         [run, command = item.command](bool checked) { run(command, checked); });
    }
}

} // namespace HeaderMenus
