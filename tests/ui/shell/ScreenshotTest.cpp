#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include "platform/Defaults.h"
#include "platform/Fonts.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerAccount.h"
#include "ui/shell/LoggerRoot.h"
#include "ui/shell/PindleLoggerApp.h"
#include "ui/theme/Capsule.h"
#include "ui/theme/MarkerChip.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Tile.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QTemporaryDir>

// Pictures of the account screens for a person to look at. Runs only when
// PINDLE_SHELL_SCREENSHOTS names a folder to write them to.
class ScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Skipped per test: a skip in initTestCase would leave Qt Test skipping the classes that
    // run after this one in the same executable.
    void init()
    {
        m_folder = qEnvironmentVariable("PINDLE_SHELL_SCREENSHOTS");
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SHELL_SCREENSHOTS is not set");
        QVERIFY(QDir().mkpath(m_folder));
        registerFonts();
    }

    void cleanup() { QApplication::setPalette(QPalette()); }

    void signInScreens()
    {
        StandinProcess standin;
        QVERIFY2(standin.isReady(), qPrintable(standin.failure()));
        QTemporaryDir dir;
        InMemoryCookieStore store;
        Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
        APIService service(standin.baseUrl().toString(), store);
        LoggerAccount account(service, defaults);
        PindleLoggerApp app(account);
        app.window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(app.window()));
        save(app.window(), QStringLiteral("signin.png"));

        auto* email = app.root()->findChild<QLineEdit*>(QStringLiteral("emailField"));
        QTest::keyClicks(email, QStringLiteral("ada@example.com"));
        QTest::keyClick(email, Qt::Key_Return);
        auto* code = app.root()->findChild<QLineEdit*>(QStringLiteral("codeField"));
        QTRY_VERIFY(code->isVisible());
        QTest::keyClicks(code, QStringLiteral("12"));
        QTest::keyClick(code, Qt::Key_Return);
        save(app.window(), QStringLiteral("signin-code.png"));

        QPalette dark = QApplication::palette();
        dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
        QApplication::setPalette(dark);
        save(app.window(), QStringLiteral("signin-code-dark.png"));
    }

    // The kit's pills, chips, badges, tiles and marker chips, in light and dark, at twice the size.
    void kitStrip()
    {
        constexpr qreal kGap = 8;
        QImage image(QSize(760, 480) * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        QPainter painter(&image);
        for (const Appearance appearance : {Appearance::Light, Appearance::Dark}) {
            const qreal top = appearance == Appearance::Light ? 0 : 240;
            painter.fillRect(QRectF(0, top, 760, 240), Theme::background.resolve(appearance));
            QPointF at(kGap, top + kGap);
            const auto place = [&](QSizeF size, const std::function<void(const QRectF&)>& paint) {
                paint(QRectF(at, size));
                at.rx() += size.width() + kGap;
            };
            const auto nextRow = [&] { at = QPointF(kGap, at.y() + 56); };
            const auto pill = [&](const CapsuleStyle& style, const char* symbol, const char* title, bool active) {
                const QString s = QString::fromUtf8(symbol), t = QString::fromUtf8(title);
                place(pillSize(style, s, t),
                      [&](const QRectF& r) { paintPill(painter, r, style, s, t, active, appearance); });
            };
            const auto capsule = [&](const CapsuleLabel& label, const CapsuleStyle& style,
                                     const ControlColours& colours) {
                place(capsuleSize(label, style),
                      [&](const QRectF& r) { paintCapsule(painter, r, label, style, colours); });
            };
            const ControlColours plain = ControlColours::plain(appearance);
            pill(CapsuleStyles::pill, "folder", "Sessions", false);
            pill(CapsuleStyles::pill, "mic", "2 of 4 ch", false);
            pill(CapsuleStyles::pill, "magnifyingglass", "Search", false);
            pill(CapsuleStyles::pill, "camera.viewfinder", "Sync to camera", true);
            for (const char* symbol : {"magnifyingglass", "slider.horizontal.3", "bell.badge", "rectangle.3.group"})
                pill(CapsuleStyles::compactPill, symbol, "hidden", false);
            capsule({QString(), Theme::coral, QStringLiteral("Stop"), QString()}, CapsuleStyles::pill, plain);
            nextRow();
            capsule({QString(), QColor(), QStringLiteral("Interview"), QString()}, CapsuleStyles::tagChip, plain);
            capsule({QString(), QColor(), QStringLiteral("B-roll"), QString()}, CapsuleStyles::kindChip,
                    ControlColours::filled(Theme::amber, Theme::darkInk));
            capsule({QString(), QColor(), QStringLiteral("quota"), QStringLiteral("xmark")}, CapsuleStyles::wordChip,
                    plain);
            capsule({QString(), QColor(), QStringLiteral("Last 8 s"), QString()}, CapsuleStyles::reachCapsule,
                    {Theme::ink.resolve(appearance), QColor(), Theme::background.resolve(appearance)});
            capsule({QString(), QColor(), QStringLiteral("SELECTED"), QString()}, CapsuleStyles::usedBadge,
                    ControlColours::filled(Theme::coral, Qt::white));
            capsule({QString(), QColor(), QStringLiteral("SPEECH"), QString()}, CapsuleStyles::scanBadge,
                    {QColor(), Theme::withOpacity(Theme::green, 0.6), Theme::green});
            nextRow();
            const ControlColours idle{Theme::surface.resolve(appearance), Theme::line.resolve(appearance),
                                      Theme::muted.resolve(appearance)};
            const auto tile = [&](const TileStyle& style, const Tile& content, const ControlColours& colours) {
                place(style.size, [&](const QRectF& r) { paintTile(painter, r, content, style, colours); });
            };
            tile(TileStyles::stripToggle, {QStringLiteral("M"), QString()}, idle);
            tile(TileStyles::stripToggle, {QStringLiteral("M"), QString()},
                 ControlColours::filled(Theme::coral, Qt::white));
            tile(TileStyles::stripToggle, {QString(), QStringLiteral("eye")}, idle);
            tile(TileStyles::stripToggle, {QString(), QStringLiteral("eye.slash")},
                 ControlColours::filled(Theme::amber, Theme::background.resolve(appearance)));
            tile(TileStyles::stripHeadphones, {QString(), QStringLiteral("headphones")}, idle);
            tile(TileStyles::stripHeadphones, {QString(), QStringLiteral("headphones.circle.fill")},
                 ControlColours::tinted(Theme::coral, 0.15, true));
            tile(TileStyles::stripAgent, {QString(), QStringLiteral("sparkles.slash")},
                 {idle.fill, QColor(), idle.content});
            tile(TileStyles::stripAgent, {QString(), QStringLiteral("sparkles")},
                 ControlColours::tinted(Theme::coral, 0.12, false));
            tile(TileStyles::compactRow, {QStringLiteral("M"), QString()},
                 {Theme::background.resolve(appearance), QColor(), idle.content});
            tile(TileStyles::compactRow, {QString(), QStringLiteral("headphones")},
                 ControlColours::filled(Theme::coral, Qt::white));
            nextRow();
            for (const MarkerChip& chip :
                 {MarkerChip{QStringLiteral("Soundbite"), QStringLiteral("⌘1"), Theme::coral, false, false},
                  MarkerChip{QStringLiteral("B-roll"), QStringLiteral("⌘2"), Theme::amber, true, false},
                  MarkerChip{QStringLiteral("Interview"), QString(), Theme::green, false, true},
                  MarkerChip{QStringLiteral("A very long marker name indeed"), QStringLiteral("⌘4"),
                             channelColor(appearance, 0), false, false}})
                place({170, 50}, [&](const QRectF& r) { paintMarkerChip(painter, r, chip, appearance); });
        }
        painter.end();
        QVERIFY(image.save(QDir(m_folder).filePath(QStringLiteral("kit-strip.png"))));
    }

private:
    void save(QWidget* widget, const QString& name)
    {
        QCoreApplication::processEvents();
        QVERIFY(widget->grab().save(QDir(m_folder).filePath(name)));
    }

    QString m_folder;
};

PINDLE_TEST(ScreenshotTest)
#include "ScreenshotTest.moc"
