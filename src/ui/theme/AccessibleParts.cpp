#include "ui/theme/AccessibleParts.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAccessibleWidget>
#include <QHash>
#include <QScrollBar>

#include <algorithm>

namespace {

struct Part {
    enum class Kind { PaintedText, OwnerTicked };
    Kind kind = Kind::PaintedText;
    QAccessible::Role role = QAccessible::StaticText;
    std::function<QString()> text;
    // The text assistive tools were last told of.
    QString told;
};

// Keyed by the widget; an entry goes with its widget.
QHash<const QObject*, Part>& parts()
{
    static QHash<const QObject*, Part> registry;
    return registry;
}

class PaintedTextAccessible final : public QAccessibleWidget, public AccessibleReadOnlyText {
public:
    PaintedTextAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    using AccessibleReadOnlyText::text;

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    [[nodiscard]] QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return readText();
        const QString own = QAccessibleWidget::text(kind);
        return kind == QAccessible::Name && own.isEmpty() ? readText() : own;
    }
    // The text is all there is: no child widgets to read.
    [[nodiscard]] int childCount() const override { return 0; }
    [[nodiscard]] QAccessibleInterface* child(int) const override { return nullptr; }

    [[nodiscard]] QString readText() const override
    {
        const auto it = parts().constFind(object());
        return it != parts().cend() && it->text ? it->text() : QString();
    }
};

class OwnerTickedAccessible final : public QAccessibleWidget {
public:
    explicit OwnerTickedAccessible(QAbstractButton* button) : QAccessibleWidget(button, QAccessible::CheckBox) {}

    [[nodiscard]] QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }

    [[nodiscard]] QString text(QAccessible::Text kind) const override
    {
        const QString own = QAccessibleWidget::text(kind);
        return kind == QAccessible::Name && own.isEmpty() ? button()->text() : own;
    }
    [[nodiscard]] QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = button()->isChecked();
        state.pressed = button()->isDown();
        return state;
    }
    [[nodiscard]] QStringList actionNames() const override
    {
        QStringList names;
        if (button()->isEnabled())
            names.append(toggleAction());
        return names + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override
    {
        if (name != toggleAction()) {
            QAccessibleWidget::doAction(name);
            return;
        }
        if (button()->isEnabled())
            button()->click();
    }
};

QAccessibleInterface* partFactory(const QString&, QObject* object)
{
    const auto it = parts().constFind(object);
    if (it == parts().cend() || !object->isWidgetType())
        return nullptr;
    switch (it->kind) {
    case Part::Kind::PaintedText:
        return new PaintedTextAccessible(static_cast<QWidget*>(object), it->role);
    case Part::Kind::OwnerTicked:
        // A button being destroyed is asked for too (losing the keyboard): by then it is only a
        // widget, and Qt's plain one serves.
        if (auto* button = qobject_cast<QAbstractButton*>(object))
            return new OwnerTickedAccessible(button);
        return nullptr;
    }
    return nullptr;
}

void addPart(QWidget* widget, Part part)
{
    // Installed after the application's own factory, so it is asked first.
    static const bool installed = [] {
        QAccessible::installFactory(&partFactory);
        return true;
    }();
    Q_UNUSED(installed);
    const Part::Kind kind = part.kind;
    if (!parts().contains(widget))
        QObject::connect(widget, &QObject::destroyed, [widget] { parts().remove(widget); });
    parts().insert(widget, std::move(part));
    AccessibleParts::replaceEarlyInterface(widget, [kind](QAccessibleInterface* iface) {
        return kind == Part::Kind::PaintedText ? dynamic_cast<PaintedTextAccessible*>(iface) != nullptr
                                               : dynamic_cast<OwnerTickedAccessible*>(iface) != nullptr;
    });
}

// A scroll area as tools walk it: its viewport, then the containers of its shown scroll bars and
// its shown corner widget. Qt's own interface takes a child's index on trust, and a tool asks for
// children by the count it read a call earlier: once a bar has gone meanwhile (a sheet closing,
// rows going), Qt's reads past its list and crashes the application.
class ScrollAreaAccessible final : public QAccessibleWidget {
public:
    explicit ScrollAreaAccessible(QAbstractScrollArea* area) : QAccessibleWidget(area, QAccessible::Client) {}

    [[nodiscard]] bool isValid() const override { return QAccessibleWidget::isValid() && area()->viewport(); }
    [[nodiscard]] int childCount() const override { return int(children().size()); }
    [[nodiscard]] QAccessibleInterface* child(int index) const override
    {
        const QWidgetList shown = children();
        if (index < 0 || index >= shown.size())
            return nullptr;
        return QAccessible::queryAccessibleInterface(shown.at(index));
    }
    [[nodiscard]] int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child || !child->object() || !child->object()->isWidgetType())
            return -1;
        return int(children().indexOf(static_cast<QWidget*>(child->object())));
    }

private:
    [[nodiscard]] QAbstractScrollArea* area() const { return static_cast<QAbstractScrollArea*>(object()); }
    [[nodiscard]] QWidgetList children() const
    {
        QWidgetList shown;
        const QAbstractScrollArea* scroll = area();
        if (!scroll)
            return shown;
        if (QWidget* viewport = scroll->viewport())
            shown.append(viewport);
        for (const QScrollBar* bar : {scroll->horizontalScrollBar(), scroll->verticalScrollBar()}) {
            if (bar && bar->isVisible() && bar->parentWidget())
                shown.append(bar->parentWidget());
        }
        if (QWidget* corner = scroll->cornerWidget(); corner && corner->isVisible())
            shown.append(corner);
        return shown;
    }
};

// Asked for the class names Qt gives its own scroll area interface; item views, text fields and
// the like have interfaces of their own, found before these on the way up their classes.
QAccessibleInterface* scrollAreaFactory(const QString& className, QObject* object)
{
    if (className != QLatin1String("QAbstractScrollArea") && className != QLatin1String("QScrollArea"))
        return nullptr;
    auto* area = qobject_cast<QAbstractScrollArea*>(object);
    return area ? new ScrollAreaAccessible(area) : nullptr;
}

} // namespace

void AccessibleReadOnlyText::selection(int, int* startOffset, int* endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
}

QString AccessibleReadOnlyText::text(int startOffset, int endOffset) const
{
    const QString all = readText();
    // Tools ask with -1 for "to the end".
    if (endOffset < 0 || endOffset > all.size())
        endOffset = int(all.size());
    startOffset = std::clamp(startOffset, 0, endOffset);
    return all.mid(startOffset, endOffset - startOffset);
}

int AccessibleReadOnlyText::characterCount() const
{
    return int(readText().size());
}

QString AccessibleReadOnlyText::attributes(int, int* startOffset, int* endOffset) const
{
    // One run of plain text.
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

namespace AccessibleParts {

void paintedText(QWidget* widget, QAccessible::Role role, std::function<QString()> text)
{
    addPart(widget, {Part::Kind::PaintedText, role, std::move(text), QString()});
}

void textChanged(QWidget* widget)
{
    if (!QAccessible::isActive())
        return;
    const auto it = parts().find(widget);
    if (it == parts().end() || !it->text)
        return;
    QString now = it->text();
    if (now == it->told)
        return;
    QAccessibleTextUpdateEvent event(widget, 0, it->told, now);
    it->told = std::move(now);
    QAccessible::updateAccessibility(&event);
}

void guardScrollAreas()
{
    static const bool installed = [] {
        QAccessible::installFactory(&scrollAreaFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void ownerTicked(QAbstractButton* button)
{
    addPart(button, {Part::Kind::OwnerTicked, QAccessible::CheckBox, {}, QString()});
}

void replaceEarlyInterface(QWidget* widget, const std::function<bool(QAccessibleInterface*)>& isWanted)
{
    // Qt makes one for any event the widget sends, tools listening or not.
    if (!widget)
        return;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    if (iface && !isWanted(iface))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

} // namespace AccessibleParts
