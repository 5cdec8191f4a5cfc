#pragma once

#include <QWidget>

class LinkButton;
class LoggerAccount;
class LoggerField;
class LoggerPrimary;
class LoggerSignInModel;
class QLabel;

// The sign-in screen: one card with the e-mail step (address, "Email me a code") and the code
// step (code, "Sign in", "Use a different email"), an intro line and an error line. The card's
// behaviour lives in LoggerSignInModel; this view shows it and forwards clicks and Return.
class LoggerSignInView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSpacing = 16;
    static constexpr char kEmailPlaceholder[] = "you@example.com";
    static constexpr char kCodePlaceholder[] = "6-digit code";

    // Starts at the e-mail step with the account's last address.
    explicit LoggerSignInView(LoggerAccount& account, QWidget* parent = nullptr);

    [[nodiscard]] LoggerSignInModel& model() const { return *m_model; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void primaryClicked();
    void showModel();
    void focusField();
    void restyle();

    LoggerSignInModel* m_model;
    QLabel* m_title;
    QLabel* m_intro;
    LoggerField* m_emailField;
    LoggerField* m_codeField;
    LoggerPrimary* m_primary;
    LinkButton* m_differentEmail;
    QLabel* m_error;
};
