#include "toolkit/Accessibility.h"

#include <QAbstractButton>

#include "toolkit/Controls.h"

namespace {

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
    if (T == QAccessible::Name)
        if (const TControl* C = Control())
            return C->AccessibleName();
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

void InstallControlAccessibility()
{
    static bool Installed = false;
    if (Installed)
        return;
    Installed = true;
    QAccessible::installFactory(ControlFactory);
}
