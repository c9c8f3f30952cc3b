#include "platform/UserAccount.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <unistd.h>

namespace {

QString Output(const QString& Program, const QStringList& Arguments)
{
    QProcess Process;
    Process.start(Program, Arguments);
    if (!Process.waitForFinished(10000) || Process.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(Process.readAllStandardOutput()).trimmed();
}

TEST(UserAccountTest, FindsTheCurrentUserAsTheSystemToolsDo)
{
    const QString Uid = QString::number(getuid());
    const QString Name = Output(QStringLiteral("id"), {QStringLiteral("-un")});
    // name:password:uid:gid:comment:home:shell
    const QStringList Fields = Output(QStringLiteral("getent"), {QStringLiteral("passwd"), Uid}).split(u':');
    ASSERT_FALSE(Name.isEmpty());
    ASSERT_EQ(Fields.size(), 7);

    const std::optional<TUserAccount> Account = UserAccount::ByUid(getuid());
    ASSERT_TRUE(Account);
    EXPECT_EQ(Account->Uid, uint32_t(getuid()));
    EXPECT_EQ(Account->Name, Name);
    EXPECT_EQ(Account->Home, Fields[5]);
    EXPECT_EQ(Account->Shell, Fields[6]);

    const std::optional<TUserAccount> Named = UserAccount::ByName(Name);
    ASSERT_TRUE(Named);
    EXPECT_EQ(Named->Uid, uint32_t(getuid()));
    EXPECT_EQ(Named->Home, Account->Home);
}

TEST(UserAccountTest, ABufferTooSmallGrowsUntilTheEntryFits)
{
    const std::optional<TUserAccount> Expected = UserAccount::ByUid(getuid());
    ASSERT_TRUE(Expected);
    for (size_t First : {size_t(0), size_t(1), size_t(7), size_t(4096)}) {
        const std::optional<TUserAccount> Account = UserAccount::ByUidStartingWith(getuid(), First);
        ASSERT_TRUE(Account) << First;
        EXPECT_EQ(Account->Name, Expected->Name) << First;
        EXPECT_EQ(Account->Home, Expected->Home) << First;
        EXPECT_EQ(Account->Shell, Expected->Shell) << First;
    }
}

TEST(UserAccountTest, UnknownAccountsAreNone)
{
    EXPECT_EQ(UserAccount::ByUid(4000000000u), std::nullopt);
    EXPECT_EQ(UserAccount::ByUidStartingWith(4000000000u, 1), std::nullopt);
    EXPECT_EQ(UserAccount::ByName(QStringLiteral("no-such-user-here")), std::nullopt);
    EXPECT_EQ(UserAccount::ByName(QString()), std::nullopt);
}

} // namespace
