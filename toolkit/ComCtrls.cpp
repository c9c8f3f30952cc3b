#include "toolkit/ComCtrls.h"

#include <QDateTimeEdit>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLocale>
#include <QPainter>
#include <QTreeWidget>

#include <cmath>

namespace {

std::vector<const TPropInfo*> Pointers(const TPropList& L)
{
    std::vector<const TPropInfo*> R;
    for (const TPropInfo& P : L)
        R.push_back(&P);
    return R;
}

// The locale's time pattern with seconds, which a time picker shows.
QString TimeWithSeconds()
{
    QString F = QLocale::system().timeFormat(QLocale::ShortFormat);
    if (!F.contains(u's')) {
        const int M = F.lastIndexOf(QStringLiteral("mm"));
        if (M >= 0)
            F.insert(M + 2, QStringLiteral(":ss"));
        else
            F = QStringLiteral("HH:mm:ss");
    }
    return F;
}

// The locale's short date with a four-digit year, as the desktop's pickers show it.
QString ShortDate()
{
    QString F = QLocale::system().dateFormat(QLocale::ShortFormat);
    if (!F.contains(QStringLiteral("yyyy")))
        F.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return F;
}

// A list that shows when it has the focus, also while it is empty: the
// style marks only the current row.
class TListWidget : public QTreeWidget
{
protected:
    void paintEvent(QPaintEvent* E) override
    {
        QTreeWidget::paintEvent(E);
        if (!hasFocus())
            return;
        // An outline in the highlight colour, as the style rings a focused button.
        QPainter P(viewport());
        P.setPen(QPen(palette().color(QPalette::Highlight), 1));
        P.drawRect(viewport()->rect().adjusted(0, 0, -1, -1));
    }
    void focusInEvent(QFocusEvent* E) override
    {
        QTreeWidget::focusInEvent(E);
        viewport()->update();
    }
    void focusOutEvent(QFocusEvent* E) override
    {
        QTreeWidget::focusOutEvent(E);
        viewport()->update();
    }
};

} // namespace

// ---------------------------------------------------------------------------
// TDateTimePicker

TDateTimePicker::TDateTimePicker(TComponent* AOwner) : TWinControl(AOwner, new QDateTimeEdit())
{
    SetColor(DefaultColor);
    SetBounds(0, 0, DefaultWidth, DefaultHeight);
    QDateTimeEdit* W = DateTimeEdit();
    // Wall-clock values: no day-light saving gaps in the editor.
    W->setTimeSpec(Qt::UTC);
    W->setDateTimeRange(QDateTime(QDate(1601, 1, 1), QTime(0, 0), Qt::UTC), QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC));
    QObject::connect(W, &QDateTimeEdit::dateTimeChanged, W, [this] {
        if (!FShowing)
            GuardedCall([this] { UserChanged(); });
    });
    FDateTime = DateTime::Now();
    ApplyFormat();
    ShowValue();
}

QDateTimeEdit* TDateTimePicker::DateTimeEdit() const
{
    return static_cast<QDateTimeEdit*>(Widget());
}

void TDateTimePicker::SetKind(TDateTimeKind Value)
{
    if (Value == FKind)
        return;
    FKind = Value;
    ApplyFormat();
}

void TDateTimePicker::SetFormat(const QString& Value)
{
    if (Value == FFormat)
        return;
    FFormat = Value;
    ApplyFormat();
}

void TDateTimePicker::ApplyFormat()
{
    QDateTimeEdit* W = DateTimeEdit();
    const bool Old = FShowing;
    FShowing = true;
    W->setCalendarPopup(FKind == dtkDate);
    if (!FFormat.isEmpty())
        W->setDisplayFormat(FFormat);
    else
        W->setDisplayFormat(FKind == dtkDate ? ShortDate() : TimeWithSeconds());
    FShowing = Old;
    ShowValue();
}

void TDateTimePicker::SetDateTime(TDateTime Value)
{
    if (Value == FDateTime)
        return;
    FDateTime = Value;
    ShowValue();
}

TDateTime TDateTimePicker::Date() const
{
    const TDateTimeFields F = DateTime::Decode(FDateTime);
    TDateTimeFields D;
    D.Year = F.Year;
    D.Month = F.Month;
    D.Day = F.Day;
    TDateTime Out = 0;
    return DateTime::TryEncode(D, Out) ? Out : std::trunc(FDateTime);
}

void TDateTimePicker::SetDate(TDateTime Value)
{
    const TDateTimeFields NewDate = DateTime::Decode(Value);
    TDateTimeFields F = DateTime::Decode(FDateTime);
    F.Year = NewDate.Year;
    F.Month = NewDate.Month;
    F.Day = NewDate.Day;
    TDateTime Out = 0;
    if (DateTime::TryEncode(F, Out))
        SetDateTime(Out);
}

TDateTime TDateTimePicker::Time() const
{
    return std::abs(FDateTime - std::trunc(FDateTime));
}

void TDateTimePicker::SetTime(TDateTime Value)
{
    const TDateTimeFields NewTime = DateTime::Decode(Value);
    TDateTimeFields F = DateTime::Decode(FDateTime);
    F.Hour = NewTime.Hour;
    F.Minute = NewTime.Minute;
    F.Second = NewTime.Second;
    F.MSec = NewTime.MSec;
    TDateTime Out = 0;
    if (DateTime::TryEncode(F, Out))
        SetDateTime(Out);
}

void TDateTimePicker::ShowValue()
{
    QDateTimeEdit* W = DateTimeEdit();
    const TDateTimeFields F = DateTime::Decode(FDateTime);
    const bool Old = FShowing;
    FShowing = true;
    W->setDateTime(QDateTime(QDate(F.Year, F.Month, F.Day), QTime(F.Hour, F.Minute, F.Second, F.MSec), Qt::UTC));
    FShowing = Old;
}

void TDateTimePicker::UserChanged()
{
    const QDateTime Shown = DateTimeEdit()->dateTime();
    TDateTimeFields F = DateTime::Decode(FDateTime);
    if (FKind == dtkDate) {
        F.Year = Shown.date().year();
        F.Month = Shown.date().month();
        F.Day = Shown.date().day();
    } else {
        F.Hour = Shown.time().hour();
        F.Minute = Shown.time().minute();
        F.Second = Shown.time().second();
        F.MSec = Shown.time().msec();
    }
    TDateTime Out = 0;
    if (!DateTime::TryEncode(F, Out) || Out == FDateTime)
        return;
    FDateTime = Out;
    OnChange(this);
}

TPropList TDateTimePicker::Published()
{
    TPropList L;
    L.push_back(ControlProps::Color(DefaultColor));
    ControlProps::AddFont(L);
    L.push_back(Props::Property<TDateTimePicker>(QStringLiteral("Format"), &TDateTimePicker::Format, &TDateTimePicker::SetFormat, QString()));
    L.push_back(Props::Property<TDateTimePicker>(QStringLiteral("Kind"), &TDateTimePicker::Kind, &TDateTimePicker::SetKind, DefaultKind));
    L.push_back(ControlProps::ParentFont());
    L.push_back(Props::Event(QStringLiteral("OnChange"), &TDateTimePicker::OnChange));
    ControlProps::AddSize(L, DefaultWidth, DefaultHeight);
    return L;
}

// ---------------------------------------------------------------------------
// TListColumn, TListGroup

TListColumn::TListColumn(TListView* Owner) : FOwner(Owner)
{
}

int TListColumn::Index() const
{
    for (int I = 0; I < FOwner->ColumnCount(); ++I)
        if (FOwner->Column(I) == this)
            return I;
    return -1;
}

void TListColumn::SetCaption(const QString& Value)
{
    if (Value == FCaption)
        return;
    FCaption = Value;
    FOwner->ColumnsChanged();
}

void TListColumn::SetWidth(int Value)
{
    if (Value == FWidth)
        return;
    FWidth = Value;
    FOwner->ColumnsChanged();
}

void TListColumn::SetMinWidth(int Value)
{
    if (Value == FMinWidth || Value < 0)
        return;
    FMinWidth = Value;
    FOwner->ColumnsChanged();
}

void TListColumn::SetMaxWidth(int Value)
{
    if (Value == FMaxWidth || Value < 0)
        return;
    FMaxWidth = Value;
    FOwner->ColumnsChanged();
}

void TListColumn::SetAutoSize(bool Value)
{
    if (Value == FAutoSize)
        return;
    FAutoSize = Value;
    FOwner->ColumnsChanged();
}

void TListColumn::SetAlignment(TAlignment Value)
{
    if (Value == FAlignment)
        return;
    FAlignment = Value;
    FOwner->ColumnsChanged();
}

int TListColumn::ShownWidth() const
{
    int W = FWidth;
    if (FAutoSize) {
        // The room the other columns leave in the client area.
        int Others = 0;
        int AutoCount = 0;
        for (int I = 0; I < FOwner->ColumnCount(); ++I) {
            const TListColumn* C = FOwner->Column(I);
            if (C->FAutoSize)
                ++AutoCount;
            else
                Others += C->ShownWidth();
        }
        const QTreeWidget* Tree = FOwner->TreeWidget();
        const int Frame = Tree ? Tree->frameWidth() : 2;
        W = std::max(0, FOwner->Width() - 2 * Frame - Others) / std::max(1, AutoCount);
    }
    if (FMaxWidth > 0)
        W = std::min(W, FMaxWidth);
    return std::max(W, FMinWidth);
}

std::vector<const TPropInfo*> TListColumn::ItemProperties()
{
    static const TPropList Rows = [] {
        TPropList L;
        L.push_back(Props::Property<TListColumn>(QStringLiteral("Alignment"), &TListColumn::Alignment, &TListColumn::SetAlignment, DefaultAlignment));
        L.push_back(Props::Property<TListColumn>(QStringLiteral("AutoSize"), &TListColumn::AutoSize, &TListColumn::SetAutoSize, false));
        L.push_back(Props::Property<TListColumn>(QStringLiteral("Caption"), &TListColumn::Caption, &TListColumn::SetCaption, QString()));
        L.push_back(Props::Property<TListColumn>(QStringLiteral("MaxWidth"), &TListColumn::MaxWidth, &TListColumn::SetMaxWidth, 0));
        L.push_back(Props::Property<TListColumn>(QStringLiteral("MinWidth"), &TListColumn::MinWidth, &TListColumn::SetMinWidth, 0));
        L.push_back(Props::Property<TListColumn>(QStringLiteral("Width"), &TListColumn::Width, &TListColumn::SetWidth, DefaultWidth));
        return L;
    }();
    return Pointers(Rows);
}

TListGroup::TListGroup(TListView* Owner, int GroupID) : FOwner(Owner), FGroupID(GroupID)
{
}

std::vector<const TPropInfo*> TListGroup::ItemProperties()
{
    static const TPropList Rows = [] {
        TPropList L;
        L.push_back(Props::Property<TListGroup>(QStringLiteral("Header"), &TListGroup::Header, &TListGroup::SetHeader, QString()));
        // Written always: group 0 is a group like any other.
        L.push_back(Props::Property<TListGroup>(QStringLiteral("GroupID"), &TListGroup::GroupID, &TListGroup::SetGroupID));
        L.push_back(Props::Property<TListGroup>(QStringLiteral("State"), &TListGroup::State, &TListGroup::SetState, DefaultState));
        L.push_back(Props::Property<TListGroup>(QStringLiteral("HeaderAlign"), &TListGroup::HeaderAlign, &TListGroup::SetHeaderAlign, DefaultHeaderAlign));
        return L;
    }();
    return Pointers(Rows);
}

// ---------------------------------------------------------------------------
// TListItem, TListItems

int TListItem::Index() const
{
    return FOwner->Items().IndexOf(this);
}

void TListItem::SetCaption(const QString& Value)
{
    if (Value == FCaption)
        return;
    FCaption = Value;
    FOwner->ShowItem(this);
}

void TListItem::SetSubItems(const QStringList& Value)
{
    if (Value == FSubItems)
        return;
    FSubItems = Value;
    FOwner->ShowItem(this);
}

void TListItem::SetChecked(bool Value)
{
    if (Value == FChecked)
        return;
    FChecked = Value;
    FOwner->ShowItem(this);
    FOwner->ItemChecked(this);
}

bool TListItem::Selected() const
{
    return FRow && FRow->isSelected();
}

void TListItem::SetSelected(bool Value)
{
    if (!FRow || Value == FRow->isSelected())
        return;
    FRow->setSelected(Value);
    if (Value)
        FRow->treeWidget()->setCurrentItem(FRow);
}

TListItem* TListItems::Item(int Index) const
{
    if (Index < 0 || Index >= Count())
        return nullptr;
    return FItems[static_cast<size_t>(Index)].get();
}

TListItem* TListItems::Add()
{
    QTreeWidget* W = FOwner->TreeWidget();
    FItems.push_back(std::unique_ptr<TListItem>(new TListItem(FOwner)));
    TListItem* Item = FItems.back().get();
    Item->FRow = new QTreeWidgetItem();
    FOwner->ShowItem(Item);
    const bool Old = FOwner->FShowing;
    FOwner->FShowing = true;
    W->addTopLevelItem(Item->FRow);
    FOwner->FShowing = Old;
    return Item;
}

void TListItems::Delete(int Index)
{
    if (Index < 0 || Index >= Count())
        return;
    auto It = FItems.begin() + Index;
    const bool Old = FOwner->FShowing;
    FOwner->FShowing = true;
    delete (*It)->FRow;
    FOwner->FShowing = Old;
    FItems.erase(It);
}

void TListItems::Clear()
{
    const bool Old = FOwner->FShowing;
    FOwner->FShowing = true;
    FOwner->TreeWidget()->clear();
    FOwner->FShowing = Old;
    FItems.clear();
}

int TListItems::IndexOf(const TListItem* Item) const
{
    for (size_t I = 0; I < FItems.size(); ++I)
        if (FItems[I].get() == Item)
            return static_cast<int>(I);
    return -1;
}

// ---------------------------------------------------------------------------
// TListView

TListView::TListView(TComponent* AOwner) : TWinControl(AOwner, new TListWidget())
{
    SetColor(DefaultColor);
    SetBounds(0, 0, DefaultWidth, DefaultHeight);
    QTreeWidget* W = TreeWidget();
    W->setRootIsDecorated(false);
    W->setUniformRowHeights(true);
    W->setSelectionMode(QAbstractItemView::SingleSelection);
    W->header()->setStretchLastSection(false);
    W->header()->setSectionsMovable(false);
    QObject::connect(W, &QTreeWidget::itemChanged, W, [this](QTreeWidgetItem* Row) {
        if (!FShowing)
            GuardedCall([this, Row] { RowChanged(Row); });
    });
    ApplyStyle();
}

TListView::~TListView()
{
    FShowing = true;
}

QTreeWidget* TListView::TreeWidget() const
{
    return static_cast<QTreeWidget*>(Widget());
}

TListColumn* TListView::Column(int Index) const
{
    if (Index < 0 || Index >= ColumnCount())
        return nullptr;
    return FColumns[static_cast<size_t>(Index)].get();
}

TListColumn* TListView::AddColumn()
{
    FColumns.push_back(std::make_unique<TListColumn>(this));
    ColumnsChanged();
    return FColumns.back().get();
}

void TListView::ClearColumns()
{
    FColumns.clear();
    ColumnsChanged();
}

TListGroup* TListView::Group(int Index) const
{
    if (Index < 0 || Index >= GroupCount())
        return nullptr;
    return FGroups[static_cast<size_t>(Index)].get();
}

TListGroup* TListView::AddGroup()
{
    FGroups.push_back(std::make_unique<TListGroup>(this, GroupCount()));
    return FGroups.back().get();
}

void TListView::ClearGroups()
{
    FGroups.clear();
}

void TListView::SetCheckboxes(bool Value)
{
    if (Value == FCheckboxes)
        return;
    FCheckboxes = Value;
    for (int I = 0; I < FItems.Count(); ++I)
        ShowItem(FItems.Item(I));
}

void TListView::SetViewStyle(TViewStyle Value)
{
    if (Value == FViewStyle)
        return;
    FViewStyle = Value;
    ApplyStyle();
}

void TListView::SetRowSelect(bool Value)
{
    if (Value == FRowSelect)
        return;
    FRowSelect = Value;
    ApplyStyle();
}

void TListView::SetReadOnly(bool Value)
{
    if (Value == FReadOnly)
        return;
    FReadOnly = Value;
    ApplyStyle();
    for (int I = 0; I < FItems.Count(); ++I)
        ShowItem(FItems.Item(I));
}

void TListView::SetGroupView(bool Value)
{
    FGroupView = Value;
}

void TListView::SetShowColumnHeaders(bool Value)
{
    if (Value == FShowColumnHeaders)
        return;
    FShowColumnHeaders = Value;
    ApplyStyle();
}

void TListView::ApplyStyle()
{
    QTreeWidget* W = TreeWidget();
    W->setHeaderHidden(FViewStyle != vsReport || !FShowColumnHeaders);
    W->setSelectionBehavior(FRowSelect ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    W->setAllColumnsShowFocus(FRowSelect);
    W->setEditTriggers(FReadOnly ? QAbstractItemView::NoEditTriggers
                                 : QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
}

void TListView::ColumnsChanged()
{
    QTreeWidget* W = TreeWidget();
    W->setColumnCount(std::max(1, ColumnCount()));
    QStringList Headers;
    for (const auto& C : FColumns)
        Headers << C->Caption();
    if (Headers.isEmpty())
        Headers << QString();
    W->setHeaderLabels(Headers);
    for (int I = 0; I < ColumnCount(); ++I) {
        const TListColumn* C = FColumns[static_cast<size_t>(I)].get();
        W->setColumnWidth(I, C->ShownWidth());
        const Qt::Alignment A = C->Alignment() == taCenter ? Qt::AlignHCenter : (C->Alignment() == taRightJustify ? Qt::AlignRight : Qt::AlignLeft);
        W->headerItem()->setTextAlignment(I, A | Qt::AlignVCenter);
    }
}

void TListView::BoundsChanged()
{
    TWinControl::BoundsChanged();
    ColumnsChanged();
}

void TListView::ShowItem(TListItem* Item)
{
    QTreeWidgetItem* Row = Item->FRow;
    if (!Row)
        return;
    const bool Old = FShowing;
    FShowing = true;
    Qt::ItemFlags Flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (FCheckboxes)
        Flags |= Qt::ItemIsUserCheckable;
    if (!FReadOnly)
        Flags |= Qt::ItemIsEditable;
    Row->setFlags(Flags);
    Row->setText(0, Item->FCaption);
    for (int I = 0; I < Item->FSubItems.size(); ++I)
        Row->setText(I + 1, Item->FSubItems[I]);
    if (FCheckboxes)
        Row->setCheckState(0, Item->FChecked ? Qt::Checked : Qt::Unchecked);
    else
        Row->setData(0, Qt::CheckStateRole, QVariant());
    FShowing = Old;
}

void TListView::RowChanged(QTreeWidgetItem* Row)
{
    QTreeWidget* W = TreeWidget();
    TListItem* Item = FItems.Item(W->indexOfTopLevelItem(Row));
    if (!Item)
        return;
    if (Row->text(0) != Item->FCaption)
        Item->FCaption = Row->text(0);
    if (FCheckboxes) {
        const bool Now = Row->checkState(0) == Qt::Checked;
        if (Now != Item->FChecked) {
            Item->FChecked = Now;
            ItemChecked(Item);
        }
    }
}

void TListView::ItemChecked(TListItem* Item)
{
    OnItemChecked(this, Item);
}

TListItem* TListView::Selected() const
{
    QTreeWidget* W = TreeWidget();
    const QList<QTreeWidgetItem*> Rows = W->selectedItems();
    return Rows.isEmpty() ? nullptr : FItems.Item(W->indexOfTopLevelItem(Rows.first()));
}

int TListView::ItemIndex() const
{
    const TListItem* S = Selected();
    return S ? S->Index() : -1;
}

void TListView::SetItemIndex(int Value)
{
    if (Value < -1 || Value >= FItems.Count())
        return;
    QTreeWidget* W = TreeWidget();
    if (Value == -1) {
        W->clearSelection();
        return;
    }
    FItems.Item(Value)->SetSelected(true);
}

TPropList TListView::Published()
{
    TPropList L;
    L.push_back(Props::Property<TListView>(QStringLiteral("Checkboxes"), &TListView::Checkboxes, &TListView::SetCheckboxes, false));
    L.push_back(ControlProps::Color(DefaultColor));
    L.push_back(Props::Collection<TListView, TListColumn>(
        QStringLiteral("Columns"),
        [](const TListView& V) {
            std::vector<TListColumn*> R;
            for (int I = 0; I < V.ColumnCount(); ++I)
                R.push_back(V.Column(I));
            return R;
        },
        [](TListView& V) { V.ClearColumns(); }, [](TListView& V) { return V.AddColumn(); }, &TListColumn::ItemProperties));
    ControlProps::AddFont(L);
    L.push_back(Props::Collection<TListView, TListGroup>(
        QStringLiteral("Groups"),
        [](const TListView& V) {
            std::vector<TListGroup*> R;
            for (int I = 0; I < V.GroupCount(); ++I)
                R.push_back(V.Group(I));
            return R;
        },
        [](TListView& V) { V.ClearGroups(); }, [](TListView& V) { return V.AddGroup(); }, &TListGroup::ItemProperties));
    L.push_back(Props::Property<TListView>(QStringLiteral("GroupView"), &TListView::GroupView, &TListView::SetGroupView, false));
    L.push_back(ControlProps::ParentFont());
    L.push_back(Props::Property<TListView>(QStringLiteral("ReadOnly"), &TListView::ReadOnly, &TListView::SetReadOnly, false));
    L.push_back(Props::Property<TListView>(QStringLiteral("RowSelect"), &TListView::RowSelect, &TListView::SetRowSelect, false));
    L.push_back(Props::Property<TListView>(QStringLiteral("ShowColumnHeaders"), &TListView::ShowColumnHeaders, &TListView::SetShowColumnHeaders, DefaultShowColumnHeaders));
    L.push_back(Props::Property<TListView>(QStringLiteral("ViewStyle"), &TListView::ViewStyle, &TListView::SetViewStyle, DefaultViewStyle));
    L.push_back(Props::Event(QStringLiteral("OnItemChecked"), &TListView::OnItemChecked));
    ControlProps::AddSize(L, DefaultWidth, DefaultHeight);
    return L;
}

void RegisterComCtrlsUnit()
{
    RegisterControlsUnit();
    RegisterClass<TDateTimePicker, TWinControl>(QStringLiteral("TDateTimePicker"), TDateTimePicker::Published());
    RegisterClass<TListView, TWinControl>(QStringLiteral("TListView"), TListView::Published());
}
