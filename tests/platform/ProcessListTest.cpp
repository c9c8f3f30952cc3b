#include "platform/ProcessList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

namespace {

TEST(ProcessListTest, SnapshotListsThisProcessInProcessOrder)
{
    const std::vector<TProcessEntry> Entries = ProcessList::Snapshot();
    EXPECT_TRUE(std::is_sorted(Entries.begin(), Entries.end(),
        [](const TProcessEntry& A, const TProcessEntry& B) { return A.ProcessId < B.ProcessId; }));
    const auto Self = std::find_if(Entries.begin(), Entries.end(),
        [](const TProcessEntry& Entry) { return Entry.ProcessId == uint32_t(getpid()); });
    ASSERT_NE(Self, Entries.end());
    // The test program's name is longer than the 15 bytes the kernel keeps.
    EXPECT_EQ(Self->ExeName, QStringLiteral("test_platform"));
    EXPECT_EQ(Self->Uid, uint32_t(getuid()));
    EXPECT_EQ(ProcessList::ProcessOwner(uint32_t(getpid())), uint32_t(getuid()));
    EXPECT_EQ(ProcessList::ProcessOwner(0), std::nullopt);
}

TEST(ProcessListTest, TestSnapshotReplacesProcAndAnswersOwners)
{
    ProcessList::SetSnapshotForTesting([] {
        return std::vector<TProcessEntry>{{7, QStringLiteral("gnome-shell"), 1000}};
    });
    EXPECT_EQ(ProcessList::Snapshot().size(), 1u);
    EXPECT_EQ(ProcessList::ProcessOwner(7), 1000u);
    EXPECT_EQ(ProcessList::ProcessOwner(uint32_t(getpid())), std::nullopt);
    ProcessList::SetSnapshotForTesting({});
    EXPECT_GT(ProcessList::Snapshot().size(), 1u);
}

TEST(ProcessListTest, AccountsComeFromThePasswordDatabase)
{
    EXPECT_EQ(ProcessList::AccountName(0), QStringLiteral("root"));
    EXPECT_EQ(ProcessList::AccountUid(QStringLiteral("root")), 0u);
    EXPECT_EQ(ProcessList::AccountUid(QStringLiteral("no-such-user-here")), std::nullopt);
    EXPECT_EQ(ProcessList::AccountUid(QString()), std::nullopt);
    EXPECT_TRUE(ProcessList::AccountName(4000000000u).isEmpty());
}

TEST(ProcessListTest, SidTextHasTheStandardForm)
{
    const struct
    {
        TAccountSid Sid;
        bool Ok;
        const char* Text;
    } Cases[] = {
        {ProcessList::UnixUserSid(1000), true, "S-1-22-1-1000"},
        {ProcessList::UnixUserSid(0), true, "S-1-22-1-0"},
        {{1, 5, {21, 1, 2, 3, 500}}, true, "S-1-5-21-1-2-3-500"},
        {{1, 0x100000000ull, {1}}, true, "S-1-0x000100000000-1"},
        {{2, 22, {1}}, false, ""},
        {{1, 22, {}}, false, ""},
        {{1, 22, std::vector<uint32_t>(15, 1)}, true, "S-1-22-1-1-1-1-1-1-1-1-1-1-1-1-1-1-1"},
        {{1, 22, std::vector<uint32_t>(16, 1)}, false, ""},
        {{1, 1ull << 48, {1}}, false, ""},
    };
    for (const auto& Case : Cases) {
        QString Text = QStringLiteral("old");
        EXPECT_EQ(ProcessList::SidToString(Case.Sid, Text), Case.Ok) << Case.Text;
        EXPECT_EQ(Text.toStdString(), Case.Text);
    }
}

} // namespace
