#pragma once

#include <memory>
#include <vector>

#include "platform/DateTime.h"
#include "toolkit/Controls.h"

class QDateTimeEdit;
class QTreeWidget;
class QTreeWidgetItem;
class TListView;

enum TDateTimeKind
{
    dtkDate,
    dtkTime
};
template <>
struct TEnumInfo<TDateTimeKind>
{
    static constexpr std::array Names{"dtkDate", "dtkTime"};
};

// A date picker (dtkDate) or a time picker (dtkTime). It holds a whole
// date-time; the user edits only the part it shows, and the other part keeps
// its value. OnChange fires on the user's change only.
class TDateTimePicker : public TWinControl
{
public:
    static constexpr int DefaultWidth = 186;
    static constexpr int DefaultHeight = 21;
    static constexpr TColor DefaultColor = clWindow;
    static constexpr TDateTimeKind DefaultKind = dtkDate;

    explicit TDateTimePicker(TComponent* AOwner);

    TDateTimeKind Kind() const { return FKind; }
    void SetKind(TDateTimeKind Value);
    // A Qt display pattern; empty: the locale's short date, or its time with seconds.
    const QString& Format() const { return FFormat; }
    void SetFormat(const QString& Value);

    TDateTime DateTime() const { return FDateTime; }
    void SetDateTime(TDateTime Value);
    // The calendar date (whole days), the time of day keeps its value.
    TDateTime Date() const;
    void SetDate(TDateTime Value);
    // The time of day (fraction), the date keeps its value.
    TDateTime Time() const;
    void SetTime(TDateTime Value);

    TNotifyEvent OnChange;

    static TPropList Published();

private:
    QDateTimeEdit* DateTimeEdit() const;
    void ShowValue();
    void ApplyFormat();
    void UserChanged();

    TDateTimeKind FKind = DefaultKind;
    QString FFormat;
    TDateTime FDateTime = 0;
    bool FShowing = false;
};

enum TViewStyle
{
    vsIcon,
    vsSmallIcon,
    vsList,
    vsReport
};
template <>
struct TEnumInfo<TViewStyle>
{
    static constexpr std::array Names{"vsIcon", "vsSmallIcon", "vsList", "vsReport"};
};

enum TListGroupState
{
    lgsNormal,
    lgsHidden,
    lgsCollapsed,
    lgsNoHeader,
    lgsCollapsible,
    lgsFocused,
    lgsSelected,
    lgsSubseted,
    lgsSubSetLinkFocused
};
using TListGroupStateSet = TSet<TListGroupState>;
template <>
struct TEnumInfo<TListGroupState>
{
    static constexpr std::array Names{"lgsNormal", "lgsHidden", "lgsCollapsed", "lgsNoHeader", "lgsCollapsible", "lgsFocused",
        "lgsSelected", "lgsSubseted", "lgsSubSetLinkFocused"};
};

// A column of a report list view.
class TListColumn : public TObject
{
public:
    static constexpr int DefaultWidth = 50;
    static constexpr TAlignment DefaultAlignment = taLeftJustify;

    explicit TListColumn(TListView* Owner);

    int Index() const;
    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& Value);
    // The width given; an auto-sized column takes the room left by the others.
    int Width() const { return FWidth; }
    void SetWidth(int Value);
    int MinWidth() const { return FMinWidth; }
    void SetMinWidth(int Value);
    int MaxWidth() const { return FMaxWidth; }
    void SetMaxWidth(int Value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool Value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value);

    // The width shown, after auto-sizing and the limits.
    int ShownWidth() const;

    static std::vector<const TPropInfo*> ItemProperties();

private:
    TListView* FOwner;
    QString FCaption;
    int FWidth = DefaultWidth;
    int FMinWidth = 0;
    int FMaxWidth = 0;
    bool FAutoSize = false;
    TAlignment FAlignment = DefaultAlignment;
};

// A group of a list view; kept and written, shown only with GroupView on.
class TListGroup : public TObject
{
public:
    static constexpr TListGroupStateSet DefaultState{lgsNormal};
    static constexpr TAlignment DefaultHeaderAlign = taLeftJustify;

    explicit TListGroup(TListView* Owner, int GroupID);

    const QString& Header() const { return FHeader; }
    void SetHeader(const QString& Value) { FHeader = Value; }
    int GroupID() const { return FGroupID; }
    void SetGroupID(int Value) { FGroupID = Value; }
    TListGroupStateSet State() const { return FState; }
    void SetState(TListGroupStateSet Value) { FState = Value; }
    TAlignment HeaderAlign() const { return FHeaderAlign; }
    void SetHeaderAlign(TAlignment Value) { FHeaderAlign = Value; }

    static std::vector<const TPropInfo*> ItemProperties();

private:
    TListView* FOwner;
    QString FHeader;
    int FGroupID = 0;
    TListGroupStateSet FState = DefaultState;
    TAlignment FHeaderAlign = DefaultHeaderAlign;
};

// A row of a list view.
class TListItem
{
public:
    int Index() const;

    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& Value);
    const QStringList& SubItems() const { return FSubItems; }
    void SetSubItems(const QStringList& Value);
    int GroupID() const { return FGroupID; }
    void SetGroupID(int Value) { FGroupID = Value; }
    // Every change fires the list view's OnItemChecked, whoever made it.
    bool Checked() const { return FChecked; }
    void SetChecked(bool Value);
    bool Selected() const;
    void SetSelected(bool Value);

private:
    friend class TListView;
    friend class TListItems;
    explicit TListItem(TListView* Owner) : FOwner(Owner) {}

    TListView* FOwner;
    QTreeWidgetItem* FRow = nullptr;
    QString FCaption;
    QStringList FSubItems;
    int FGroupID = -1;
    bool FChecked = false;
};

// The rows of a list view, in display order.
class TListItems
{
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    TListItem* Item(int Index) const;
    TListItem* operator[](int Index) const { return Item(Index); }
    TListItem* Add();
    // Ignores an index out of range.
    void Delete(int Index);
    void Clear();
    int IndexOf(const TListItem* Item) const;

private:
    friend class TListView;
    explicit TListItems(TListView* Owner) : FOwner(Owner) {}

    TListView* FOwner;
    std::vector<std::unique_ptr<TListItem>> FItems;
};

// A list view; in report style one row per item with a check box (Checkboxes)
// and the columns' headers.
class TListView : public TWinControl
{
public:
    static constexpr int DefaultWidth = 250;
    static constexpr int DefaultHeight = 150;
    static constexpr TColor DefaultColor = clWindow;
    static constexpr TViewStyle DefaultViewStyle = vsIcon;
    static constexpr bool DefaultShowColumnHeaders = true;

    explicit TListView(TComponent* AOwner);
    ~TListView() override;

    int ColumnCount() const { return static_cast<int>(FColumns.size()); }
    TListColumn* Column(int Index) const;
    TListColumn* AddColumn();
    void ClearColumns();

    int GroupCount() const { return static_cast<int>(FGroups.size()); }
    TListGroup* Group(int Index) const;
    TListGroup* AddGroup();
    void ClearGroups();

    TListItems& Items() { return FItems; }
    const TListItems& Items() const { return FItems; }

    bool Checkboxes() const { return FCheckboxes; }
    void SetCheckboxes(bool Value);
    TViewStyle ViewStyle() const { return FViewStyle; }
    void SetViewStyle(TViewStyle Value);
    bool RowSelect() const { return FRowSelect; }
    void SetRowSelect(bool Value);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value);
    bool GroupView() const { return FGroupView; }
    void SetGroupView(bool Value);
    bool ShowColumnHeaders() const { return FShowColumnHeaders; }
    void SetShowColumnHeaders(bool Value);

    TListItem* Selected() const;
    // -1: no row selected; an index out of range is ignored.
    int ItemIndex() const;
    void SetItemIndex(int Value);

    TEvent<TObject*, TListItem*> OnItemChecked;

    // Header texts, widths and auto-sizing after a change of the columns.
    void ColumnsChanged();

    static TPropList Published();

protected:
    void BoundsChanged() override;

private:
    friend class TListColumn;
    friend class TListItem;
    friend class TListItems;
    QTreeWidget* TreeWidget() const;
    void RowChanged(QTreeWidgetItem* Row);
    void ShowItem(TListItem* Item);
    void ItemChecked(TListItem* Item);
    void ApplyStyle();

    std::vector<std::unique_ptr<TListColumn>> FColumns;
    std::vector<std::unique_ptr<TListGroup>> FGroups;
    TListItems FItems{this};
    bool FCheckboxes = false;
    TViewStyle FViewStyle = DefaultViewStyle;
    bool FRowSelect = false;
    bool FReadOnly = false;
    bool FGroupView = false;
    bool FShowColumnHeaders = DefaultShowColumnHeaders;
    bool FShowing = false;
};

void RegisterComCtrlsUnit();
