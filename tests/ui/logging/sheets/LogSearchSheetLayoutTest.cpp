#include "common/TestMain.h"
#include "screens/ScreenRig.h"
#include "standin/StandinTestSupport.h"

#include "platform/Fonts.h"
#include "ui/logging/sheets/LogSearchSheet.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

#include <cmath>

namespace {

QLabel* labelSaying(QWidget* in, const QString& text)
{
    for (QLabel* label : in->findChildren<QLabel*>())
        if (label->text() == text)
            return label;
    return nullptr;
}

} // namespace

// The search sheet's measures: a hit of this log is padded 4 above and below with 3 from its
// header to its text, its "SELECT" badge padded 5 across; a card of another shoot pads its line
// the same way, 4 under the shoot's title, its links 12 apart; the search button stands 8 from
// its message; and timecodes set their digits one width, so what follows them lines up.
class LogSearchSheetLayoutTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;

    // A screen whose log holds one entry said by Ada at each timecode, under a search sheet.
    struct Rig {
        Rig(const QUrl& base, const QString& cookie, const QStringList& timecodes) : rig(base, cookie, false)
        {
            for (const QString& timecode : timecodes) {
                LogEntry mark = screen_test::earmark(timecode);
                mark.highlight = QStringLiteral("zebra crossing");
                mark.speaker = QStringLiteral("Ada");
                rig.screen->log().appendEntry(mark);
            }
            window.show();
            sheet = new LogSearchSheet(LogSearchModel::Sources::of(*rig.screen, rig.service), &window);
            sheet->open();
        }
        screen_test::Rig rig;
        QWidget window;
        QPointer<LogSearchSheet> sheet;
    };

    void answerNext(const QByteArray& body)
    {
        m_standin->control(
            QStringLiteral("fault"),
            {{"path", "/api/velko/ai-search"}, {"kind", "answer"}, {"status", 200}, {"body", QString::fromUtf8(body)}});
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // The bundled faces: DM Sans sets its figures proportionally.
        registerFonts();
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(standin_test::kAda);
    }

    void cleanup() { m_standin->control(QStringLiteral("clear")); }

    // Each hit drawn on nothing, so what it leaves out stays clear.
    void localHits()
    {
        Rig r(m_standin->baseUrl(), m_cookie, {QStringLiteral("11:11:11:11"), QStringLiteral("00:00:00:00")});
        QVERIFY(QTest::qWaitForWindowExposed(r.sheet));
        QTest::keyClicks(r.sheet->field(), QStringLiteral("zebra"));
        QListView* list = r.sheet->hitList();
        QCOMPARE(list->model()->rowCount(), 2);
        QList<QImage> drawn;
        int height = 0;
        for (int row = 0; row < 2; ++row) {
            QStyleOptionViewItem option;
            option.widget = list;
            option.rect = QRect(QPoint(), list->visualRect(list->model()->index(row, 0)).size());
            height = list->itemDelegate()->sizeHint(option, list->model()->index(row, 0)).height();
            QImage image(option.rect.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            list->itemDelegate()->paint(&painter, option, list->model()->index(row, 0));
            drawn.append(image);
        }
        // Ada's name, the first coral, starts at the same place after either timecode.
        const auto firstCoral = [](const QImage& image) {
            for (int x = 0; x < image.width(); ++x)
                for (int y = 0; y < image.height(); ++y)
                    if (const QColor c = image.pixelColor(x, y); c.alpha() > 128 && c.red() > 180 && c.green() < 140)
                        return x;
            return -1;
        };
        QVERIFY(firstCoral(drawn[0]) > 0);
        QCOMPARE(firstCoral(drawn[0]), firstCoral(drawn[1]));

        const LogSearchSheet::Style& style = r.sheet->style();
        const QFontMetricsF badge(style.badge.font());
        const qreal header = std::max({QFontMetricsF(style.timecode.font()).height(),
                                       QFontMetricsF(style.who.font()).height(), badge.height() + 2 * 2});
        QCOMPARE(height, int(std::ceil(4 + header + 3 + QFontMetricsF(style.text.font()).height() + 4)) + 8);

        // The badge is the last run of drawn columns in the header; at a fraction of a pixel its
        // smoothed ends reach one column further.
        const auto drawnColumn = [&](int x) {
            for (int y = 4; y < int(4 + header); ++y)
                if (drawn[0].pixelColor(x, y).alpha() > 0)
                    return true;
            return false;
        };
        int right = drawn[0].width() - 1;
        while (right > 0 && !drawnColumn(right))
            --right;
        int left = right;
        while (left > 0 && drawnColumn(left - 1))
            --left;
        const qreal expected = badge.horizontalAdvance(QString::fromLatin1(LogSearchRows::kEntryBadge)) + 2 * 5;
        QVERIFY2(right - left + 1 >= std::ceil(expected) && right - left + 1 <= std::ceil(expected) + 1,
                 qPrintable(QStringLiteral("badge %1 wide, expected %2").arg(right - left + 1).arg(expected)));
    }

    void cardsAndSearchRow()
    {
        Rig r(m_standin->baseUrl(), m_cookie, {});
        QVERIFY(QTest::qWaitForWindowExposed(r.sheet));
        QTest::mouseClick(r.sheet->scopeButton(1), Qt::LeftButton);
        QTest::keyClicks(r.sheet->field(), QStringLiteral("quota"));
        answerNext("{\"results\":[]}");
        QTest::keyClick(r.sheet->field(), Qt::Key_Return);
        QTRY_VERIFY(r.sheet->problemLabel()->isVisible());
        QPushButton* search = r.sheet->searchButton();
        QCOMPARE(r.sheet->problemLabel()->x() - (search->x() + search->width()), 8);

        answerNext("{\"results\":["
                   "{\"title\":\"Harbour\",\"timecode\":\"11:11:11:11\",\"speaker\":\"Ada\","
                   "\"text\":\"The quota.\",\"why\":\"Mentions it.\"},"
                   "{\"title\":\"Quay\",\"timecode\":\"00:00:00:00\",\"speaker\":\"Ada\",\"text\":\"Cut.\"}]}");
        QTest::keyClick(r.sheet->field(), Qt::Key_Return);
        QTRY_COMPARE(r.sheet->cloudCards().size(), 2);
        QWidget* card = r.sheet->cloudCards().at(0);
        QLabel* title = labelSaying(card, QStringLiteral("Harbour"));
        QLabel* timecode = labelSaying(card, QStringLiteral("11:11:11:11"));
        QLabel* speaker = labelSaying(card, QStringLiteral("Ada"));
        QLabel* text = labelSaying(card, QStringLiteral("The quota."));
        QLabel* why = labelSaying(card, QStringLiteral("Mentions it."));
        QVERIFY(title && timecode && speaker && text && why);
        QTRY_VERIFY(why->isVisible());
        QCoreApplication::processEvents();
        // The card's own 4 between its items, and the line's 4 above and below it; the line's
        // header is as tall as its tallest part.
        const QRect header = timecode->geometry().united(speaker->geometry());
        QCOMPARE(header.top() - (title->y() + title->height()), 4 + 4);
        QCOMPARE(text->y() - (header.bottom() + 1), 3);
        QCOMPARE(why->y() - (text->y() + text->height()), 4 + 4);
        QList<QAbstractButton*> links = card->findChildren<QAbstractButton*>();
        QCOMPARE(links.size(), 2);
        std::sort(links.begin(), links.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
        QCOMPARE(links[1]->x() - (links[0]->x() + links[0]->width()), 12);

        QWidget* other = r.sheet->cloudCards().at(1);
        QCOMPARE(labelSaying(other, QStringLiteral("00:00:00:00"))->width(), timecode->width());
        QCOMPARE(labelSaying(other, QStringLiteral("Ada"))->x(), speaker->x());
    }
};

PINDLE_TEST(LogSearchSheetLayoutTest)
#include "LogSearchSheetLayoutTest.moc"
