#include "ui/logging/TranscriptAccessible.h"

#include "screens/TranscriptListModel.h"
#include "ui/logging/ComposerView.h"
#include "ui/logging/ItemRowsAccessible.h"
#include "ui/logging/TranscriptListView.h"
#include "ui/theme/AccessibleParts.h"

namespace {

using Role = TranscriptListModel::Role;

class TranscriptRowsAccessible final : public ItemRowsAccessible {
public:
    explicit TranscriptRowsAccessible(TranscriptListView* list)
        : ItemRowsAccessible(list, QAccessible::List, QAccessible::ListItem)
    {
    }

    [[nodiscard]] TranscriptListView* list() const { return static_cast<TranscriptListView*>(view()); }

    void addRowState(const QModelIndex& index, QAccessible::State& state) const override
    {
        state.selectable = true;
        state.selected = index.data(Role::SelectedRole).toBool();
    }

    [[nodiscard]] QStringList rowActions(const QModelIndex&) const override
    {
        return {TranscriptAccessible::kSelectAction};
    }

    [[nodiscard]] QString rowActionDescription(const QModelIndex&, const QString&) const override
    {
        return QStringLiteral("Select this line to log it with a note");
    }

    void doRowAction(const QModelIndex& index, const QString&) override
    {
        // A tool's press on a line is that line's click.
        Q_EMIT list()->lineClicked(index);
    }

    [[nodiscard]] QWidget* rowWidget(const QModelIndex& index) const override
    {
        auto* composer = view()->viewport()->findChild<ComposerView*>(QString(), Qt::FindDirectChildrenOnly);
        if (!composer || !composer->isVisible())
            return nullptr;
        // The composer is placed inside the row it belongs to.
        return view()->indexAt(composer->geometry().center()) == index ? composer : nullptr;
    }

protected:
    [[nodiscard]] bool affectsText(const QList<int>& roles) const override
    {
        return roles.isEmpty() || roles.contains(Qt::AccessibleTextRole) || roles.contains(Qt::DisplayRole) ||
               roles.contains(Qt::ToolTipRole);
    }
};

// The composer reads as a part of the line it is open under.
class ComposerAccessible final : public QAccessibleWidget {
public:
    explicit ComposerAccessible(ComposerView* composer) : QAccessibleWidget(composer, QAccessible::Grouping) {}

    [[nodiscard]] QAccessibleInterface* parent() const override
    {
        for (QWidget* above = widget()->parentWidget(); above; above = above->parentWidget()) {
            auto* list = qobject_cast<TranscriptListView*>(above);
            if (!list)
                continue;
            const auto* rows = dynamic_cast<TranscriptRowsAccessible*>(QAccessible::queryAccessibleInterface(list));
            if (QAccessibleInterface* row = rows ? rows->rowShowing(widget()) : nullptr)
                return row;
            break;
        }
        return QAccessibleWidget::parent();
    }
};

QAccessibleInterface* transcriptFactory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String(TranscriptListView::staticMetaObject.className()))
        return new TranscriptRowsAccessible(static_cast<TranscriptListView*>(object));
    if (className == QLatin1String(ComposerView::staticMetaObject.className()))
        return new ComposerAccessible(static_cast<ComposerView*>(object));
    return nullptr;
}

} // namespace

namespace TranscriptAccessible {

void attach(TranscriptListView* list)
{
    static const bool installed = [] {
        QAccessible::installFactory(&transcriptFactory);
        return true;
    }();
    Q_UNUSED(installed);
    AccessibleParts::replaceEarlyInterface(
        list, [](QAccessibleInterface* iface) { return dynamic_cast<TranscriptRowsAccessible*>(iface) != nullptr; });
}

} // namespace TranscriptAccessible
