#include "app/StartupNotification.h"

namespace {

constexpr qsizetype PieceSize = 20;

} // namespace

namespace StartupNotification {

QByteArray RemoveMessage(const QByteArray& StartupId)
{
    QByteArray Quoted;
    for (const char C : StartupId) {
        if (C == '"' || C == '\\')
            Quoted += '\\';
        Quoted += C;
    }
    return "remove: ID=\"" + Quoted + '"';
}

QList<QByteArray> Pieces(const QByteArray& Message)
{
    QByteArray Bytes = Message + '\0';
    Bytes.append((PieceSize - Bytes.size() % PieceSize) % PieceSize, '\0');
    QList<QByteArray> Result;
    for (qsizetype At = 0; At < Bytes.size(); At += PieceSize)
        Result += Bytes.mid(At, PieceSize);
    return Result;
}

} // namespace StartupNotification
