#include "common/BenchRun.h"

#include <QApplication>

// The main of every benchmark program that has none of its own.
int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
