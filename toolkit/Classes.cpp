#include "toolkit/Classes.h"

#include <QFile>
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

TValue TValue::OfInteger(qint64 V)
{
    TValue R;
    R.Kind = vkInteger;
    R.Integer = V;
    return R;
}

TValue TValue::OfFloat(double V)
{
    TValue R;
    R.Kind = vkFloat;
    R.Float = V;
    return R;
}

TValue TValue::OfString(const QString& V)
{
    TValue R;
    R.Kind = vkString;
    R.Text = V;
    return R;
}

TValue TValue::OfIdent(const QString& V)
{
    TValue R;
    R.Kind = vkIdent;
    R.Text = V;
    return R;
}

TValue TValue::OfBoolean(bool V)
{
    TValue R;
    R.Kind = vkBoolean;
    R.Boolean = V;
    return R;
}

TValue TValue::OfSet(const QStringList& Names)
{
    TValue R;
    R.Kind = vkSet;
    R.Strings = Names;
    return R;
}

TValue TValue::OfList(const QStringList& Strings)
{
    TValue R;
    R.Kind = vkList;
    R.Strings = Strings;
    return R;
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
// Codecs

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

// ---------------------------------------------------------------------------
// The description syntax:
//
//   object frmMain: TfrmMain
//     Caption = 'Zelvo Lumidor'#13#10      strings: '' for a quote, #nn codes, + joins
//     Font.Height = -11                    integers, $hex, floats with a point
//     Align = alTop                        identifiers; True, False; nil
//     Anchors = [akLeft, akTop]            sets
//     Items.Strings = ('a' 'b')            lists of strings
//     Columns = <item Caption = 'x' end>   collections
//     object pnlTop: TPanel ... end        children
//   end

struct TReader::TNode
{
    QString Name;
    QString ClassName;
    int Line = 0;
    std::vector<TNamedValue> Props;
    std::vector<TNode> Children;
};

struct TReader::TFixup
{
    TComponent* Instance;
    const TPropInfo* Info;
    QString Target;
    int Line;
    QString Path;
};

namespace {

class TParser
{
public:
    TParser(const QString& Text, const QString& FileName) : FText(Text), FFileName(FileName) {}

    enum TToken
    {
        tkEnd,
        tkIdent,
        tkString,
        tkInteger,
        tkFloat,
        tkSymbol
    };

    template <class TNodeT>
    void ParseRoot(TNodeT& Root)
    {
        Next();
        ParseObject(Root);
        if (FToken != tkEnd)
            Fail(QStringLiteral("End of file expected"));
    }

private:
    [[noreturn]] void Fail(const QString& Message) const
    {
        throw EReadError(QStringLiteral("%1, line %2: %3").arg(FFileName).arg(FTokenLine).arg(Message));
    }

    bool IsKeyword(const char* Word) const
    {
        return FToken == tkIdent && FValue.compare(QLatin1String(Word), Qt::CaseInsensitive) == 0;
    }
    bool IsSymbol(QChar C) const { return FToken == tkSymbol && FValue.size() == 1 && FValue[0] == C; }
    void Expect(QChar C)
    {
        if (!IsSymbol(C))
            Fail(QStringLiteral("'%1' expected").arg(C));
        Next();
    }
    QString ExpectIdent(const QString& What)
    {
        if (FToken != tkIdent)
            Fail(QStringLiteral("%1 expected").arg(What));
        QString V = FValue;
        Next();
        return V;
    }

    template <class TNodeT>
    void ParseObject(TNodeT& Node)
    {
        if (!IsKeyword("object"))
            Fail(QStringLiteral("'object' expected"));
        // No window nests this deep; a text that does is not one.
        if (++FDepth > MaxDepth)
            Fail(QStringLiteral("Components nested too deeply"));
        Node.Line = FTokenLine;
        Next();
        QString First = ExpectIdent(QStringLiteral("Component name"));
        if (IsSymbol(u':')) {
            Next();
            Node.Name = First;
            Node.ClassName = ExpectIdent(QStringLiteral("Class name"));
        } else {
            Node.ClassName = First;
        }
        while (!IsKeyword("end")) {
            if (FToken == tkEnd)
                Fail(QStringLiteral("'end' expected"));
            if (IsKeyword("object")) {
                Node.Children.emplace_back();
                ParseObject(Node.Children.back());
            } else {
                Node.Props.push_back(ParseProperty());
            }
        }
        Next();
        --FDepth;
    }

    TNamedValue ParseProperty()
    {
        TNamedValue NV;
        NV.Line = FTokenLine;
        NV.Name = ExpectIdent(QStringLiteral("Property name"));
        Expect(u'=');
        NV.Value = ParseValue();
        return NV;
    }

    TValue ParseValue()
    {
        TValue V;
        V.Line = FTokenLine;
        if (FToken == tkString) {
            V.Kind = TValue::vkString;
            V.Text = FValue;
            Next();
            while (IsSymbol(u'+')) {
                Next();
                if (FToken != tkString)
                    Fail(QStringLiteral("String expected after '+'"));
                V.Text += FValue;
                Next();
            }
        } else if (FToken == tkInteger || FToken == tkFloat || IsSymbol(u'-')) {
            bool Negative = false;
            if (IsSymbol(u'-')) {
                Negative = true;
                Next();
            }
            if (FToken == tkInteger) {
                V.Kind = TValue::vkInteger;
                V.Integer = Negative ? -FInteger : FInteger;
            } else if (FToken == tkFloat) {
                V.Kind = TValue::vkFloat;
                V.Float = Negative ? -FFloat : FFloat;
            } else {
                Fail(QStringLiteral("Number expected"));
            }
            Next();
        } else if (FToken == tkIdent) {
            if (IsKeyword("True") || IsKeyword("False")) {
                V.Kind = TValue::vkBoolean;
                V.Boolean = IsKeyword("True");
            } else if (IsKeyword("nil")) {
                V.Kind = TValue::vkNone;
            } else {
                V.Kind = TValue::vkIdent;
                V.Text = FValue;
            }
            Next();
        } else if (IsSymbol(u'[')) {
            V.Kind = TValue::vkSet;
            Next();
            while (!IsSymbol(u']')) {
                V.Strings << ExpectIdent(QStringLiteral("Set element"));
                if (IsSymbol(u','))
                    Next();
                else if (!IsSymbol(u']'))
                    Fail(QStringLiteral("',' or ']' expected"));
            }
            Next();
        } else if (IsSymbol(u'(')) {
            V.Kind = TValue::vkList;
            Next();
            while (!IsSymbol(u')')) {
                if (FToken != tkString)
                    Fail(QStringLiteral("String or ')' expected"));
                QString S = FValue;
                Next();
                while (IsSymbol(u'+')) {
                    Next();
                    if (FToken != tkString)
                        Fail(QStringLiteral("String expected after '+'"));
                    S += FValue;
                    Next();
                }
                V.Strings << S;
            }
            Next();
        } else if (IsSymbol(u'<')) {
            if (++FDepth > MaxDepth)
                Fail(QStringLiteral("Collections nested too deeply"));
            V.Kind = TValue::vkCollection;
            Next();
            while (!IsSymbol(u'>')) {
                if (!IsKeyword("item"))
                    Fail(QStringLiteral("'item' or '>' expected"));
                TValue Item;
                Item.Kind = TValue::vkItem;
                Item.Line = FTokenLine;
                Next();
                while (!IsKeyword("end")) {
                    if (FToken == tkEnd)
                        Fail(QStringLiteral("'end' expected"));
                    Item.Props.push_back(ParseProperty());
                }
                Next();
                V.Items.push_back(std::move(Item));
            }
            Next();
            --FDepth;
        } else {
            Fail(QStringLiteral("Value expected"));
        }
        return V;
    }

    QChar Peek(int Ahead = 0) const { return FPos + Ahead < FText.size() ? FText[FPos + Ahead] : QChar(); }

    void SkipBlanks()
    {
        while (FPos < FText.size()) {
            const QChar C = FText[FPos];
            if (C == u'\n') {
                ++FLine;
                ++FPos;
            } else if (C.isSpace() || C == QChar(0xFEFF)) {
                ++FPos;
            } else if (C == u'/' && Peek(1) == u'/') {
                while (FPos < FText.size() && FText[FPos] != u'\n')
                    ++FPos;
            } else {
                break;
            }
        }
    }

    void Next()
    {
        SkipBlanks();
        FTokenLine = FLine;
        FValue.clear();
        if (FPos >= FText.size()) {
            FToken = tkEnd;
            return;
        }
        const QChar C = FText[FPos];
        if (C.isLetter() || C == u'_') {
            const int Start = FPos;
            while (FPos < FText.size() && (FText[FPos].isLetterOrNumber() || FText[FPos] == u'_' || FText[FPos] == u'.'))
                ++FPos;
            FValue = FText.mid(Start, FPos - Start);
            FToken = tkIdent;
        } else if (C == u'\'' || C == u'#') {
            ReadString();
        } else if (C.isDigit() || C == u'$') {
            ReadNumber();
        } else {
            FValue = QString(C);
            ++FPos;
            FToken = tkSymbol;
        }
    }

    void ReadString()
    {
        FToken = tkString;
        while (FPos < FText.size()) {
            if (FText[FPos] == u'\'') {
                ++FPos;
                for (;;) {
                    if (FPos >= FText.size() || FText[FPos] == u'\n' || FText[FPos] == u'\r')
                        Fail(QStringLiteral("Unterminated string"));
                    if (FText[FPos] == u'\'') {
                        if (Peek(1) == u'\'') {
                            FValue += u'\'';
                            FPos += 2;
                            continue;
                        }
                        ++FPos;
                        break;
                    }
                    FValue += FText[FPos++];
                }
            } else if (FText[FPos] == u'#') {
                ++FPos;
                int Base = 10;
                if (Peek() == u'$') {
                    Base = 16;
                    ++FPos;
                }
                const int Start = FPos;
                while (FPos < FText.size() && (Base == 16 ? isxdigit(FText[FPos].unicode()) && FText[FPos].unicode() < 128 : FText[FPos].isDigit()))
                    ++FPos;
                bool Ok = false;
                const uint Code = FText.mid(Start, FPos - Start).toUInt(&Ok, Base);
                if (!Ok || Code > 0xFFFF)
                    Fail(QStringLiteral("Character code expected after '#'"));
                FValue += QChar(static_cast<char16_t>(Code));
            } else {
                break;
            }
        }
    }

    void ReadNumber()
    {
        const int Start = FPos;
        if (FText[FPos] == u'$') {
            ++FPos;
            while (FPos < FText.size() && FText[FPos].unicode() < 128 && isxdigit(FText[FPos].unicode()))
                ++FPos;
            bool Ok = false;
            FInteger = FText.mid(Start + 1, FPos - Start - 1).toLongLong(&Ok, 16);
            if (!Ok)
                Fail(QStringLiteral("Hexadecimal number expected"));
            FToken = tkInteger;
            return;
        }
        while (FPos < FText.size() && FText[FPos].isDigit())
            ++FPos;
        bool IsFloat = false;
        if (Peek() == u'.' && Peek(1).isDigit()) {
            IsFloat = true;
            ++FPos;
            while (FPos < FText.size() && FText[FPos].isDigit())
                ++FPos;
        }
        if ((Peek() == u'e' || Peek() == u'E') && (Peek(1).isDigit() || ((Peek(1) == u'-' || Peek(1) == u'+') && Peek(2).isDigit()))) {
            IsFloat = true;
            FPos += 2;
            while (FPos < FText.size() && FText[FPos].isDigit())
                ++FPos;
        }
        const QString S = FText.mid(Start, FPos - Start);
        bool Ok = false;
        if (IsFloat) {
            FFloat = S.toDouble(&Ok);
            FToken = tkFloat;
        } else {
            FInteger = S.toLongLong(&Ok);
            FToken = tkInteger;
        }
        if (!Ok)
            Fail(QStringLiteral("Number out of range"));
    }

    static constexpr int MaxDepth = 64;

    const QString& FText;
    QString FFileName;
    int FDepth = 0;
    int FPos = 0;
    int FLine = 1;
    int FTokenLine = 1;
    TToken FToken = tkEnd;
    QString FValue;
    qint64 FInteger = 0;
    double FFloat = 0;
};

} // namespace

TReader::TReader(const QString& Text, const QString& FileName) : FText(Text), FFileName(FileName)
{
}

TReader::~TReader() = default;

QString TReader::Path() const
{
    QStringList Names;
    for (const TNode* N : FPath)
        Names << (N->Name.isEmpty() ? N->ClassName : N->Name);
    return Names.join(u'.');
}

int TReader::Line() const
{
    return FNode ? FNode->Line : 0;
}

QString TReader::Where(int Line) const
{
    return QStringLiteral("%1, line %2, %3: ").arg(FFileName).arg(Line).arg(Path());
}

void TReader::ReadRootComponent(TComponent* ARoot)
{
    TNode RootNode;
    TParser(FText, FFileName).ParseRoot(RootNode);

    FRoot = ARoot;
    FParent = nullptr;
    FPath = {&RootNode};
    FNode = &RootNode;
    FLoaded.clear();
    FFixups.clear();

    try {
        if (!ClassRegistry::Of(*ARoot))
            throw EReadError(Where(RootNode.Line) + QStringLiteral("Class %1 is not registered").arg(ARoot->ClassName()));
        if (RootNode.ClassName.compare(ARoot->ClassName(), Qt::CaseInsensitive) != 0)
            throw EReadError(Where(RootNode.Line) + QStringLiteral("The description is of class %1, not %2").arg(RootNode.ClassName, ARoot->ClassName()));
        ARoot->SetState(csLoading, true);
        ARoot->SetState(csReading, true);
        FLoaded.push_back(ARoot);
        try {
            ARoot->SetName(RootNode.Name);
        } catch (const EComponentError& E) {
            throw EReadError(Where(RootNode.Line) + E.Message());
        }
        ARoot->ReadState(*this);
        FPath = {&RootNode};
        // References are resolved once reading is over, still while loading.
        for (TComponent* C : FLoaded)
            C->SetState(csReading, false);
        FRoot->SetState(csFixups, true);
        ResolveFixups();
        FRoot->SetState(csFixups, false);
    } catch (...) {
        FRoot->SetState(csFixups, false);
        for (TComponent* C : FLoaded) {
            C->SetState(csReading, false);
            C->SetState(csLoading, false);
        }
        throw;
    }
    // Every component sees the whole window, references included, when told.
    for (TComponent* C : FLoaded)
        C->Loaded();
}

void TReader::ReadBody(TComponent* Instance)
{
    const TNode& Node = *FNode;
    for (const TNamedValue& Prop : Node.Props)
        ReadProperty(Instance, Prop);
    TComponent* OldParent = FParent;
    FParent = Instance;
    for (const TNode& Child : Node.Children)
        ReadComponent(Child);
    FParent = OldParent;
}

void TReader::ReadComponent(const TNode& Node)
{
    FPath.push_back(&Node);
    const TClassInfo* Class = ClassRegistry::Find(Node.ClassName);
    if (!Class)
        throw EReadError(Where(Node.Line) + QStringLiteral("Unknown class %1").arg(Node.ClassName));
    if (!Class->Create)
        throw EReadError(Where(Node.Line) + QStringLiteral("Class %1 cannot be created from a description").arg(Node.ClassName));
    if (Class->InheritsFrom(QStringLiteral("TControl")) && !(FParent && FParent->InheritsFrom(QStringLiteral("TWinControl"))))
        throw EReadError(Where(Node.Line) + QStringLiteral("%1 is a control and must be placed on a windowed control").arg(Node.ClassName));

    TComponent* C = Class->Create(FRoot);
    C->SetState(csLoading, true);
    C->SetState(csReading, true);
    FLoaded.push_back(C);
    try {
        C->SetName(Node.Name);
    } catch (const EComponentError& E) {
        throw EReadError(Where(Node.Line) + E.Message());
    }
    const TNode* OldNode = FNode;
    FNode = &Node;
    C->ReadState(*this);
    FNode = OldNode;
    FPath.pop_back();
}

void TReader::ReadProperty(TComponent* Instance, const TNamedValue& Prop)
{
    const TClassInfo* Class = ClassRegistry::Of(*Instance);
    const TPropInfo* Info = Class ? Class->FindProperty(Prop.Name) : nullptr;
    if (!Info)
        throw EReadError(Where(Prop.Line) + QStringLiteral("Unknown property %1").arg(Prop.Name));

    if (Info->Kind == TPropInfo::pkReference) {
        if (Prop.Value.Kind == TValue::vkNone) {
            ApplyValue(*Instance, *Info, Prop.Value, Prop.Line);
        } else if (Prop.Value.Kind == TValue::vkIdent) {
            // The target may come later in the description.
            FFixups.push_back(TFixup{Instance, Info, Prop.Value.Text, Prop.Line, Path()});
        } else {
            throw EReadError(Where(Prop.Line) + QStringLiteral("%1: Component name expected").arg(Prop.Name));
        }
        return;
    }
    if (Info->Kind == TPropInfo::pkEvent) {
        if (Prop.Value.Kind == TValue::vkNone) {
            ApplyValue(*Instance, *Info, Prop.Value, Prop.Line);
            return;
        }
        if (Prop.Value.Kind != TValue::vkIdent)
            throw EReadError(Where(Prop.Line) + QStringLiteral("%1: Handler name expected").arg(Prop.Name));
        const std::any* Handler = FRoot->FindHandler(Prop.Value.Text);
        if (!Handler)
            throw EReadError(Where(Prop.Line) + QStringLiteral("Unknown handler %1 for %2").arg(Prop.Value.Text, Prop.Name));
        TValue V;
        V.Kind = TValue::vkHandler;
        V.Text = Prop.Value.Text;
        V.Handler = *Handler;
        ApplyValue(*Instance, *Info, V, Prop.Line);
        return;
    }
    ApplyValue(*Instance, *Info, Prop.Value, Prop.Line);
}

void TReader::ApplyValue(TObject& Instance, const TPropInfo& Info, const TValue& Value, int Line)
{
    try {
        Info.Set(Instance, Value);
    } catch (const EReadError&) {
        throw;
    } catch (const EError& E) {
        throw EReadError(Where(Line) + QStringLiteral("%1: %2").arg(Info.Name, E.Message()));
    }
}

void TReader::ResolveFixups()
{
    for (const TFixup& F : FFixups) {
        TComponent* Target = nullptr;
        if (FRoot->Name().compare(F.Target, Qt::CaseInsensitive) == 0)
            Target = FRoot;
        else
            Target = FRoot->FindComponent(F.Target);
        const QString Prefix = QStringLiteral("%1, line %2, %3: ").arg(FFileName).arg(F.Line).arg(F.Path);
        if (!Target)
            throw EReadError(Prefix + QStringLiteral("Unresolved reference to %1 in %2").arg(F.Target, F.Info->Name));
        try {
            F.Info->Set(*F.Instance, TValue::OfReference(Target));
        } catch (const EError& E) {
            throw EReadError(Prefix + QStringLiteral("%1: %2").arg(F.Info->Name, E.Message()));
        }
    }
    FFixups.clear();
}

// ---------------------------------------------------------------------------
// Writing

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

void ReadComponentText(const QString& Text, const QString& FileName, TComponent* Root)
{
    TReader Reader(Text, FileName);
    Reader.ReadRootComponent(Root);
}

void ReadComponentRes(const QString& Source, TComponent* Root)
{
    QFile F(Source);
    if (!F.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(Source, F.errorString()));
    const QString Text = QString::fromUtf8(F.readAll());
    ReadComponentText(Text, Source, Root);
}
