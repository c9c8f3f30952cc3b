#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

// An account of the password database, as the callers need it.
struct TUserAccount
{
    uint32_t Uid = 0;
    QString Name;
    QString Home;
    QString Shell; // empty when the entry names none
};

namespace UserAccount {

// The account of a user id or of a name; none when the database has no such
// entry or cannot be read.
std::optional<TUserAccount> ByUid(uint32_t Uid);
std::optional<TUserAccount> ByName(const QString& Name);

// ByUid with the first buffer of the given size, so that tests reach the
// growth of a buffer that is too small.
std::optional<TUserAccount> ByUidStartingWith(uint32_t Uid, size_t FirstBufferSize);

} // namespace UserAccount
