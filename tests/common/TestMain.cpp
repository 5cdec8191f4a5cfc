#include "common/TestMain.h"

#include <QFileInfo>
#if defined(PINDLE_TEST_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(PINDLE_TEST_CORE)
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif
#include <QStandardPaths>

#include <cstring>
#include <vector>

namespace testing_support {

namespace {
struct Entry {
    const char* name;
    Factory factory;
};

std::vector<Entry>& registry()
{
    static std::vector<Entry> entries;
    return entries;
}
} // namespace

int registerTest(const char* name, Factory factory)
{
    registry().push_back({name, std::move(factory)});
    return static_cast<int>(registry().size());
}

QString sourceDir()
{
    return QStringLiteral(PINDLE_SOURCE_DIR);
}

} // namespace testing_support

// Usage: <exe> [ClassName] [Qt Test arguments...]. A first argument naming a registered class
// runs that class alone.
int main(int argc, char** argv)
{
    TestApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("pindle-tests"));
    // One name per executable: CTest runs them in parallel, and test mode folders follow the name.
    QCoreApplication::setApplicationName(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName());
    // Never touch a real user's settings or saved logs.
    QStandardPaths::setTestModeEnabled(true);

    const char* only = nullptr;
    std::vector<char*> args(argv, argv + argc);
    if (argc > 1 && argv[1][0] != '-') {
        only = argv[1];
        args.erase(args.begin() + 1);
    }

    int failed = 0;
    int ran = 0;
    for (const auto& entry : testing_support::registry()) {
        if (only && std::strcmp(only, entry.name) != 0)
            continue;
        auto test = entry.factory();
        failed += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data()) != 0 ? 1 : 0;
        ++ran;
    }
    if (ran == 0) {
        qWarning("no test class ran");
        return 1;
    }
    return failed == 0 ? 0 : 1;
}
