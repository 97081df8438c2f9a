// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell_open.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

// Watches what the shell is asked to open, answering as told.
class ShellOpenTest : public ::testing::Test {
protected:
    struct Request {
        QString Path;
        int ShowCmd;
    };

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetDocumentOpener([this](const QString& path, int showCmd) {
            requests.push_back({path, showCmd});
            if (throws)
                throw std::runtime_error("the shell fell over");
            return accepts;
        });
    }
    void TearDown() override { SetDocumentOpener({}); }

    QString MakeFile(const QString& name)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    }

    QTemporaryDir dir;
    std::vector<Request> requests;
    bool accepts = true;
    bool throws = false;
};

TEST_F(ShellOpenTest, OpenDocumentPassesThePathAndTellsWhetherTheShellAccepted)
{
    for (const bool accepted : {true, false}) {
        accepts = accepted;
        EXPECT_EQ(OpenDocument(QStringLiteral("/some/file.txt"), SW_SHOWNORMAL), accepted);
    }
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Path, "/some/file.txt");
    EXPECT_EQ(requests[0].ShowCmd, SW_SHOWNORMAL);
}

TEST_F(ShellOpenTest, AnExistingFileIsOpenedNormally)
{
    const QString path = MakeFile(QStringLiteral("a_lire.txt"));
    OpenDocumentIfExists(path);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Path, path);
    EXPECT_EQ(requests[0].ShowCmd, 1);
}

TEST_F(ShellOpenTest, NothingButAFileIsHandedToTheShell)
{
    OpenDocumentIfExists(dir.filePath(QStringLiteral("missing.txt")));
    OpenDocumentIfExists(dir.path());
    OpenDocumentIfExists(QString());
    EXPECT_TRUE(requests.empty());
}

TEST_F(ShellOpenTest, ARefusalOrAnErrorOfTheShellIsDropped)
{
    const QString path = MakeFile(QStringLiteral("a_lire.txt"));
    accepts = false;
    EXPECT_NO_THROW(OpenDocumentIfExists(path));
    throws = true;
    EXPECT_NO_THROW(OpenDocumentIfExists(path));
    EXPECT_EQ(requests.size(), 2u);
}

} // namespace
