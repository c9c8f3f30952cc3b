#include "toolkit/Classes.h"

#include "toolkit/PropertyTables.h"
#include "toolkit/Streaming.h"

#include <QHash>

#include <algorithm>
#include <cxxabi.h>
#include <cstdlib>
#include <map>

// ---------------------------------------------------------------------------
// Registry

namespace {

struct TRegistry
{
    std::vector<std::unique_ptr<TClassInfo>> Classes;
    std::map<std::type_index, TClassInfo*> ByType;
    QHash<QString, TClassInfo*> ByName; // upper-cased
};

TRegistry& Registry()
{
    static TRegistry R;
    return R;
}

QString DemangledName(const std::type_info& Type)
{
    int Status = 0;
    char* Name = abi::__cxa_demangle(Type.name(), nullptr, nullptr, &Status);
    QString Result = QString::fromLatin1(Status == 0 && Name ? Name : Type.name());
    std::free(Name);
    return Result;
}

bool IsIdentifier(const QString& S)
{
    if (S.isEmpty())
        return false;
    for (int I = 0; I < S.size(); ++I) {
        const QChar C = S[I];
        const bool Letter = (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z') || C == u'_';
        const bool Digit = C >= u'0' && C <= u'9';
        if (!Letter && !(Digit && I > 0))
            return false;
    }
    return true;
}

} // namespace

TObject::~TObject() = default;

QString TObject::ClassName() const
{
    if (const TClassInfo* Info = ClassRegistry::Of(*this))
        return Info->Name;
    return DemangledName(typeid(*this));
}

bool TObject::InheritsFrom(const QString& Name) const
{
    const TClassInfo* Info = ClassRegistry::Of(*this);
    return Info && Info->InheritsFrom(Name);
}

bool TClassInfo::InheritsFrom(const QString& Ancestor) const
{
    for (const TClassInfo* C = this; C; C = C->Parent)
        if (C->Name.compare(Ancestor, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

std::vector<const TPropInfo*> TClassInfo::Properties() const
{
    std::vector<const TPropInfo*> Rows = Parent ? Parent->Properties() : std::vector<const TPropInfo*>();
    for (const TPropInfo& P : Props) {
        auto Same = std::find_if(Rows.begin(), Rows.end(), [&](const TPropInfo* R) { return R->Name.compare(P.Name, Qt::CaseInsensitive) == 0; });
        if (Same != Rows.end())
            *Same = &P;
        else
            Rows.push_back(&P);
    }
    return Rows;
}

const TPropInfo* TClassInfo::FindProperty(const QString& PropName) const
{
    for (const TClassInfo* C = this; C; C = C->Parent)
        for (const TPropInfo& P : C->Props)
            if (P.Name.compare(PropName, Qt::CaseInsensitive) == 0)
                return &P;
    return nullptr;
}

bool TPropInfo::IsStored(const TObject& Instance) const
{
    if (Stored && !Stored(Instance))
        return false;
    if (Default && Get(Instance) == *Default)
        return false;
    return true;
}

namespace ClassRegistry {

const TClassInfo& Register(const QString& Name, std::type_index Type, std::type_index ParentType,
    std::function<TComponent*(TComponent*)> Create, TPropList Props)
{
    TRegistry& R = Registry();
    if (auto It = R.ByType.find(Type); It != R.ByType.end())
        return *It->second;
    if (R.ByName.contains(Name.toUpper()))
        throw EError(QStringLiteral("Class %1 is registered twice").arg(Name));
    const TClassInfo* Parent = nullptr;
    if (ParentType != std::type_index(typeid(void))) {
        Parent = Find(ParentType);
        if (!Parent)
            throw EError(QStringLiteral("The parent class of %1 is not registered").arg(Name));
    }
    auto Info = std::make_unique<TClassInfo>();
    Info->Name = Name;
    Info->Parent = Parent;
    Info->Type = Type;
    Info->Create = std::move(Create);
    Info->Props = std::move(Props);
    TClassInfo* Raw = Info.get();
    R.Classes.push_back(std::move(Info));
    R.ByType.emplace(Type, Raw);
    R.ByName.insert(Name.toUpper(), Raw);
    return *Raw;
}

const TClassInfo* Find(const QString& Name)
{
    return Registry().ByName.value(Name.toUpper(), nullptr);
}

const TClassInfo* Find(std::type_index Type)
{
    const TRegistry& R = Registry();
    auto It = R.ByType.find(Type);
    return It == R.ByType.end() ? nullptr : It->second;
}

const TClassInfo* Of(const TObject& Instance)
{
    return Find(std::type_index(typeid(Instance)));
}

} // namespace ClassRegistry

void RegisterClassesUnit()
{
    ClassRegistry::Register(QStringLiteral("TObject"), typeid(TObject), typeid(void), {}, {});
    RegisterClass<TComponent, TObject>(QStringLiteral("TComponent"), TComponent::Published());
}

// ---------------------------------------------------------------------------
// Values

namespace {

// A value of Kind with one field set.
template <class TField, class V>
TValue ValueOf(TValue::TKind Kind, TField TValue::*Field, V&& Content)
{
    TValue R;
    R.Kind = Kind;
    R.*Field = std::forward<V>(Content);
    return R;
}

} // namespace

TValue TValue::OfInteger(qint64 V)
{
    return ValueOf(vkInteger, &TValue::Integer, V);
}

TValue TValue::OfFloat(double V)
{
    return ValueOf(vkFloat, &TValue::Float, V);
}

TValue TValue::OfString(const QString& V)
{
    return ValueOf(vkString, &TValue::Text, V);
}

TValue TValue::OfIdent(const QString& V)
{
    return ValueOf(vkIdent, &TValue::Text, V);
}

TValue TValue::OfBoolean(bool V)
{
    return ValueOf(vkBoolean, &TValue::Boolean, V);
}

TValue TValue::OfSet(const QStringList& Names)
{
    return ValueOf(vkSet, &TValue::Strings, Names);
}

TValue TValue::OfList(const QStringList& Strings)
{
    return ValueOf(vkList, &TValue::Strings, Strings);
}

TValue TValue::OfReference(TComponent* C)
{
    TValue R;
    if (C) {
        R.Kind = vkReference;
        R.Ref = C;
        R.Text = C->Name();
    }
    return R;
}

bool TValue::operator==(const TValue& O) const
{
    if (Kind != O.Kind)
        return false;
    switch (Kind) {
    case vkNone:
        return true;
    case vkInteger:
        return Integer == O.Integer;
    case vkFloat:
        return Float == O.Float;
    case vkString:
        return Text == O.Text;
    case vkIdent:
    case vkHandler:
        return Text.compare(O.Text, Qt::CaseInsensitive) == 0;
    case vkBoolean:
        return Boolean == O.Boolean;
    case vkSet: {
        QStringList A = Strings, B = O.Strings;
        for (QString& S : A)
            S = S.toLower();
        for (QString& S : B)
            S = S.toLower();
        A.sort();
        B.sort();
        A.removeDuplicates();
        B.removeDuplicates();
        return A == B;
    }
    case vkList:
        return Strings == O.Strings;
    case vkCollection:
        return Items == O.Items;
    case vkItem:
        if (Props.size() != O.Props.size())
            return false;
        for (size_t I = 0; I < Props.size(); ++I)
            if (Props[I].Name.compare(O.Props[I].Name, Qt::CaseInsensitive) != 0 || !(Props[I].Value == O.Props[I].Value))
                return false;
        return true;
    case vkReference:
        return Ref == O.Ref;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Components

TPropList TComponent::Published()
{
    TPropList L;
    // The name is the object line's; only the tag is a row.
    L.push_back(Props::Property<TComponent>(QStringLiteral("Tag"), &TComponent::Tag, &TComponent::SetTag, 0));
    return L;
}

TComponent::TComponent(TComponent* AOwner)
{
    // The owner lists a component from the start of its construction.
    if (AOwner)
        AOwner->InsertComponent(this);
}

TComponent::~TComponent()
{
    Destroying();
    // Tell every component that asked to know; each may ask back to be removed.
    while (!FFreeNotifies.empty()) {
        TComponent* Other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        Other->RemoveFreeNotification(this);
        Other->Notification(this, opRemove);
    }
    DestroyComponents();
    if (FOwner)
        FOwner->RemoveComponent(this);
}

void TComponent::SetName(const QString& NewName)
{
    if (NewName == FName)
        return;
    if (!NewName.isEmpty() && !IsIdentifier(NewName))
        throw EComponentError(QStringLiteral("\"%1\" is not a valid component name").arg(NewName));
    if (FOwner && !NewName.isEmpty()) {
        TComponent* Other = FOwner->FindComponent(NewName);
        if (Other && Other != this)
            throw EComponentError(QStringLiteral("A component named %1 already exists").arg(NewName));
    }
    FName = NewName;
}

int TComponent::ComponentIndex() const
{
    if (!FOwner)
        return -1;
    auto It = std::find(FOwner->FComponents.begin(), FOwner->FComponents.end(), this);
    return It == FOwner->FComponents.end() ? -1 : static_cast<int>(It - FOwner->FComponents.begin());
}

TComponent* TComponent::FindComponent(const QString& AName) const
{
    if (AName.isEmpty())
        return nullptr;
    for (TComponent* C : FComponents)
        if (C->FName.compare(AName, Qt::CaseInsensitive) == 0)
            return C;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent)
{
    if (!AComponent || AComponent->FOwner == this)
        return;
    if (AComponent->FOwner)
        AComponent->FOwner->RemoveComponent(AComponent);
    FComponents.push_back(AComponent);
    AComponent->FOwner = this;
    Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent)
{
    if (!AComponent || AComponent->FOwner != this)
        return;
    Notification(AComponent, opRemove);
    Remove(AComponent);
}

void TComponent::Remove(TComponent* AComponent)
{
    auto It = std::find(FComponents.begin(), FComponents.end(), AComponent);
    if (It != FComponents.end())
        FComponents.erase(It);
    AComponent->FOwner = nullptr;
}

void TComponent::DestroyComponents()
{
    // Each owned component takes itself out of the list as it goes.
    while (!FComponents.empty()) {
        TComponent* C = FComponents.back();
        C->BeforeDestruction();
        Remove(C);
        delete C;
    }
}

void TComponent::SetState(TComponentStateFlag Flag, bool On)
{
    if (On)
        FComponentState |= Flag;
    else
        FComponentState &= ~static_cast<unsigned>(Flag);
}

void TComponent::Destroying()
{
    if (HasState(csDestroying))
        return;
    FComponentState |= csDestroying;
    for (TComponent* C : FComponents)
        C->Destroying();
}

void TComponent::FreeNotification(TComponent* AComponent)
{
    if (!AComponent || AComponent == this)
        return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
        FFreeNotifies.push_back(AComponent);
    if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) == AComponent->FFreeNotifies.end())
        AComponent->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent)
{
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent), FFreeNotifies.end());
    if (AComponent)
        AComponent->FFreeNotifies.erase(std::remove(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this),
            AComponent->FFreeNotifies.end());
}

void TComponent::DefineHandlerAny(const QString& HandlerName, std::any Fn)
{
    for (auto& H : FHandlers)
        if (H.first.compare(HandlerName, Qt::CaseInsensitive) == 0) {
            H.second = std::move(Fn);
            return;
        }
    FHandlers.emplace_back(HandlerName, std::move(Fn));
}

const std::any* TComponent::FindHandler(const QString& HandlerName) const
{
    for (const auto& H : FHandlers)
        if (H.first.compare(HandlerName, Qt::CaseInsensitive) == 0)
            return &H.second;
    return nullptr;
}

void TComponent::BeforeDestruction()
{
}

void FreeComponent(TComponent* AComponent)
{
    if (!AComponent)
        return;
    AComponent->BeforeDestruction();
    delete AComponent;
}

void TComponent::Loaded()
{
    SetState(csLoading, false);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation)
{
    if (Operation == opRemove && AComponent)
        RemoveFreeNotification(AComponent);
    // Every owned component hears of it too (a label loses its focus control).
    const std::vector<TComponent*> Owned = FComponents;
    for (TComponent* C : Owned)
        if (C != AComponent)
            C->Notification(AComponent, Operation);
}

void TComponent::ReadState(TReader& Reader)
{
    Reader.ReadBody(this);
}

void TComponent::GetChildren(const TGetChildProc&, TComponent*)
{
}
