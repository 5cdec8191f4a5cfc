#include "common/TestMain.h"

#include "platform/AppPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

class AppPathsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Under test mode both paths lie in Qt's test folders, never in a user's real data.
    void pathsAreInTestFolders()
    {
        QVERIFY(QStandardPaths::isTestModeEnabled());
        const QString support = AppPaths::appSupportFolder();
        QVERIFY(support.endsWith(QStringLiteral("/PindleSync/")));
        QVERIFY2(support.contains(QStringLiteral("qttest")), qPrintable(support));
        QVERIFY(QFileInfo(support).isDir());
        const QString defaults = AppPaths::defaultsFile();
        QVERIFY(defaults.endsWith(QStringLiteral("/defaults.json")));
        QVERIFY2(defaults.contains(QStringLiteral("qttest")), qPrintable(defaults));
    }

    void supportFolderIsRecreated()
    {
        const QString support = AppPaths::appSupportFolder();
        QVERIFY(QDir(support).removeRecursively());
        QCOMPARE(AppPaths::appSupportFolder(), support);
        QVERIFY(QFileInfo(support).isDir());
    }
};

PINDLE_TEST(AppPathsTest)
#include "AppPathsTest.moc"
