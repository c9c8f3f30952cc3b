#include "toolkit/PropertyTables.h"

#include <algorithm>
#include <climits>

namespace Props {

int TCodec<int>::FromValue(const TValue& V)
{
    if (V.Kind != TValue::vkInteger || V.Integer < INT_MIN || V.Integer > INT_MAX)
        throw EPropertyError(QStringLiteral("Integer expected"));
    return static_cast<int>(V.Integer);
}

double TCodec<double>::FromValue(const TValue& V)
{
    if (V.Kind == TValue::vkFloat)
        return V.Float;
    if (V.Kind == TValue::vkInteger)
        return static_cast<double>(V.Integer);
    throw EPropertyError(QStringLiteral("Number expected"));
}

bool TCodec<bool>::FromValue(const TValue& V)
{
    if (V.Kind != TValue::vkBoolean)
        throw EPropertyError(QStringLiteral("Boolean expected"));
    return V.Boolean;
}

QString TCodec<QString>::FromValue(const TValue& V)
{
    if (V.Kind != TValue::vkString)
        throw EPropertyError(QStringLiteral("String expected"));
    return V.Text;
}

QStringList TCodec<QStringList>::FromValue(const TValue& V)
{
    if (V.Kind != TValue::vkList)
        throw EPropertyError(QStringLiteral("List of strings expected"));
    return V.Strings;
}

QStringList EnumNames(const char* const* Names, size_t Count)
{
    QStringList L;
    for (size_t I = 0; I < Count; ++I)
        L << QString::fromLatin1(Names[I]);
    return L;
}

int EnumFromValue(const TValue& V, const char* const* Names, size_t Count)
{
    const QStringList L = EnumNames(Names, Count);
    if (V.Kind == TValue::vkIdent) {
        for (int I = 0; I < L.size(); ++I)
            if (L[I].compare(V.Text, Qt::CaseInsensitive) == 0)
                return I;
    }
    throw EPropertyError(QStringLiteral("One of %1 expected").arg(L.join(QStringLiteral(", "))));
}

unsigned SetFromValue(const TValue& V, const char* const* Names, size_t Count)
{
    const QStringList L = EnumNames(Names, Count);
    if (V.Kind != TValue::vkSet)
        throw EPropertyError(QStringLiteral("Set of %1 expected").arg(L.join(QStringLiteral(", "))));
    unsigned Bits = 0;
    for (const QString& Name : V.Strings) {
        int Found = -1;
        for (int I = 0; I < L.size(); ++I)
            if (L[I].compare(Name, Qt::CaseInsensitive) == 0)
                Found = I;
        if (Found < 0)
            throw EPropertyError(QStringLiteral("%1 is not one of %2").arg(Name, L.join(QStringLiteral(", "))));
        Bits |= 1u << Found;
    }
    return Bits;
}

TValue SetToValue(unsigned Bits, const char* const* Names, size_t Count)
{
    QStringList L;
    for (size_t I = 0; I < Count; ++I)
        if (Bits & (1u << I))
            L << QString::fromLatin1(Names[I]);
    return TValue::OfSet(L);
}

TValue CollectionToValue(const std::vector<const TObject*>& Items, const std::vector<const TPropInfo*>& ItemProps)
{
    TValue R;
    R.Kind = TValue::vkCollection;
    for (const TObject* Item : Items) {
        TValue I;
        I.Kind = TValue::vkItem;
        for (const TPropInfo* P : ItemProps)
            if (P->IsStored(*Item))
                I.Props.push_back(TNamedValue{P->Name, P->Get(*Item), 0});
        R.Items.push_back(std::move(I));
    }
    return R;
}

void ApplyItemProps(TObject& Item, const TValue& ItemValue, const std::vector<const TPropInfo*>& ItemProps)
{
    for (const TNamedValue& NV : ItemValue.Props) {
        auto It = std::find_if(ItemProps.begin(), ItemProps.end(), [&](const TPropInfo* P) { return P->Name.compare(NV.Name, Qt::CaseInsensitive) == 0; });
        if (It == ItemProps.end()) {
            EPropertyError E(QStringLiteral("Unknown property %1 of a collection item").arg(NV.Name));
            throw E;
        }
        try {
            (*It)->Set(Item, NV.Value);
        } catch (const EPropertyError& E) {
            throw EPropertyError(QStringLiteral("%1: %2").arg(NV.Name, E.Message()));
        }
    }
}

} // namespace Props
