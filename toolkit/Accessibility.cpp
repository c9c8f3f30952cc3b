#include "toolkit/Accessibility.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include "toolkit/Controls.h"

namespace {

// An object on the accessibility bus as AT-SPI names it: its connection and path.
struct TAtSpiObject
{
    QString Service;
    QDBusObjectPath Path;
};

QDBusArgument& operator<<(QDBusArgument& Out, const TAtSpiObject& O)
{
    Out.beginStructure();
    Out << O.Service << O.Path;
    Out.endStructure();
    return Out;
}

const QDBusArgument& operator>>(const QDBusArgument& In, TAtSpiObject& O)
{
    In.beginStructure();
    In >> O.Service >> O.Path;
    In.endStructure();
    return In;
}

} // namespace

Q_DECLARE_METATYPE(TAtSpiObject)

namespace {

// The widget that got the focus in the event being handled, if any.
QPointer<QWidget>& JustFocused()
{
    static QPointer<QWidget> W;
    return W;
}

// Qt 6.4 tells a screen reader that a description changed with the object
// where the text belongs, and Orca cannot speak that: the same event with
// the text, sent on the connection Qt's bridge publishes the tree on.
void SayDescriptionChanged(QWidget* W, const QString& Text)
{
    const QDBusConnection Bus(QStringLiteral("a11y"));
    QAccessibleInterface* I = QAccessible::queryAccessibleInterface(W);
    if (!Bus.isConnected() || !I)
        return;
    const QString Prefix = QStringLiteral("/org/a11y/atspi/accessible/");
    QDBusMessage M = QDBusMessage::createSignal(
        Prefix + QString::number(QAccessible::uniqueId(I)), QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("PropertyChange"));
    M << QStringLiteral("accessible-description") << 0 << 0 << QVariant::fromValue(QDBusVariant(Text))
      << QVariant::fromValue(TAtSpiObject{Bus.baseService(), QDBusObjectPath(Prefix + QStringLiteral("root"))});
    (void)Bus.send(M);
}

QAccessibleInterface* ControlFactory(const QString&, QObject* Object)
{
    TControl* C = TControl::OfWidget(Object);
    if (!C || C->AccessibleRole() == QAccessible::NoRole)
        return nullptr;
    return new TControlAccessible(static_cast<QWidget*>(Object));
}

} // namespace

TControlAccessible::TControlAccessible(QWidget* W) : QAccessibleWidget(W)
{
}

TControl* TControlAccessible::Control() const
{
    return TControl::OfWidget(object());
}

QAccessible::Role TControlAccessible::role() const
{
    const TControl* C = Control();
    return C ? C->AccessibleRole() : QAccessibleWidget::role();
}

QString TControlAccessible::text(QAccessible::Text T) const
{
    if (const TControl* C = Control()) {
        if (T == QAccessible::Name)
            return C->AccessibleName();
        if (T == QAccessible::Description && !C->AccessibleDescription().isEmpty())
            return C->AccessibleDescription();
    }
    return QAccessibleWidget::text(T);
}

QAccessible::State TControlAccessible::state() const
{
    QAccessible::State S = QAccessibleWidget::state();
    if (const TControl* C = Control())
        C->AccessibleState(S);
    return S;
}

QList<QPair<QAccessibleInterface*, QAccessible::Relation>> TControlAccessible::relations(QAccessible::Relation Match) const
{
    auto L = QAccessibleWidget::relations(Match);
    const TControl* C = Control();
    if (!C)
        return L;
    const auto Add = [&L](const TControl* Other, QAccessible::Relation R) {
        if (Other && Other->Widget())
            if (QAccessibleInterface* I = QAccessible::queryAccessibleInterface(Other->Widget()))
                L.append({I, R});
    };
    if (Match & QAccessible::Label)
        Add(C->LabelledBy(), QAccessible::Label);
    if (Match & QAccessible::Labelled)
        for (const TControl* Named : C->LabelFor())
            Add(Named, QAccessible::Labelled);
    return L;
}

QStringList TControlAccessible::actionNames() const
{
    QStringList Names = QAccessibleWidget::actionNames();
    if (qobject_cast<QAbstractButton*>(widget()) && widget()->isEnabled())
        Names.prepend(pressAction());
    return Names;
}

void TControlAccessible::doAction(const QString& ActionName)
{
    auto* Button = qobject_cast<QAbstractButton*>(widget());
    if (ActionName == pressAction() && Button && Button->isEnabled())
        Button->click();
    else
        QAccessibleWidget::doAction(ActionName);
}

// ---------------------------------------------------------------------------
// TControl: what a screen reader is told

QAccessible::Role TControl::AccessibleRole() const
{
    return QAccessible::NoRole;
}

QString TControl::AccessibleName() const
{
    return FLabelledBy ? FLabelledBy->AccessibleName() : AccessibleText(FCaption);
}

void TControl::AccessibleState(QAccessible::State&) const
{
}

void TControl::SetLabelledBy(TControl* Value)
{
    if (Value == FLabelledBy)
        return;
    // A control is never named through itself.
    for (const TControl* C = Value; C; C = C->FLabelledBy)
        if (C == this)
            return;
    if (FLabelledBy)
        std::erase(FLabelledBy->FLabelFor, this);
    FLabelledBy = Value;
    if (Value)
        Value->FLabelFor.push_back(this);
    AccessibleNameChanged();
}

void TControl::AccessibleNameChanged()
{
    if (!FWidget || HasState(csDestroying))
        return;
    if (AccessibleRole() == QAccessible::NoRole) {
        const QString Name = FLabelledBy ? AccessibleName() : QString();
        if (FWidget->accessibleName() != Name)
            FWidget->setAccessibleName(Name);
        UpdateBuddyLabel(Name);
    } else if (QAccessible::isActive()) {
        // Only for a listening screen reader: the event makes the interface.
        QAccessibleEvent E(FWidget.data(), QAccessible::NameChanged);
        QAccessible::updateAccessibility(&E);
    }
    for (TControl* Named : FLabelFor)
        Named->AccessibleNameChanged();
}

void TControl::UpdateBuddyLabel(const QString& Name)
{
    // Qt's interfaces report a widget as labelled only by a QLabel beside it
    // whose buddy it is (a drop-down's name is its current item): a hidden
    // one carries the labelling control's text.
    QWidget* Beside = FWidget->parentWidget();
    if (Name.isEmpty() || !Beside) {
        delete FBuddyLabel.data();
        return;
    }
    if (!FBuddyLabel) {
        FBuddyLabel = new QLabel(Beside);
        FBuddyLabel->hide();
        FBuddyLabel->setBuddy(FWidget);
    } else if (FBuddyLabel->parentWidget() != Beside) {
        FBuddyLabel->setParent(Beside);
    }
    // A QLabel's text marks accelerators, which the name must not lose.
    FBuddyLabel->setText(QString(Name).replace(u'&', QStringLiteral("&&")));
}

void TControl::SetAccessibleDescription(const QString& Value)
{
    if (Value == FAccessibleDescription)
        return;
    FAccessibleDescription = Value;
    if (!FWidget || HasState(csDestroying))
        return;
    if (AccessibleRole() == QAccessible::NoRole)
        FWidget->setAccessibleDescription(Value);
    // When the focus arrives with the change, the screen reader says the
    // description with the control: once is enough.
    if (QAccessible::isActive() && FWidget->hasFocus() && JustFocused() != FWidget)
        SayDescriptionChanged(FWidget, Value);
}

QString AccessibleText(const QString& Caption, bool StripAccel)
{
    QString T;
    T.reserve(Caption.size());
    for (qsizetype I = 0; I < Caption.size(); ++I) {
        if (StripAccel && Caption[I] == u'&' && I + 1 < Caption.size())
            ++I;
        T += Caption[I];
    }
    return T.simplified();
}

void InstallControlAccessibility()
{
    static bool Installed = false;
    if (Installed)
        return;
    Installed = true;
    QAccessible::installFactory(ControlFactory);
    qDBusRegisterMetaType<TAtSpiObject>();
    if (auto* App = qobject_cast<QApplication*>(QCoreApplication::instance()))
        QObject::connect(App, &QApplication::focusChanged, App, [](QWidget*, QWidget* Now) {
            JustFocused() = Now;
            QTimer::singleShot(0, [] { JustFocused() = nullptr; });
        });
}
