#include "platform/ProcessList.h"

#include "platform/UserAccount.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <unistd.h>

namespace {

std::function<std::vector<TProcessEntry>()>& SnapshotSource()
{
    static std::function<std::vector<TProcessEntry>()> Instance;
    return Instance;
}

QByteArray ReadSmallFile(const QString& Path)
{
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly))
        return {};
    return File.read(64 * 1024);
}

// The "Uid:" line of /proc/<pid>/status starts with the real user id.
std::optional<uint32_t> ReadOwner(uint32_t ProcessId)
{
    const QByteArray Status = ReadSmallFile(QStringLiteral("/proc/%1/status").arg(ProcessId));
    for (const QByteArray& Line : Status.split('\n')) {
        if (!Line.startsWith("Uid:"))
            continue;
        const QList<QByteArray> Fields = Line.mid(4).simplified().split(' ');
        bool Ok = false;
        const uint32_t Uid = Fields.value(0).toUInt(&Ok);
        if (Ok)
            return Uid;
    }
    return std::nullopt;
}

// comm holds at most 15 bytes; the file name of argv[0] gives the whole
// name when it begins with them.
QString ReadExeName(uint32_t ProcessId)
{
    QByteArray Comm = ReadSmallFile(QStringLiteral("/proc/%1/comm").arg(ProcessId));
    if (Comm.endsWith('\n'))
        Comm.chop(1);
    if (Comm.size() >= 15) {
        const QByteArray CommandLine = ReadSmallFile(QStringLiteral("/proc/%1/cmdline").arg(ProcessId));
        const QByteArray Program = CommandLine.left(CommandLine.indexOf('\0'));
        const QByteArray FileName = Program.mid(Program.lastIndexOf('/') + 1);
        if (FileName.startsWith(Comm))
            return QFile::decodeName(FileName);
    }
    return QFile::decodeName(Comm);
}

std::vector<TProcessEntry> ReadProc()
{
    std::vector<TProcessEntry> Entries;
    const QStringList Names = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& Name : Names) {
        bool Ok = false;
        const uint32_t ProcessId = Name.toUInt(&Ok);
        if (!Ok || ProcessId == 0)
            continue;
        const std::optional<uint32_t> Owner = ReadOwner(ProcessId);
        const QString ExeName = ReadExeName(ProcessId);
        // Gone between the listing and the reads.
        if (!Owner || ExeName.isEmpty())
            continue;
        Entries.push_back({ProcessId, ExeName, *Owner});
    }
    std::sort(Entries.begin(), Entries.end(),
        [](const TProcessEntry& A, const TProcessEntry& B) { return A.ProcessId < B.ProcessId; });
    return Entries;
}

} // namespace

namespace ProcessList {

std::vector<TProcessEntry> Snapshot()
{
    const auto& Source = SnapshotSource();
    return Source ? Source() : ReadProc();
}

void SetSnapshotForTesting(std::function<std::vector<TProcessEntry>()> Source)
{
    SnapshotSource() = std::move(Source);
}

std::optional<uint32_t> ProcessOwner(uint32_t ProcessId)
{
    if (ProcessId == 0)
        return std::nullopt;
    if (SnapshotSource()) {
        for (const TProcessEntry& Entry : SnapshotSource()())
            if (Entry.ProcessId == ProcessId)
                return Entry.Uid;
        return std::nullopt;
    }
    return ReadOwner(ProcessId);
}

QString AccountName(uint32_t Uid)
{
    const std::optional<TUserAccount> Account = UserAccount::ByUid(Uid);
    return Account ? Account->Name : QString();
}

std::optional<uint32_t> AccountUid(const QString& Name)
{
    const std::optional<TUserAccount> Account = UserAccount::ByName(Name);
    if (!Account)
        return std::nullopt;
    return Account->Uid;
}

TAccountSid UnixUserSid(uint32_t Uid)
{
    return {1, 22, {1, Uid}};
}

bool SidToString(const TAccountSid& Sid, QString& Text)
{
    Text.clear();
    if (Sid.Revision != 1 || Sid.SubAuthorities.empty() || Sid.SubAuthorities.size() > 15
        || Sid.Authority >= (uint64_t(1) << 48))
        return false;
    // As Windows writes it: decimal below 2^32, else 12 hexadecimal digits.
    Text = Sid.Authority < (uint64_t(1) << 32)
        ? QStringLiteral("S-1-%1").arg(Sid.Authority)
        : QStringLiteral("S-1-0x") + QString::number(Sid.Authority, 16).rightJustified(12, QLatin1Char('0')).toUpper();
    for (const uint32_t Part : Sid.SubAuthorities)
        Text += QLatin1Char('-') + QString::number(Part);
    return true;
}

} // namespace ProcessList
