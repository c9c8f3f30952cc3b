#pragma once

#include "toolkit/Classes.h"

// Reading and writing window descriptions (block syntax, see the reader).

class TReader
{
public:
    // FileName is used in messages only.
    TReader(const QString& Text, const QString& FileName);
    ~TReader();

    // Reads the description into an existing root component: its properties,
    // then its children by class name, owned by the root; references are
    // resolved after everything is read, then every component read gets Loaded.
    void ReadRootComponent(TComponent* ARoot);

    TComponent* Root() const { return FRoot; }
    // The component whose children are being read: the parent of the component
    // being read while its ReadState runs.
    TComponent* Parent() const { return FParent; }
    // Reads the properties and children of the component being read; the base
    // TComponent::ReadState calls it.
    void ReadBody(TComponent* Instance);

    // "file, line n, frmMain.pnlTop: " for messages.
    QString Where(int Line) const;
    // The line where the component being read begins.
    int Line() const;

private:
    struct TNode;
    struct TFixup;
    void ReadComponent(const TNode& Node);
    void ReadProperty(TComponent* Instance, const TNamedValue& Prop);
    void ApplyValue(TObject& Instance, const TPropInfo& Info, const TValue& Value, int Line);
    void ResolveFixups();
    QString Path() const;

    QString FText;
    QString FFileName;
    TComponent* FRoot = nullptr;
    TComponent* FParent = nullptr;
    const TNode* FNode = nullptr;
    std::vector<const TNode*> FPath;
    std::vector<TComponent*> FLoaded;
    std::vector<TFixup> FFixups;
};

class TWriter
{
public:
    // The description text of Root: its stored properties in table order, then
    // the children each component names (GetChildren), recursively.
    static QString WriteRootComponent(TComponent* Root);
    // The stored properties of an object alone, as "Name = value" lines.
    static QStringList WriteProperties(const TObject& Instance, const std::vector<const TPropInfo*>& Props);
};

// Reads a description from a file path or a Qt resource (":/...") into Root.
// Throws EFOpenError when the file cannot be read, EReadError when its content
// is wrong.
void ReadComponentRes(const QString& Source, TComponent* Root);
// Reads a description from text; FileName names it in messages.
void ReadComponentText(const QString& Text, const QString& FileName, TComponent* Root);
