#pragma once

#include <QImage>

#include "toolkit/Controls.h"

enum TBevelCut
{
    bvNone,
    bvLowered,
    bvRaised,
    bvSpace
};
template <>
struct TEnumInfo<TBevelCut>
{
    static constexpr std::array Names{"bvNone", "bvLowered", "bvRaised", "bvSpace"};
};

// A panel: a container with bevels and an optional centred caption. With
// ParentBackground on (the default) it shows its parent's surface; off, it
// fills itself with Color.
class TPanel : public TCustomControl
{
public:
    static constexpr int DefaultWidth = 185;
    static constexpr int DefaultHeight = 41;
    static constexpr TColor DefaultColor = clBtnFace;
    static constexpr TBevelCut DefaultBevelOuter = bvRaised;
    static constexpr TBevelCut DefaultBevelInner = bvNone;
    static constexpr int DefaultBevelWidth = 1;
    static constexpr TAlignment DefaultAlignment = taCenter;
    static constexpr bool DefaultParentBackground = true;

    explicit TPanel(TComponent* AOwner);

    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut Value);
    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut Value);
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int Value);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int Value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value);
    bool ParentBackground() const { return FParentBackground; }
    void SetParentBackground(bool Value);

    // Inside the bevels and the border.
    QRect ClientRect() const override;

    static TPropList Published();

protected:
    void Paint() override;

private:
    TBevelCut FBevelOuter = DefaultBevelOuter;
    TBevelCut FBevelInner = DefaultBevelInner;
    int FBevelWidth = DefaultBevelWidth;
    int FBorderWidth = 0;
    TAlignment FAlignment = DefaultAlignment;
    bool FParentBackground = DefaultParentBackground;
};

// A picture from a PNG file or Qt resource. Unstretched it is drawn at its
// own size from the top-left corner (centred with Center) and cut at the
// control's edges; stretched it fills the control.
class TImage : public TGraphicControl
{
public:
    static constexpr int DefaultSize = 105;

    explicit TImage(TComponent* AOwner);

    // The picture's path (":/pictures/logo.png" or a file). Throws EFOpenError
    // when the file cannot be read as a picture; an empty path clears it.
    const QString& Picture() const { return FPicture; }
    void SetPicture(const QString& Path);
    const QImage& Image() const { return FImage; }
    void SetImage(const QImage& Image);

    bool Stretch() const { return FStretch; }
    void SetStretch(bool Value);
    bool Center() const { return FCenter; }
    void SetCenter(bool Value);
    bool Proportional() const { return FProportional; }
    void SetProportional(bool Value);
    // A picture without an alpha channel shows its bottom-left pixel's colour
    // as see-through.
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool Value);

    // A picture to a screen reader: decorative, without a name unless the
    // window gives it one.
    QAccessible::Role AccessibleRole() const override;

    static TPropList Published();

protected:
    // On a high-density surface draws the picture's "@2x" variant beside the
    // file ("logo@2x.png"), when there is one, instead of scaling it up.
    void Paint() override;

private:
    static QImage ReadPicture(const QString& Path);
    static QImage WithKeyColourClear(const QImage& Image);
    void PrepareImage();
    const QImage& DenseImage();

    QString FPicture;
    QImage FImage;
    QImage FDrawn;
    // Read at the first paint that needs it; null when the file has none.
    std::optional<QImage> FDense;
    bool FStretch = false;
    bool FCenter = false;
    bool FProportional = false;
    bool FTransparent = false;
};

void RegisterExtCtrlsUnit();
