#pragma once

#include <QAccessibleWidget>

class TControl;

// The accessible interface of a control that Qt has no fitting one for: a
// windowless control (label, picture), a panel, a radio button that the
// toolkit groups itself. Role, name and state come from the control; the
// rectangle, focus and visibility from its widget, so that a control on a
// hidden page is not reported as showing.
class TControlAccessible : public QAccessibleWidget
{
public:
    explicit TControlAccessible(QWidget* W);

    QAccessible::Role role() const override;
    QString text(QAccessible::Text T) const override;
    QAccessible::State state() const override;
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(QAccessible::Relation Match) const override;
    QStringList actionNames() const override;
    void doAction(const QString& ActionName) override;

private:
    TControl* Control() const;
};

// Puts the controls' interfaces before Qt's own; done once, by the first
// control made (an application object exists by then).
void InstallControlAccessibility();
