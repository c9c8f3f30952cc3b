#include "toolkit/Streaming.h"

#include <QFile>

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

// Marks C as being read, to get Loaded later, and gives it its name; a bad
// name is an error of the description at Where.
void StartReading(TComponent* C, const QString& Name, std::vector<TComponent*>& Loaded, const QString& Where)
{
    C->SetState(csLoading, true);
    C->SetState(csReading, true);
    Loaded.push_back(C);
    try {
        C->SetName(Name);
    } catch (const EComponentError& E) {
        throw EReadError(Where + E.Message());
    }
}

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
        StartReading(ARoot, RootNode.Name, FLoaded, Where(RootNode.Line));
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
    StartReading(C, Node.Name, FLoaded, Where(Node.Line));
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
