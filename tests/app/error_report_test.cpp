// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/error_report.h"
#include "platform/exception.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

class ErrorReportTest : public ::testing::Test {
protected:
    void TearDown() override { SetErrorSink({}); }
};

TEST_F(ErrorReportTest, RunGuardedReportsTheErrorTextAndRunsOn)
{
    QStringList shown;
    SetErrorSink([&](const QString& text) { shown << text; });
    EXPECT_FALSE(RunGuarded([] { throw Exception("Impossible d'écrire dans /x.dat"); }));
    EXPECT_FALSE(RunGuarded([] { throw 42; }));
    EXPECT_TRUE(RunGuarded([] {}));
    EXPECT_EQ(shown, QStringList({"Impossible d'écrire dans /x.dat", "Unknown error"}));
}

TEST_F(ErrorReportTest, ErrorsWhileAReportIsOnScreenAreNotStacked)
{
    // The box of the first report runs a nested loop in which more errors come.
    QStringList shown;
    SetErrorSink([&](const QString& text) {
        shown << text;
        ReportError("second");
        ReportError("third");
    });
    ReportError("first");
    ReportError("after");
    EXPECT_EQ(shown, QStringList({"first", "after"}));
}

} // namespace
