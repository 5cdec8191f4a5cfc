#include "ui/theme/AppearanceNotifier.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

AppearanceNotifier& AppearanceNotifier::shared()
{
    static QPointer<AppearanceNotifier> instance;
    if (!instance)
        instance = new AppearanceNotifier(QCoreApplication::instance());
    return *instance;
}

AppearanceNotifier::AppearanceNotifier(QObject* parent) : QObject(parent), m_appearance(currentAppearance())
{
    // The application object is told of every application palette change, including the ones
    // the desktop's theme makes. A filter there sees every event of the main thread; the check
    // is one comparison of the event's type.
    if (parent)
        parent->installEventFilter(this);
}

bool AppearanceNotifier::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ApplicationPaletteChange && watched == parent()) {
        const Appearance now = currentAppearance();
        if (now != m_appearance) {
            m_appearance = now;
            Q_EMIT appearanceChanged(now);
        }
    }
    return QObject::eventFilter(watched, event);
}
