#include "ui/logging/header/HeaderMenus.h"

#include <QActionGroup>
#include <QMenu>

namespace HeaderMenus {

namespace {

using Kind = HeaderMenuItem::Kind;

// What a row is, apart from how it reads now: its action stays while this holds, so an open menu
// keeps the row under the pointer when a title, a count or a check changes.
QString rowKey(const HeaderMenuItem& item, int dividersBefore)
{
    const QString kind = QString::number(static_cast<int>(item.kind));
    switch (item.kind) {
    case Kind::Divider:
        return kind + u'|' + QString::number(dividersBefore);
    case Kind::Heading:
        return kind + u'|' + item.title;
    case Kind::Action:
    case Kind::Toggle:
    case Kind::Choice:
        break;
    }
    return kind + u'|' + QString::number(static_cast<int>(item.command.kind)) + u'|' + item.command.argument;
}

QAction* takeRow(QList<QAction*>& actions, const QString& key)
{
    for (qsizetype i = 0; i < actions.size(); ++i)
        if (actions.at(i)->data().toString() == key)
            return actions.takeAt(i);
    return nullptr;
}

QAction* makeRow(QMenu& menu, const HeaderMenuItem& item, const QString& key, const Run& run)
{
    auto* action = new QAction(&menu);
    action->setData(key);
    action->setSeparator(item.kind == Kind::Divider);
    action->setCheckable(item.kind == Kind::Toggle || item.kind == Kind::Choice);
    // The command is part of the row's key: it never changes for this action.
    if (item.kind != Kind::Divider && item.kind != Kind::Heading)
        QObject::connect(action, &QAction::triggered, &menu,
                         [run, command = item.command](bool checked) { run(command, checked); });
    return action;
}

// Each run of picker rows is one exclusive group; a run that already is one keeps its group.
void groupChoices(QMenu& menu, const QList<HeaderMenuItem>& items, const QList<QAction*>& rows)
{
    const QList<QActionGroup*> before = menu.findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly);
    for (qsizetype first = 0; first < items.size();) {
        if (items.at(first).kind != Kind::Choice) {
            ++first;
            continue;
        }
        qsizetype end = first;
        while (end < items.size() && items.at(end).kind == Kind::Choice)
            ++end;
        const QList<QAction*> run = rows.mid(first, end - first);
        QActionGroup* group = run.constFirst()->actionGroup();
        if (!group || group->actions() != run) {
            group = new QActionGroup(&menu);
            group->setExclusive(true);
            for (QAction* action : run)
                group->addAction(action);
        }
        first = end;
    }
    for (QActionGroup* group : before)
        if (group->actions().isEmpty())
            delete group;
}

} // namespace

QString menuText(const QString& title)
{
    QString text = title;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void fill(QMenu& menu, const QList<HeaderMenuItem>& items, const Run& run)
{
    QList<QAction*> old = menu.actions();
    QList<QAction*> rows;
    rows.reserve(items.size());
    int dividers = 0;
    for (const HeaderMenuItem& item : items) {
        const QString key = rowKey(item, dividers);
        if (item.kind == Kind::Divider)
            ++dividers;
        QAction* action = takeRow(old, key);
        rows.append(action ? action : makeRow(menu, item, key, run));
    }
    for (QAction* gone : std::as_const(old))
        delete gone;
    // Moves only what is out of place: a moved action is taken out and put back, and the menu
    // forgets it was the one under the pointer.
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QList<QAction*> shown = menu.actions();
        if (i < shown.size() && shown.at(i) == rows.at(i))
            continue;
        menu.insertAction(i < shown.size() ? shown.at(i) : nullptr, rows.at(i));
    }
    groupChoices(menu, items, rows);
    // Unchanged values send nothing, so an open menu repaints only the rows that changed.
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const HeaderMenuItem& item = items.at(i);
        QAction* action = rows.at(i);
        if (item.kind == Kind::Divider)
            continue;
        action->setText(menuText(item.title));
        action->setEnabled(item.enabled && item.kind != Kind::Heading);
        if (action->isCheckable())
            action->setChecked(item.checked);
    }
}

} // namespace HeaderMenus
