#include "ui/logging/ComposerView.h"
#include "common/TestMain.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

QList<LogButton> chipButtons()
{
    return {{QStringLiteral("earmark"), QStringLiteral("Earmark"), true, 10},
            {QStringLiteral("cutaway"), QStringLiteral("R&D <b>cut</b>"), true, 10},
            {QStringLiteral("funny"), QStringLiteral("Funny"), true, 10}};
}

// The composer in a dialog with a default button and window-wide Esc and Ctrl+Return
// shortcuts, as the logging screen has them; active, with the note field focused.
struct Window {
    Window()
    {
        auto* layout = new QVBoxLayout(&window);
        composer = new ComposerView(&window);
        other = new QLineEdit(&window);
        fallback = new QPushButton(QStringLiteral("Default"), &window);
        fallback->setDefault(true);
        layout->addWidget(composer);
        layout->addWidget(other);
        layout->addWidget(fallback);
        escape = new QShortcut(QKeySequence(Qt::Key_Escape), &window);
        newest = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), &window);
        composer->setContent({QString(), chipButtons(), QStringLiteral("earmark"), true});
        window.show();
    }
    bool ready()
    {
        return QTest::qWaitForWindowActive(&window) &&
               QTest::qWaitFor([&] { return composer->noteField()->hasFocus(); });
    }

    QDialog window;
    ComposerView* composer;
    QLineEdit* other;
    QPushButton* fallback;
    QShortcut* escape;
    QShortcut* newest;
};

} // namespace

class ComposerViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Return logs and Esc cancels, taken by the composer before any shortcut or default button;
    // Ctrl+Return is left to the window.
    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("commits");
        QTest::addColumn<int>("cancels");
        QTest::addColumn<int>("windowShortcuts");
        QTest::newRow("Return") << int(Qt::Key_Return) << Qt::KeyboardModifiers() << 1 << 0 << 0;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier) << 1 << 0 << 0;
        QTest::newRow("Shift+Return") << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 1 << 0 << 0;
        QTest::newRow("Esc") << int(Qt::Key_Escape) << Qt::KeyboardModifiers() << 0 << 1 << 0;
        QTest::newRow("Ctrl+Return") << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ControlModifier) << 0 << 0
                                     << 1;
    }
    void keys()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, commits);
        QFETCH(int, cancels);
        QFETCH(int, windowShortcuts);
        Window w;
        QVERIFY(w.ready());
        QSignalSpy committed(w.composer, &ComposerView::commitRequested);
        QSignalSpy cancelled(w.composer, &ComposerView::cancelRequested);
        QSignalSpy pressed(w.fallback, &QPushButton::clicked);
        QSignalSpy escape(w.escape, &QShortcut::activated);
        QSignalSpy newest(w.newest, &QShortcut::activated);
        QTest::keyClick(w.composer->noteField(), Qt::Key(key), modifiers);
        QCOMPARE(committed.size(), commits);
        QCOMPARE(cancelled.size(), cancels);
        QCOMPARE(escape.size() + newest.size(), windowShortcuts);
        QCOMPARE(pressed.size(), 0);
    }

    // Typing reports the note as typed; "Log ⏎" logs; a chip picks its kind and leaves the
    // keyboard in the field. Chips show names as written and only the current kind as chosen.
    void clicksAndTyping()
    {
        Window w;
        QVERIFY(w.ready());
        QSignalSpy edited(w.composer, &ComposerView::noteEdited);
        QSignalSpy committed(w.composer, &ComposerView::commitRequested);
        QSignalSpy picked(w.composer, &ComposerView::kindPicked);
        QTest::keyClicks(w.composer->noteField(), QStringLiteral("a&<b>"));
        QCOMPARE(edited.size(), 5);
        QCOMPARE(edited.constLast().at(0).toString(), QStringLiteral("a&<b>"));

        const QList<QAbstractButton*> chips = w.composer->chips();
        QCOMPARE(chips.size(), 3);
        QCOMPARE(chips.at(1)->accessibleName(), QStringLiteral("R&D <b>cut</b>"));
        QCOMPARE(chips.at(0)->isChecked(), true);
        QTest::mouseClick(chips.at(2), Qt::LeftButton);
        QCOMPARE(picked.size(), 1);
        QCOMPARE(picked.at(0).at(0).toString(), QStringLiteral("funny"));
        // The chip's look follows the content, not the click.
        QVERIFY(!chips.at(2)->isChecked() && chips.at(0)->isChecked());
        QVERIFY(w.composer->noteField()->hasFocus());

        QTest::mouseClick(w.composer->logButton(), Qt::LeftButton);
        QCOMPARE(committed.size(), 1);
        QVERIFY(w.composer->noteField()->hasFocus());
        QCOMPARE(edited.size(), 5);
    }

    // Text an assistive tool writes into the field is the note, as typing is, and its Toggle on
    // a chip picks the kind without ticking it; the owner's own note coming back is no edit.
    void assistiveToolsEdit()
    {
        Window w;
        QSignalSpy edited(w.composer, &ComposerView::noteEdited);
        QSignalSpy picked(w.composer, &ComposerView::kindPicked);
        QAccessibleInterface* field = QAccessible::queryAccessibleInterface(w.composer->noteField());
        field->editableTextInterface()->replaceText(0, 0, QStringLiteral("wide"));
        QCOMPARE(edited.size(), 1);
        QCOMPARE(edited.at(0).at(0).toString(), QStringLiteral("wide"));
        w.composer->setContent({QStringLiteral("wide, tight"), chipButtons(), QStringLiteral("earmark"), true});
        QCOMPARE(w.composer->noteField()->text(), QStringLiteral("wide, tight"));
        QCOMPARE(edited.size(), 1);
        field->editableTextInterface()->deleteText(0, 11);
        QCOMPARE(edited.size(), 2);
        QCOMPARE(edited.at(1).at(0).toString(), QString());

        QAccessibleInterface* chip = QAccessible::queryAccessibleInterface(w.composer->chips().at(2));
        QCOMPARE(chip->role(), QAccessible::CheckBox);
        chip->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(picked.size(), 1);
        QCOMPARE(picked.at(0).at(0).toString(), QStringLiteral("funny"));
        QVERIFY(!chip->state().checked);
    }

    // The field takes the keyboard when focus turns on or a new kind is picked, never on a mere
    // note update; a kind with no chip shows none chosen.
    void takesKeyboard()
    {
        Window w;
        QVERIFY(w.ready());
        w.other->setFocus();
        ComposerView::Content content = w.composer->content();
        content.note = QStringLiteral("typed elsewhere");
        w.composer->setContent(content);
        QVERIFY(w.other->hasFocus());
        QCOMPARE(w.composer->noteField()->text(), content.note);

        content.kind = QStringLiteral("broll");
        w.composer->setContent(content);
        QVERIFY(w.composer->noteField()->hasFocus());
        for (const QAbstractButton* chip : w.composer->chips())
            QVERIFY(!chip->isChecked());

        w.other->setFocus();
        content.focused = false;
        w.composer->setContent(content);
        content.focused = true;
        w.composer->hide();
        w.composer->setContent(content);
        QVERIFY(w.other->hasFocus());
        w.composer->show();
        QVERIFY(w.composer->noteField()->hasFocus());
    }
};

PINDLE_TEST(ComposerViewTest)
#include "ComposerViewTest.moc"
