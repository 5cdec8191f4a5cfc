#pragma once

#include "platform/Appearance.h"

#include <QObject>

// The one watcher of the desktop's light or dark appearance. Qt 6.4 has no colour-scheme signal
// and most palette changes keep the appearance, so views connect here rather than each reading
// palette events: one check per application palette change, one signal per real switch.
class AppearanceNotifier : public QObject {
    Q_OBJECT
public:
    // The one instance, made on first use on the main thread; it lives as long as the application.
    [[nodiscard]] static AppearanceNotifier& shared();

    [[nodiscard]] Appearance appearance() const { return m_appearance; }

Q_SIGNALS:
    // Light to dark or back; the new application palette is in place when this is emitted.
    void appearanceChanged(Appearance appearance);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit AppearanceNotifier(QObject* parent);

    Appearance m_appearance;
};
