#include "platform/UserAccount.h"

#include <QFile>

#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

// Long entries (a long GECOS field, many members) need more than the
// system's suggestion; no entry needs more than this.
constexpr size_t MaxBufferSize = size_t(1) << 20;

size_t SuggestedBufferSize()
{
    const long Size = sysconf(_SC_GETPW_R_SIZE_MAX);
    return Size > 0 ? size_t(Size) : 16384;
}

// Lookup is getpwuid_r or getpwnam_r with its key bound.
template <typename TLookup>
std::optional<TUserAccount> Find(TLookup Lookup, size_t FirstBufferSize)
{
    std::vector<char> Buffer(FirstBufferSize > 0 ? FirstBufferSize : 1);
    struct passwd Entry {};
    struct passwd* Found = nullptr;
    int Error;
    while ((Error = Lookup(&Entry, Buffer.data(), Buffer.size(), &Found)) == ERANGE && Buffer.size() < MaxBufferSize)
        Buffer.resize(Buffer.size() * 2);
    if (Error != 0 || !Found)
        return std::nullopt;
    return TUserAccount{uint32_t(Found->pw_uid), QFile::decodeName(Found->pw_name), QFile::decodeName(Found->pw_dir),
        Found->pw_shell ? QFile::decodeName(Found->pw_shell) : QString()};
}

} // namespace

namespace UserAccount {

std::optional<TUserAccount> ByUid(uint32_t Uid)
{
    return ByUidStartingWith(Uid, SuggestedBufferSize());
}

std::optional<TUserAccount> ByUidStartingWith(uint32_t Uid, size_t FirstBufferSize)
{
    return Find([Uid](passwd* Entry, char* Buffer, size_t Size, passwd** Found) {
        return getpwuid_r(uid_t(Uid), Entry, Buffer, Size, Found);
    }, FirstBufferSize);
}

std::optional<TUserAccount> ByName(const QString& Name)
{
    if (Name.isEmpty())
        return std::nullopt;
    const QByteArray Native = QFile::encodeName(Name);
    return Find([&Native](passwd* Entry, char* Buffer, size_t Size, passwd** Found) {
        return getpwnam_r(Native.constData(), Entry, Buffer, Size, Found);
    }, SuggestedBufferSize());
}

} // namespace UserAccount
