#include "ui/logging/TextAlert.h"
#include "common/TestMain.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <climits>

class TextAlertTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Text from users goes in as written: "%1" is no placeholder, "&" no mnemonic, markup not
    // rendered. The channel number is widened before it is counted from one.
    void factoryTexts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("placeholder");
        QTest::addColumn<QString>("accept");
        const QString channel = QStringLiteral("Lines from channel %1 are labelled with this name.");
        const QString hint = QStringLiteral("Presenter, Guest, Boom…");
        QTest::newRow("speaker") << QStringLiteral("speaker") << QStringLiteral("<b>R&D</b> %1")
                                 << QStringLiteral("Rename speaker")
                                 << QStringLiteral("Set a name for <b>R&D</b> %1. It applies across the transcript.")
                                 << QStringLiteral("Name") << QStringLiteral("Save");
        QTest::newRow("channel 0") << QStringLiteral("channel") << QStringLiteral("0")
                                   << QStringLiteral("Name this channel") << channel.arg(1) << hint
                                   << QStringLiteral("Save");
        QTest::newRow("no channel") << QStringLiteral("channel") << QString() << QStringLiteral("Name this channel")
                                    << channel.arg(1) << hint << QStringLiteral("Save");
        QTest::newRow("largest channel") << QStringLiteral("channel") << QString::number(INT_MAX)
                                         << QStringLiteral("Name this channel")
                                         << channel.arg(QStringLiteral("2147483648")) << hint << QStringLiteral("Save");
        QTest::newRow("timecode") << QStringLiteral("timecode") << QString()
                                  << QStringLiteral("Type the camera's timecode")
                                  << QStringLiteral("Type a timecode a few seconds ahead of the camera, then press "
                                                    "Lock the moment the camera shows it.")
                                  << QStringLiteral("HH:MM:SS:FF") << QStringLiteral("Lock");
    }
    void factoryTexts()
    {
        QFETCH(QString, kind);
        QFETCH(QString, subject);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(QString, placeholder);
        QFETCH(QString, accept);
        QWidget parent;
        const QString initial = QStringLiteral("%1 & co");
        const std::optional<int> index = subject.isEmpty() ? std::nullopt : std::optional<int>(subject.toInt());
        TextAlert* alert = kind == u"speaker"    ? TextAlert::renameSpeaker(subject, initial, &parent)
                           : kind == u"timecode" ? TextAlert::typeTimecode(initial, &parent)
                                                 : TextAlert::nameChannel(index, initial, &parent);
        QCOMPARE(alert->windowTitle(), title);
        QCOMPARE(alert->title(), title);
        QCOMPARE(alert->message(), message);
        for (QLabel* label : alert->findChildren<QLabel*>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(alert->windowModality(), Qt::WindowModal);
        QCOMPARE(alert->field()->placeholderText(), placeholder);
        QCOMPARE(alert->field()->accessibleName(), placeholder);
        QCOMPARE(alert->text(), initial);
        QCOMPARE(alert->acceptButton()->accessibleName(), accept);
        QVERIFY(alert->acceptButton()->isDefault());
        QCOMPARE(alert->cancelButton()->accessibleName(), QStringLiteral("Cancel"));
    }

    // Exactly one answer, whichever way out comes first and whatever follows it; then the alert
    // goes. Return answers with the text as typed.
    void answersOnce_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("accepts");
        QTest::newRow("Return") << QStringLiteral("return") << true;
        QTest::newRow("keypad Enter") << QStringLiteral("enter") << true;
        QTest::newRow("Save") << QStringLiteral("save") << true;
        QTest::newRow("Esc") << QStringLiteral("escape") << false;
        QTest::newRow("Cancel") << QStringLiteral("cancel") << false;
        QTest::newRow("window closed") << QStringLiteral("close") << false;
    }
    void answersOnce()
    {
        QFETCH(QString, way);
        QFETCH(bool, accepts);
        QWidget parent;
        parent.show();
        QPointer<TextAlert> alert = TextAlert::renameSpeaker(QStringLiteral("S1"), QStringLiteral("%1 & "), &parent);
        QSignalSpy accepted(alert.data(), &TextAlert::accepted);
        QSignalSpy cancelled(alert.data(), &TextAlert::cancelled);
        alert->open();
        QVERIFY(QTest::qWaitForWindowExposed(alert.data()));
        QTest::keyClick(alert->field(), Qt::Key_End);
        QTest::keyClicks(alert->field(), QStringLiteral("Ada"));
        const auto answer = [&](const QString& how) {
            if (how == u"return")
                QTest::keyClick(alert->field(), Qt::Key_Return);
            else if (how == u"enter")
                QTest::keyClick(alert->field(), Qt::Key_Enter, Qt::KeypadModifier);
            else if (how == u"save")
                QTest::mouseClick(alert->acceptButton(), Qt::LeftButton);
            else if (how == u"escape")
                QTest::keyClick(alert->field(), Qt::Key_Escape);
            else if (how == u"cancel")
                QTest::mouseClick(alert->cancelButton(), Qt::LeftButton);
            else
                alert->close();
        };
        answer(way);
        QVERIFY(!alert->isVisible());
        for (const QString& again : {QStringLiteral("return"), QStringLiteral("escape"), QStringLiteral("close")})
            answer(again);
        QCOMPARE(accepted.size(), accepts ? 1 : 0);
        QCOMPARE(cancelled.size(), accepts ? 0 : 1);
        if (accepts)
            QCOMPARE(accepted.at(0).at(0).toString(), QStringLiteral("%1 & Ada"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(alert.isNull());
    }
};

PINDLE_TEST(TextAlertTest)
#include "TextAlertTest.moc"
