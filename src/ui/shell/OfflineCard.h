#pragma once

#include <QWidget>

class LoggerPrimary;
class QLabel;

// The screen shown while the service cannot be reached: "Can't reach Pindle", the account's
// message as it came, and "Try again".
class OfflineCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSpacing = 14;

    explicit OfflineCard(const QString& message, QWidget* parent = nullptr);

    [[nodiscard]] QString message() const;

Q_SIGNALS:
    // "Try again" was pressed; each press is one signal.
    void tryAgain();

private:
    void restyle();

    QLabel* m_title;
    QLabel* m_message;
    LoggerPrimary* m_button;
};
