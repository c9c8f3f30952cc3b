#pragma once

#include "toolkit/Classes.h"

// Building property rows from getters and setters.

namespace Props {

// Conversion of a C++ value to and from its description spelling.
template <class V, class Enable = void>
struct TCodec;

template <>
struct TCodec<int>
{
    static constexpr TPropInfo::TKind Kind = TPropInfo::pkInteger;
    static TValue ToValue(int V) { return TValue::OfInteger(V); }
    static int FromValue(const TValue& V);
};
template <>
struct TCodec<double>
{
    static constexpr TPropInfo::TKind Kind = TPropInfo::pkFloat;
    static TValue ToValue(double V) { return TValue::OfFloat(V); }
    static double FromValue(const TValue& V);
};
template <>
struct TCodec<bool>
{
    static constexpr TPropInfo::TKind Kind = TPropInfo::pkBoolean;
    static TValue ToValue(bool V) { return TValue::OfBoolean(V); }
    static bool FromValue(const TValue& V);
};
template <>
struct TCodec<QString>
{
    static constexpr TPropInfo::TKind Kind = TPropInfo::pkString;
    static TValue ToValue(const QString& V) { return TValue::OfString(V); }
    static QString FromValue(const TValue& V);
};
template <>
struct TCodec<QStringList>
{
    static constexpr TPropInfo::TKind Kind = TPropInfo::pkStrings;
    static TValue ToValue(const QStringList& V) { return TValue::OfList(V); }
    static QStringList FromValue(const TValue& V);
};

QStringList EnumNames(const char* const* Names, size_t Count);
int EnumFromValue(const TValue& V, const char* const* Names, size_t Count);
unsigned SetFromValue(const TValue& V, const char* const* Names, size_t Count);
TValue SetToValue(unsigned Bits, const char* const* Names, size_t Count);

template <class E>
struct TCodec<E, std::enable_if_t<std::is_enum_v<E>>>
{
    static constexpr TPropInfo::TKind Kind = TPropInfo::pkEnum;
    static TValue ToValue(E V) { return TValue::OfIdent(QString::fromLatin1(TEnumInfo<E>::Names.at(static_cast<size_t>(V)))); }
    static E FromValue(const TValue& V)
    {
        return static_cast<E>(EnumFromValue(V, TEnumInfo<E>::Names.data(), TEnumInfo<E>::Names.size()));
    }
};

template <class E>
struct TCodec<TSet<E>>
{
    static constexpr TPropInfo::TKind Kind = TPropInfo::pkSet;
    static TValue ToValue(TSet<E> V) { return SetToValue(V.Bits(), TEnumInfo<E>::Names.data(), TEnumInfo<E>::Names.size()); }
    static TSet<E> FromValue(const TValue& V)
    {
        return TSet<E>::FromBits(SetFromValue(V, TEnumInfo<E>::Names.data(), TEnumInfo<E>::Names.size()));
    }
};

template <class T>
T& Cast(TObject& O)
{
    return static_cast<T&>(O);
}
template <class T>
const T& Cast(const TObject& O)
{
    return static_cast<const T&>(O);
}

// A property read and written through member functions (of T or of a base
// of T). The setter may take its value by value or by const reference.
template <class T, class G, class S>
TPropInfo Property(const QString& Name, G Getter, S Setter,
    std::optional<std::decay_t<std::invoke_result_t<G, const T&>>> Default = std::nullopt, std::function<bool(const T&)> Stored = {})
{
    using TV = std::decay_t<std::invoke_result_t<G, const T&>>;
    using C = TCodec<TV>;
    TPropInfo P;
    P.Name = Name;
    P.Kind = C::Kind;
    P.Get = [Getter](const TObject& O) { return C::ToValue(std::invoke(Getter, Cast<T>(O))); };
    P.Set = [Setter](TObject& O, const TValue& Value) { std::invoke(Setter, Cast<T>(O), C::FromValue(Value)); };
    if (Default)
        P.Default = C::ToValue(*Default);
    if (Stored)
        P.Stored = [Stored](const TObject& O) { return Stored(Cast<T>(O)); };
    return P;
}

// A property whose getter and setter are free functions (for nested paths
// such as "Font.Height").
template <class T, class V>
TPropInfo Accessor(const QString& Name, std::function<V(const T&)> Getter, std::function<void(T&, const V&)> Setter,
    std::optional<std::type_identity_t<V>> Default = std::nullopt, std::function<bool(const T&)> Stored = {})
{
    using C = TCodec<V>;
    TPropInfo P;
    P.Name = Name;
    P.Kind = C::Kind;
    P.Get = [Getter](const TObject& O) { return C::ToValue(Getter(Cast<T>(O))); };
    P.Set = [Setter](TObject& O, const TValue& Value) { Setter(Cast<T>(O), C::FromValue(Value)); };
    if (Default)
        P.Default = C::ToValue(*Default);
    if (Stored)
        P.Stored = [Stored](const TObject& O) { return Stored(Cast<T>(O)); };
    return P;
}

// A reference to another component of the description, resolved after the
// whole description is read; not written when empty.
template <class T, class R>
TPropInfo Reference(const QString& Name, R* (T::*Getter)() const, void (T::*Setter)(R*))
{
    TPropInfo P;
    P.Name = Name;
    P.Kind = TPropInfo::pkReference;
    P.Get = [Getter](const TObject& O) { return TValue::OfReference((Cast<T>(O).*Getter)()); };
    P.Set = [Setter, Name](TObject& O, const TValue& V) {
        R* Target = nullptr;
        if (V.Kind == TValue::vkReference && V.Ref) {
            Target = dynamic_cast<R*>(V.Ref);
            if (!Target)
                throw EPropertyError(QStringLiteral("%1 is of the wrong class for %2").arg(V.Text, Name));
        }
        (Cast<T>(O).*Setter)(Target);
    };
    P.Default = TValue::OfReference(nullptr);
    return P;
}

// An event: the value names a handler that the root defined; not written when empty.
template <class T, class... Args>
TPropInfo Event(const QString& Name, TEvent<Args...> T::*Field)
{
    TPropInfo P;
    P.Name = Name;
    P.Kind = TPropInfo::pkEvent;
    P.Get = [Field](const TObject& O) {
        const auto& E = Cast<T>(O).*Field;
        return E ? TValue::OfIdent(E.Name()) : TValue();
    };
    P.Set = [Field, Name](TObject& O, const TValue& V) {
        if (V.Kind == TValue::vkNone) {
            Cast<T>(O).*Field = TEvent<Args...>();
            return;
        }
        const auto* Fn = std::any_cast<std::function<void(Args...)>>(&V.Handler);
        if (!Fn)
            throw EPropertyError(QStringLiteral("Handler %1 does not fit event %2").arg(V.Text, Name));
        Cast<T>(O).*Field = TEvent<Args...>(*Fn, V.Text);
    };
    P.Default = TValue();
    return P;
}

// A list of items, each with its own property rows ("Columns = < item ... end >").
// Get lists the items, Clear and Add rebuild them; not written when empty.
template <class T, class TItem>
TPropInfo Collection(const QString& Name, std::function<std::vector<TItem*>(const T&)> Items, std::function<void(T&)> Clear,
    std::function<TItem*(T&)> Add, std::function<std::vector<const TPropInfo*>()> ItemProps);

} // namespace Props

// ---------------------------------------------------------------------------

namespace Props {

TValue CollectionToValue(const std::vector<const TObject*>& Items, const std::vector<const TPropInfo*>& ItemProps);
void ApplyItemProps(TObject& Item, const TValue& ItemValue, const std::vector<const TPropInfo*>& ItemProps);

template <class T, class TItem>
TPropInfo Collection(const QString& Name, std::function<std::vector<TItem*>(const T&)> Items, std::function<void(T&)> Clear,
    std::function<TItem*(T&)> Add, std::function<std::vector<const TPropInfo*>()> ItemProps)
{
    TPropInfo P;
    P.Name = Name;
    P.Kind = TPropInfo::pkCollection;
    P.Get = [Items, ItemProps](const TObject& O) {
        std::vector<const TObject*> List;
        for (TItem* I : Items(Cast<T>(O)))
            List.push_back(I);
        return CollectionToValue(List, ItemProps());
    };
    P.Set = [Clear, Add, ItemProps](TObject& O, const TValue& V) {
        if (V.Kind != TValue::vkCollection)
            throw EPropertyError(QStringLiteral("Collection expected"));
        Clear(Cast<T>(O));
        const auto Rows = ItemProps();
        for (const TValue& Item : V.Items)
            ApplyItemProps(*Add(Cast<T>(O)), Item, Rows);
    };
    TValue Empty;
    Empty.Kind = TValue::vkCollection;
    P.Default = Empty;
    return P;
}

} // namespace Props
