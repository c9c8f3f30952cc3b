#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// The running processes and the accounts that own them, read from /proc and
// the password database.

struct TProcessEntry
{
    uint32_t ProcessId = 0;
    QString ExeName; // the executable's file name, without folder
    uint32_t Uid = 0; // the real user that owns the process
};

// An account identifier in the security-identifier shape: revision,
// authority and sub-authorities. A Unix user is S-1-22-1-<uid>.
struct TAccountSid
{
    uint8_t Revision = 1;
    uint64_t Authority = 22;
    std::vector<uint32_t> SubAuthorities;
};

namespace ProcessList {

// Every process, in ascending process id order.
std::vector<TProcessEntry> Snapshot();

// Tests put their own process table in place; an empty function restores /proc.
void SetSnapshotForTesting(std::function<std::vector<TProcessEntry>()> Source);

// The user that owns a process; none for 0 or a process that is gone.
std::optional<uint32_t> ProcessOwner(uint32_t ProcessId);

// The account name of a user from the password database; empty when unknown.
QString AccountName(uint32_t Uid);
// The user id of an account name; none when unknown.
std::optional<uint32_t> AccountUid(const QString& Name);

TAccountSid UnixUserSid(uint32_t Uid);
// "S-1-22-1-1000"; false and empty for a revision other than 1, no or more
// than 15 sub-authorities, or an authority beyond 48 bits.
bool SidToString(const TAccountSid& Sid, QString& Text);

} // namespace ProcessList
