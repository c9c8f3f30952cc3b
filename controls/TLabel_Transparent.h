#pragma once

#include "toolkit/Controls.h"

enum TTextLayout
{
    tlTop,
    tlCenter,
    tlBottom
};
template <>
struct TEnumInfo<TTextLayout>
{
    static constexpr std::array Names{"tlTop", "tlCenter", "tlBottom"};
};

enum TEllipsisPosition
{
    epNone,
    epPathEllipsis,
    epEndEllipsis,
    epWordEllipsis
};
template <>
struct TEnumInfo<TEllipsisPosition>
{
    static constexpr std::array Names{"epNone", "epPathEllipsis", "epEndEllipsis", "epWordEllipsis"};
};

// A windowless label that is transparent from its creation: its text lies
// directly on whatever its parent paints beneath it. Every output and every
// measurement of its text goes through the one text routine (DrawText).
class TCustomLabel : public TGraphicControl
{
public:
    static constexpr int DefaultWidth = 65;
    static constexpr int DefaultHeight = 17;

    explicit TCustomLabel(TComponent* AOwner);
    ~TCustomLabel() override;

    TWinControl* FocusControl() const { return FFocusControl; }
    void SetFocusControl(TWinControl* Value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value);
    bool AutoSize() const { return FAutoSize; }
    virtual void SetAutoSize(bool Value);
    int GlowSize() const { return FGlowSize; }
    void SetGlowSize(int Value);
    TTextLayout Layout() const { return FLayout; }
    void SetLayout(TTextLayout Value);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool Value);
    bool ShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool Value);
    TEllipsisPosition EllipsisPosition() const { return FEllipsisPosition; }
    void SetEllipsisPosition(TEllipsisPosition Value);
    // Transparent exactly while csOpaque is absent from the control style.
    bool Transparent() const;
    void SetTransparent(bool Value);
    // True once Transparent was assigned: only then is it written.
    bool TransparentSet() const { return FTransparentSet; }

    // The character that the caption marks as accelerator, or empty.
    static QString AccelChar(const QString& Caption);

    // A label to a screen reader, its caption as the text it shows.
    QAccessible::Role AccessibleRole() const override;
    QString AccessibleName() const override;

    bool DialogChar(QChar Key) override;
    void Loaded() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    // The text to draw; the caption unless a descendant says otherwise.
    virtual QString TextForDrawing() const;
    // Draws the text into R, or with DT_CALCRECT measures it into R.
    virtual void RenderText(QRect& R, unsigned Flags);
    // Fits the bounds to the text while AutoSize is on.
    virtual void FitToText();

    void Paint() override;
    void TextChanged() override;
    void FontChanged() override;

private:
    int OutputText(const QString& Text, QRect& R, unsigned Flags);

    TWinControl* FFocusControl = nullptr;
    TAlignment FAlignment = taLeftJustify;
    bool FAutoSize = true;
    int FGlowSize = 0;
    TTextLayout FLayout = tlTop;
    bool FWordWrap = false;
    bool FShowAccelChar = true;
    bool FTransparentSet = false;
    TEllipsisPosition FEllipsisPosition = epNone;
};

// The label of the program's windows: TCustomLabel with its properties published.
class TLabel : public TCustomLabel
{
public:
    explicit TLabel(TComponent* AOwner);

    static TPropList Published();
};

// Registers TCustomLabel and TLabel for window descriptions; safe to call again.
void RegisterTLabel_TransparentUnit();
