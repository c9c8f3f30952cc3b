#include "platform/AsciiText.h"

namespace {

constexpr char16_t CaseDistance = u'a' - u'A';

char LowerLetter(char C)
{
    return C >= 'A' && C <= 'Z' ? char(C + CaseDistance) : C;
}

QChar LowerLetter(QChar C)
{
    return C >= u'A' && C <= u'Z' ? QChar(char16_t(C.unicode() + CaseDistance)) : C;
}

template <typename TView>
bool SameFolded(TView A, TView B)
{
    if (A.size() != B.size())
        return false;
    for (qsizetype I = 0; I < A.size(); ++I)
        if (LowerLetter(A[I]) != LowerLetter(B[I]))
            return false;
    return true;
}

} // namespace

namespace AsciiText {

QChar UpperCase(QChar C)
{
    return C >= u'a' && C <= u'z' ? QChar(char16_t(C.unicode() - CaseDistance)) : C;
}

QString UpperCase(QString Text)
{
    for (QChar& C : Text)
        C = UpperCase(C);
    return Text;
}

QString LowerCase(QString Text)
{
    for (QChar& C : Text)
        C = LowerLetter(C);
    return Text;
}

bool SameText(QStringView A, QStringView B)
{
    return SameFolded(A, B);
}

bool SameText(QByteArrayView A, QByteArrayView B)
{
    return SameFolded(A, B);
}

} // namespace AsciiText
