#pragma once

#include <QObject>
#include <QtTest>

#include <functional>
#include <memory>

// Several Qt Test classes share one executable per source folder. Each test file registers
// its class with PINDLE_TEST; the shared main runs them all and fails if any fails.
namespace testing_support {

using Factory = std::function<std::unique_ptr<QObject>()>;
int registerTest(const char* name, Factory factory);

// The checkout the tests were built from (fixtures, fonts).
QString sourceDir();

} // namespace testing_support

#define PINDLE_TEST(Class)                                                                         \
    static const int pindle_registered_##Class =                                                   \
        testing_support::registerTest(#Class, [] { return std::make_unique<Class>(); });
