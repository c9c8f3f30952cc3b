#include "platform/TextDecoding.h"

#include "platform/Exceptions.h"
#include "platform/FileLock.h"

#include <QFile>
#include <QStringDecoder>

namespace {

// Bytes 0x80 to 0x9F differ from Latin-1; the five the code page leaves
// undefined map to the C1 controls of the same value, as the system
// conversion does.
const char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

namespace TextDecoding {

QString DecodeCp1252(QByteArrayView Bytes)
{
    QString Text(Bytes.size(), Qt::Uninitialized);
    QChar* Out = Text.data();
    for (char Byte : Bytes) {
        const auto Code = static_cast<unsigned char>(Byte);
        Out->unicode() = (Code >= 0x80 && Code < 0xA0) ? Cp1252High[Code - 0x80] : Code;
        ++Out;
    }
    return Text;
}

QString DecodeUtf8OrCp1252(QByteArrayView Bytes)
{
    QStringDecoder Decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString Text = Decoder(Bytes);
    return Decoder.hasError() ? DecodeCp1252(Bytes) : Text;
}

QString Decode(const QByteArray& Bytes)
{
    auto WithMark = [&](QStringConverter::Encoding Encoding, qsizetype MarkSize) {
        QStringDecoder Decoder(Encoding, QStringConverter::Flag::Stateless);
        return QString(Decoder(QByteArrayView(Bytes).sliced(MarkSize)));
    };
    if (Bytes.startsWith("\xFF\xFE"))
        return WithMark(QStringConverter::Utf16LE, 2);
    if (Bytes.startsWith("\xFE\xFF"))
        return WithMark(QStringConverter::Utf16BE, 2);
    if (Bytes.startsWith("\xEF\xBB\xBF"))
        return WithMark(QStringConverter::Utf8, 3);
    return DecodeCp1252(Bytes);
}

QStringList SplitLines(QString Text)
{
    const qsizetype Nul = Text.indexOf(QChar(0));
    if (Nul >= 0)
        Text.truncate(Nul);

    QStringList Lines;
    qsizetype Start = 0;
    const qsizetype Size = Text.size();
    for (qsizetype I = 0; I < Size; ++I) {
        const QChar C = Text.at(I);
        if (C != u'\r' && C != u'\n')
            continue;
        Lines.append(Text.mid(Start, I - Start));
        if (C == u'\r' && I + 1 < Size && Text.at(I + 1) == u'\n')
            ++I;
        Start = I + 1;
    }
    if (Start < Size)
        Lines.append(Text.mid(Start));
    return Lines;
}

QByteArray ReadWholeFile(const QString& FileName)
{
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, File.errorString()));
    // Readers may share the file, a writer that locks it may not change it
    // under us; Linux has only advisory locks, so this binds cooperating
    // writers only, and a failure to lock does not stop the read.
    TFileLock Lock;
    Lock.Borrow(File.handle());
    (void)Lock.Lock(TFileLock::Shared, TFileLock::NoWait);
    QByteArray Bytes = File.readAll();
    if (File.error() != QFileDevice::NoError)
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, File.errorString()));
    return Bytes;
}

QStringList ReadLines(const QString& FileName)
{
    return SplitLines(Decode(ReadWholeFile(FileName)));
}

} // namespace TextDecoding
