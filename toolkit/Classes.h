#pragma once

#include <QString>
#include <QStringList>

#include <any>
#include <array>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <typeindex>
#include <type_traits>
#include <vector>

#include "platform/Exceptions.h"

class TComponent;
class TReader;
struct TNamedValue;

// The root of every class the toolkit knows by name.
class TObject
{
public:
    virtual ~TObject();

    // The registered name of the object's class; an unregistered class answers
    // with its C++ name.
    QString ClassName() const;
    // True when the object's class is Name or derives from it, by the registry.
    bool InheritsFrom(const QString& Name) const;
};

// A window description that cannot be read: the message carries the file, the
// line and the path of the component ("frmMain.pnlTop.btnNext").
class EReadError : public EError
{
public:
    using EError::EError;
};

// A name that is not an identifier or is taken by another component of the owner.
class EComponentError : public EError
{
public:
    using EError::EError;
};

// A value that does not fit its property; the reader adds where it stood.
class EPropertyError : public EError
{
public:
    using EError::EError;
};

// ---------------------------------------------------------------------------
// Sets of enumeration values ([akLeft, akTop]).

template <class E>
class TSet
{
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> Values)
    {
        for (E V : Values)
            FBits |= Bit(V);
    }
    static constexpr TSet FromBits(unsigned Bits)
    {
        TSet S;
        S.FBits = Bits;
        return S;
    }

    constexpr bool Contains(E V) const { return (FBits & Bit(V)) != 0; }
    constexpr unsigned Bits() const { return FBits; }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr unsigned Bit(E V) { return 1u << static_cast<unsigned>(V); }
    unsigned FBits = 0;
};

// The identifiers of an enumeration, in value order, for reading and writing
// it by name. Specialise with: static constexpr std::array Names{"alNone", ...};
template <class E>
struct TEnumInfo;

// ---------------------------------------------------------------------------
// Event handlers. A window description names them ("OnClick = btnNextClick");
// the root component defines them by name before it is read.

template <class... Args>
class TEvent
{
public:
    using TFunction = std::function<void(Args...)>;

    TEvent() = default;
    TEvent(TFunction Fn, QString Name = QString()) : FFn(std::move(Fn)), FName(std::move(Name)) {}

    explicit operator bool() const { return static_cast<bool>(FFn); }
    void operator()(Args... A) const
    {
        if (FFn)
            FFn(A...);
    }
    // The handler's name in the description; empty for handlers set in code.
    const QString& Name() const { return FName; }

private:
    TFunction FFn;
    QString FName;
};

using TNotifyEvent = TEvent<TObject*>;

// ---------------------------------------------------------------------------
// Property values as the description spells them.

struct TValue
{
    enum TKind
    {
        vkNone,       // empty reference or handler ("nil")
        vkInteger,
        vkFloat,
        vkString,
        vkIdent,      // enumeration value, colour name, reference or handler name
        vkBoolean,
        vkSet,        // Names
        vkList,       // Strings
        vkCollection, // Items, each of kind vkItem
        vkItem,       // Props
        vkReference,  // Ref, after references are resolved
        vkHandler     // Text is the name, Handler the function
    };

    TKind Kind = vkNone;
    qint64 Integer = 0;
    double Float = 0;
    bool Boolean = false;
    QString Text;
    QStringList Strings;
    std::vector<TValue> Items;
    std::vector<TNamedValue> Props;
    TComponent* Ref = nullptr;
    std::any Handler;
    int Line = 0;

    static TValue OfInteger(qint64 V);
    static TValue OfFloat(double V);
    static TValue OfString(const QString& V);
    static TValue OfIdent(const QString& V);
    static TValue OfBoolean(bool V);
    static TValue OfSet(const QStringList& Names);
    static TValue OfList(const QStringList& Strings);
    static TValue OfReference(TComponent* C);

    // Equal as the description would spell them (sets in any order).
    bool operator==(const TValue& O) const;
};

struct TNamedValue
{
    QString Name;
    TValue Value;
    int Line = 0;
};

// ---------------------------------------------------------------------------
// The property table: one row per published property.

struct TPropInfo
{
    enum TKind
    {
        pkInteger,
        pkFloat,
        pkBoolean,
        pkString,
        pkEnum,
        pkSet,
        pkColor,
        pkStrings,
        pkCollection,
        pkReference, // resolved after the whole description is read
        pkEvent
    };

    QString Name; // may be a path: "Font.Height"
    TKind Kind = pkInteger;
    std::function<TValue(const TObject&)> Get;
    // Throws EPropertyError with a message naming what was expected.
    std::function<void(TObject&, const TValue&)> Set;
    // Not written when the value equals it; none: written whenever stored.
    std::optional<TValue> Default;
    // The property's own rule; when set, it must hold as well for a write.
    std::function<bool(const TObject&)> Stored;

    bool IsStored(const TObject& Instance) const;
};

using TPropList = std::vector<TPropInfo>;

// ---------------------------------------------------------------------------
// The class registry: name, parent class, factory and published properties.

struct TClassInfo
{
    QString Name;
    const TClassInfo* Parent = nullptr;
    std::type_index Type = typeid(void);
    std::function<TComponent*(TComponent* Owner)> Create; // empty: not creatable by name
    TPropList Props;                                       // the class's own rows

    bool InheritsFrom(const QString& Ancestor) const;
    // Own rows replace the parent's row of the same name in its place.
    std::vector<const TPropInfo*> Properties() const;
    const TPropInfo* FindProperty(const QString& PropName) const;
};

namespace ClassRegistry {

// Registers a class once; registering the same type again does nothing.
// The parent type must be registered before.
const TClassInfo& Register(const QString& Name, std::type_index Type, std::type_index ParentType,
    std::function<TComponent*(TComponent*)> Create, TPropList Props);
const TClassInfo* Find(const QString& Name);
const TClassInfo* Find(std::type_index Type);
const TClassInfo* Of(const TObject& Instance);

} // namespace ClassRegistry

template <class T, class TParent>
const TClassInfo& RegisterClass(const QString& Name, TPropList Props = {})
{
    static_assert(std::is_base_of_v<TParent, T>);
    std::function<TComponent*(TComponent*)> Create;
    if constexpr (std::is_constructible_v<T, TComponent*> && !std::is_abstract_v<T>)
        Create = [](TComponent* Owner) -> TComponent* { return new T(Owner); };
    return ClassRegistry::Register(Name, typeid(T), typeid(TParent), std::move(Create), std::move(Props));
}

// Registers TObject and TComponent; safe to call more than once.
void RegisterClassesUnit();

// ---------------------------------------------------------------------------
// Components.

enum TComponentStateFlag : unsigned
{
    csLoading = 0x1,
    csReading = 0x2,
    csWriting = 0x4,
    csDestroying = 0x8,
    csDesigning = 0x10,
    csUpdating = 0x20,
    csFixups = 0x40
};
using TComponentState = unsigned;

enum TOperation
{
    opInsert,
    opRemove
};

using TGetChildProc = std::function<void(TComponent*)>;

class TComponent : public TObject
{
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const QString& Name() const { return FName; }
    // Throws EComponentError for a name that is not an identifier or that
    // another component of the same owner has (letter case ignored).
    virtual void SetName(const QString& NewName);
    int Tag() const { return FTag; }
    void SetTag(int Value) { FTag = Value; }

    TComponent* Owner() const { return FOwner; }
    // The owned components in the order of their creation.
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int Index) const { return FComponents.at(static_cast<size_t>(Index)); }
    int ComponentIndex() const;
    TComponent* FindComponent(const QString& AName) const;
    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);
    void DestroyComponents();

    TComponentState ComponentState() const { return FComponentState; }
    bool HasState(TComponentStateFlag Flag) const { return (FComponentState & Flag) != 0; }
    void SetState(TComponentStateFlag Flag, bool On);
    // Marks this component and everything it owns as being destroyed.
    void Destroying();

    // Asks to be told (Notification with opRemove) when AComponent is destroyed.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    // Handlers that a window description may name. Bind before reading.
    template <class T, class... Args>
    void DefineHandler(const QString& HandlerName, void (T::*Method)(Args...))
    {
        T* Self = static_cast<T*>(this);
        DefineHandlerAny(HandlerName, std::function<void(Args...)>([Self, Method](Args... A) { (Self->*Method)(A...); }));
    }
    template <class... Args>
    void DefineHandler(const QString& HandlerName, std::function<void(Args...)> Fn)
    {
        DefineHandlerAny(HandlerName, std::move(Fn));
    }
    // The std::function stored under the name, letter case ignored; null when none.
    const std::any* FindHandler(const QString& HandlerName) const;

    // Runs while the object is still whole, before its destructors: a form
    // fires OnDestroy here. FreeComponent and the owner's destruction call it.
    virtual void BeforeDestruction();

    // Called once the whole description is read and references are resolved;
    // the base clears csLoading.
    virtual void Loaded();
    // Told of components inserted into or removed from the owner, and of
    // components this one asked FreeNotification of.
    virtual void Notification(TComponent* AComponent, TOperation Operation);
    // Reads the component's own properties and its children from the reader;
    // a class that must act on being read overrides it and calls the base first.
    virtual void ReadState(TReader& Reader);
    // The children that a writer saves with this component, in writing order.
    virtual void GetChildren(const TGetChildProc& Proc, TComponent* Root);

    static TPropList Published();

private:
    void DefineHandlerAny(const QString& HandlerName, std::any Fn);
    void Remove(TComponent* AComponent);

    QString FName;
    int FTag = 0;
    TComponent* FOwner = nullptr;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    TComponentState FComponentState = 0;
    std::vector<std::pair<QString, std::any>> FHandlers;
};

// Destroys a component the way its owner would: BeforeDestruction, then delete.
void FreeComponent(TComponent* AComponent);

struct TComponentDeleter
{
    void operator()(TComponent* C) const { FreeComponent(C); }
};
// Sole ownership of a component without an owner.
template <class T>
using TOwnedPtr = std::unique_ptr<T, TComponentDeleter>;
