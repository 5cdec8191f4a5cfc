#include "common/TestMain.h"
#include "screens/ScreenRig.h"
#include "standin/StandinTestSupport.h"

#include "platform/Fonts.h"

#include "ui/logging/sheets/SearchSheet.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

#include <cmath>

namespace {

// A screen whose log holds `entries` (timecode, words), all said by Ada, under a search sheet.
struct LaidRig {
    LaidRig(const QUrl& base, const QString& cookie, const QList<std::pair<QString, QString>>& entries)
        : rig(base, cookie, false)
    {
        for (const auto& [timecode, words] : entries) {
            LogEntry mark;
            mark.id = QUuid::createUuid();
            mark.timecode = timecode;
            mark.type = QStringLiteral("earmark");
            mark.highlight = words;
            mark.speaker = QStringLiteral("Ada");
            rig.screen->log().appendEntry(mark);
        }
        window.show();
        sheet = new SearchSheet(LogSearchModel::Sources::of(*rig.screen, rig.service), &window);
        sheet->open();
    }

    // Local hit `row` as its delegate draws it, on nothing: what is not drawn stays clear.
    [[nodiscard]] QImage paintHit(int row) const
    {
        QListView* list = sheet->hitList();
        const QModelIndex index = list->model()->index(row, 0);
        QStyleOptionViewItem option;
        option.widget = list;
        option.state = QStyle::State_Enabled;
        option.rect = QRect(QPoint(), list->visualRect(index).size());
        QImage image(option.rect.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        list->itemDelegate()->paint(&painter, option, index);
        return image;
    }
    [[nodiscard]] QSize hitSize(int row) const
    {
        QListView* list = sheet->hitList();
        const QModelIndex index = list->model()->index(row, 0);
        QStyleOptionViewItem option;
        option.widget = list;
        option.rect = list->visualRect(index);
        return list->itemDelegate()->sizeHint(option, index);
    }

    screen_test::Rig rig;
    QWidget window;
    QPointer<SearchSheet> sheet;
};

bool coral(const QColor& c)
{
    return c.alpha() > 128 && c.red() > 180 && c.green() < 140 && c.blue() < 130;
}

// The first column, from the left, holding a coral pixel.
int firstCoralColumn(const QImage& image)
{
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (coral(image.pixelColor(x, y)))
                return x;
    return -1;
}

// The run of drawn columns, within rows [top, bottom), that ends at the rightmost drawn one.
std::pair<int, int> lastDrawnRun(const QImage& image, int top, int bottom)
{
    const auto drawn = [&](int x) {
        for (int y = top; y < bottom; ++y)
            if (image.pixelColor(x, y).alpha() > 0)
                return true;
        return false;
    };
    int right = image.width() - 1;
    while (right >= 0 && !drawn(right))
        --right;
    int left = right;
    while (left > 0 && drawn(left - 1))
        --left;
    return {left, right};
}

QLabel* labelSaying(QWidget* in, const QString& text)
{
    for (QLabel* label : in->findChildren<QLabel*>())
        if (label->text() == text)
            return label;
    return nullptr;
}

int below(const QWidget* upper, const QWidget* lower)
{
    return lower->y() - (upper->y() + upper->height());
}

} // namespace

// The search sheet's measures: a hit of this log is padded 4 above and below with 3 from its
// header to its text, and its "SELECT" badge 5 across; a card of another shoot pads its line the
// same way, 4 under the shoot's title, with its links 12 apart; the search row's button stands
// 8 from its message; and timecodes set their digits one width, so names after them line up.
class SearchSheetLayoutTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;

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

    void localHit()
    {
        LaidRig r(m_standin->baseUrl(), m_cookie,
                  {{QStringLiteral("11:11:11:11"), QStringLiteral("zebra crossing")},
                   {QStringLiteral("00:00:00:00"), QStringLiteral("zebra crossing")}});
        QVERIFY(QTest::qWaitForWindowExposed(r.sheet));
        QTest::keyClicks(r.sheet->field(), QStringLiteral("zebra"));
        QCOMPARE(r.sheet->hitList()->model()->rowCount(), 2);

        // The name after the timecode starts at the same place whatever the digits.
        const QImage ones = r.paintHit(0);
        const QImage zeros = r.paintHit(1);
        QVERIFY(firstCoralColumn(ones) > 0);
        QCOMPARE(firstCoralColumn(ones), firstCoralColumn(zeros));

        const SearchSheet::Style& style = r.sheet->style();
        const QFontMetricsF timecode(style.timecode.font());
        const QFontMetricsF who(style.who.font());
        const QFontMetricsF badge(style.badge.font());
        const QFontMetricsF text(style.text.font());
        const qreal badgeHeight = badge.height() + 2 * 2;
        const qreal header = std::max({timecode.height(), who.height(), badgeHeight});
        QCOMPARE(r.hitSize(0).height(), int(std::ceil(4 + header + 3 + text.height() + 4)) + 8);

        // The badge: the last thing drawn in the header, its text 5 in from either end.
        const auto [left, right] = lastDrawnRun(ones, 4, int(4 + header));
        const qreal expected = badge.horizontalAdvance(QString::fromLatin1(SearchSheet::kBadgeText)) + 2 * 5;
        // At a fraction of a pixel the capsule's smoothed ends reach one column further.
        const int drawn = right - left + 1;
        QVERIFY2(drawn >= std::ceil(expected) && drawn <= std::ceil(expected) + 1,
                 qPrintable(QStringLiteral("badge %1 wide, expected %2").arg(drawn).arg(expected)));
    }

    void cloudCardsAndSearchRow()
    {
        LaidRig r(m_standin->baseUrl(), m_cookie, {});
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
        // The card's own 4 between its items, and the line's 4 above and below it.
        // The line's header is as tall as its tallest part, the speaker's name.
        const QRect header = timecode->geometry().united(speaker->geometry());
        QCOMPARE(header.top() - (title->y() + title->height()), 4 + 4);
        QCOMPARE(text->y() - (header.bottom() + 1), 3);
        QCOMPARE(below(text, why), 4 + 4);
        QList<QAbstractButton*> links = card->findChildren<QAbstractButton*>();
        QCOMPARE(links.size(), 2);
        std::sort(links.begin(), links.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
        QCOMPARE(links[1]->x() - (links[0]->x() + links[0]->width()), 12);

        // Both cards' timecodes take the same width, and their speakers line up.
        QLabel* zeros = labelSaying(r.sheet->cloudCards().at(1), QStringLiteral("00:00:00:00"));
        QVERIFY(zeros);
        QCOMPARE(zeros->width(), timecode->width());
        QCOMPARE(labelSaying(r.sheet->cloudCards().at(1), QStringLiteral("Ada"))->x(), speaker->x());
    }
};

PINDLE_TEST(SearchSheetLayoutTest)
#include "SearchSheetLayoutTest.moc"
