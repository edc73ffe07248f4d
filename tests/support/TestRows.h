#pragma once

// Helpers shared by data-driven tests of operations that return a Result.

#include "Models/FileSystemError.h"

#include <QString>
#include <QTest>

// One data row: its name, then a value for each column.
template<typename... Values>
void row(const char *name, const Values &...values)
{
    (QTest::newRow(name) << ... << values);
}

// Why a result failed, for QVERIFY2; empty when it holds a value.
template<typename T>
QString why(const Result<T> &result)
{
    return result ? QString() : result.error().message;
}

// The errno a result failed with; 0 when it holds a value.
template<typename T>
int errorOf(const Result<T> &result)
{
    return result ? 0 : result.error().systemError;
}
