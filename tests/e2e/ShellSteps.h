#pragma once

// Steps of the whole application that several journeys take.

#include "ui/shell/LoggerRoot.h"
#include "ui/shell/PindleLoggerApp.h"

#include <QLineEdit>
#include <QtTest>

namespace e2e {

inline constexpr int kSignInWaitMs = 20000;

// Signs in through the card as a new user would: the address (replacing one kept from an
// earlier sign-in), Return, the code, Return.
inline void signIn(PindleLoggerApp& app, const QString& code,
                   const QString& address = QStringLiteral("ada@example.com"))
{
    auto* email = app.root()->findChild<QLineEdit*>(QStringLiteral("emailField"));
    QVERIFY(email);
    email->selectAll();
    QTest::keyClicks(email, address);
    QTest::keyClick(email, Qt::Key_Return);
    QLineEdit* codeField = nullptr;
    QTRY_VERIFY((codeField = app.root()->findChild<QLineEdit*>(QStringLiteral("codeField"))) && codeField->isVisible());
    QTest::keyClicks(codeField, code);
    QTest::keyClick(codeField, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(app.root()->screen(), LoggerRoot::Screen::SignedIn, kSignInWaitMs);
}

} // namespace e2e
