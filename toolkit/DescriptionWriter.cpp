#include "toolkit/Streaming.h"

namespace {

QString QuoteString(const QString& S)
{
    if (S.isEmpty())
        return QStringLiteral("''");
    QString R;
    bool InQuotes = false;
    for (QChar C : S) {
        if (C.unicode() < 32) {
            if (InQuotes) {
                R += u'\'';
                InQuotes = false;
            }
            R += u'#' + QString::number(C.unicode());
        } else {
            if (!InQuotes) {
                R += u'\'';
                InQuotes = true;
            }
            R += C;
            if (C == u'\'')
                R += u'\'';
        }
    }
    if (InQuotes)
        R += u'\'';
    return R;
}

QString Indent(int Level)
{
    return QString(Level * 2, u' ');
}

void WriteValue(QStringList& Out, const QString& Head, const TValue& V, int Level)
{
    switch (V.Kind) {
    case TValue::vkNone:
        Out << Head + QStringLiteral("nil");
        return;
    case TValue::vkInteger:
        Out << Head + QString::number(V.Integer);
        return;
    case TValue::vkFloat: {
        QString S = QString::number(V.Float, 'g', 17);
        if (!S.contains(u'.') && !S.contains(u'e'))
            S += QStringLiteral(".0");
        Out << Head + S;
        return;
    }
    case TValue::vkString:
        Out << Head + QuoteString(V.Text);
        return;
    case TValue::vkIdent:
    case TValue::vkHandler:
    case TValue::vkReference:
        Out << Head + V.Text;
        return;
    case TValue::vkBoolean:
        Out << Head + (V.Boolean ? QStringLiteral("True") : QStringLiteral("False"));
        return;
    case TValue::vkSet:
        Out << Head + u'[' + V.Strings.join(QStringLiteral(", ")) + u']';
        return;
    case TValue::vkList:
        if (V.Strings.isEmpty()) {
            Out << Head + QStringLiteral("()");
            return;
        }
        Out << Head + u'(';
        for (int I = 0; I < V.Strings.size(); ++I)
            Out << Indent(Level + 1) + QuoteString(V.Strings[I]) + (I + 1 == V.Strings.size() ? QStringLiteral(")") : QString());
        return;
    case TValue::vkCollection:
        if (V.Items.empty()) {
            Out << Head + QStringLiteral("<>");
            return;
        }
        Out << Head + u'<';
        for (size_t I = 0; I < V.Items.size(); ++I) {
            Out << Indent(Level + 1) + QStringLiteral("item");
            for (const TNamedValue& P : V.Items[I].Props)
                WriteValue(Out, Indent(Level + 2) + P.Name + QStringLiteral(" = "), P.Value, Level + 2);
            Out << Indent(Level + 1) + QStringLiteral("end") + (I + 1 == V.Items.size() ? QStringLiteral(">") : QString());
        }
        return;
    case TValue::vkItem:
        break;
    }
    Out << Head + QStringLiteral("nil");
}

void WriteComponent(QStringList& Out, TComponent* C, TComponent* Root, int Level)
{
    const QString Head = C->Name().isEmpty() ? C->ClassName() : C->Name() + QStringLiteral(": ") + C->ClassName();
    Out << Indent(Level) + QStringLiteral("object ") + Head;
    C->SetState(csWriting, true);
    if (const TClassInfo* Class = ClassRegistry::Of(*C))
        for (const TPropInfo* P : Class->Properties())
            if (P->IsStored(*C))
                WriteValue(Out, Indent(Level + 1) + P->Name + QStringLiteral(" = "), P->Get(*C), Level + 1);
    C->GetChildren([&](TComponent* Child) { WriteComponent(Out, Child, Root, Level + 1); }, Root);
    C->SetState(csWriting, false);
    Out << Indent(Level) + QStringLiteral("end");
}

} // namespace

QString TWriter::WriteRootComponent(TComponent* Root)
{
    QStringList Out;
    WriteComponent(Out, Root, Root, 0);
    return Out.join(u'\n') + u'\n';
}

QStringList TWriter::WriteProperties(const TObject& Instance, const std::vector<const TPropInfo*>& Props)
{
    QStringList Out;
    for (const TPropInfo* P : Props)
        if (P->IsStored(Instance))
            WriteValue(Out, P->Name + QStringLiteral(" = "), P->Get(Instance), 0);
    return Out;
}
