#include "service/CommandLine.h"

QStringList SplitCommandLine(const QString& Parameters)
{
    QStringList Args;
    QString Current;
    bool InArgument = false;
    bool Quoted = false;
    const qsizetype Size = Parameters.size();
    for (qsizetype I = 0; I < Size; ++I) {
        const QChar C = Parameters[I];
        if (!Quoted && (C == QLatin1Char(' ') || C == QLatin1Char('\t'))) {
            if (InArgument)
                Args += Current;
            Current.clear();
            InArgument = false;
            continue;
        }
        InArgument = true;
        if (C == QLatin1Char('\\')) {
            qsizetype End = I;
            while (End < Size && Parameters[End] == QLatin1Char('\\'))
                ++End;
            const qsizetype Count = End - I;
            if (End < Size && Parameters[End] == QLatin1Char('"')) {
                Current += QString(Count / 2, QLatin1Char('\\'));
                if (Count % 2) {
                    Current += QLatin1Char('"');
                    I = End;
                    continue;
                }
            } else {
                Current += QString(Count, QLatin1Char('\\'));
            }
            I = End - 1; // a quote after an even run groups in the next round
            continue;
        }
        if (C == QLatin1Char('"')) {
            if (Quoted && I + 1 < Size && Parameters[I + 1] == QLatin1Char('"')) {
                Current += QLatin1Char('"');
                ++I;
            } else {
                Quoted = !Quoted;
            }
            continue;
        }
        Current += C;
    }
    if (InArgument)
        Args += Current;
    return Args;
}
