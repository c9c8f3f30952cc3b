#include "toolkit/ExtCtrls.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <cmath>

namespace {

// One ring of a bevel: the top-left in the first colour, the bottom-right in
// the second; R shrinks by the width.
void Frame3D(QPainter& P, QRect& R, const QColor& TopColor, const QColor& BottomColor, int Width)
{
    for (int I = 0; I < Width; ++I) {
        const int L = R.left(), T = R.top(), Rt = R.left() + R.width() - 1, B = R.top() + R.height() - 1;
        P.setPen(TopColor);
        P.drawLine(L, B, L, T);
        P.drawLine(L, T, Rt, T);
        P.setPen(BottomColor);
        P.drawLine(Rt, T, Rt, B);
        P.drawLine(Rt, B, L, B);
        R.adjust(1, 1, -1, -1);
    }
}

int BevelSize(TBevelCut Cut, int Width)
{
    return Cut == bvNone ? 0 : Width;
}

} // namespace

// ---------------------------------------------------------------------------
// TPanel

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner)
{
    SetControlStyle(csAcceptsControls | csClickEvents | csSetCaption | csReplicatable);
    SetColor(DefaultColor);
    SetBounds(0, 0, DefaultWidth, DefaultHeight);
}

void TPanel::SetBevelOuter(TBevelCut Value)
{
    if (Value == FBevelOuter)
        return;
    FBevelOuter = Value;
    Realign();
    Invalidate();
}

void TPanel::SetBevelInner(TBevelCut Value)
{
    if (Value == FBevelInner)
        return;
    FBevelInner = Value;
    Realign();
    Invalidate();
}

void TPanel::SetBevelWidth(int Value)
{
    if (Value == FBevelWidth || Value < 1)
        return;
    FBevelWidth = Value;
    Realign();
    Invalidate();
}

void TPanel::SetBorderWidth(int Value)
{
    if (Value == FBorderWidth || Value < 0)
        return;
    FBorderWidth = Value;
    Realign();
    Invalidate();
}

void TPanel::SetAlignment(TAlignment Value)
{
    if (Value == FAlignment)
        return;
    FAlignment = Value;
    Invalidate();
}

void TPanel::SetParentBackground(bool Value)
{
    if (Value == FParentBackground)
        return;
    FParentBackground = Value;
    SetControlStyle(Value ? ControlStyle() & ~csOpaque : ControlStyle() | csOpaque);
    Invalidate();
}

QRect TPanel::ClientRect() const
{
    const int Inset = BevelSize(FBevelOuter, FBevelWidth) + FBorderWidth + BevelSize(FBevelInner, FBevelWidth);
    return QRect(0, 0, Width(), Height()).adjusted(Inset, Inset, -Inset, -Inset);
}

void TPanel::Paint()
{
    QPainter& P = *Canvas().Painter();
    QRect R(0, 0, Width(), Height());
    if (ControlStyle() & csOpaque)
        P.fillRect(R, ColorToQColor(Color()));
    const QColor Light = ColorToQColor(clBtnHighlight);
    const QColor Shadow = ColorToQColor(clBtnShadow);
    if (FBevelOuter == bvRaised || FBevelOuter == bvLowered)
        Frame3D(P, R, FBevelOuter == bvRaised ? Light : Shadow, FBevelOuter == bvRaised ? Shadow : Light, FBevelWidth);
    else if (FBevelOuter == bvSpace)
        R.adjust(FBevelWidth, FBevelWidth, -FBevelWidth, -FBevelWidth);
    R.adjust(FBorderWidth, FBorderWidth, -FBorderWidth, -FBorderWidth);
    if (FBevelInner == bvRaised || FBevelInner == bvLowered)
        Frame3D(P, R, FBevelInner == bvRaised ? Light : Shadow, FBevelInner == bvRaised ? Shadow : Light, FBevelWidth);
    if (!Caption().isEmpty()) {
        Canvas().ApplyFont();
        const Qt::Alignment H = FAlignment == taCenter ? Qt::AlignHCenter : (FAlignment == taRightJustify ? Qt::AlignRight : Qt::AlignLeft);
        P.drawText(R, static_cast<int>(H | Qt::AlignVCenter | Qt::TextShowMnemonic), Caption());
    }
}

TPropList TPanel::Published()
{
    TPropList L;
    L.push_back(Props::Property<TPanel>(QStringLiteral("Alignment"), &TPanel::Alignment, &TPanel::SetAlignment, DefaultAlignment));
    L.push_back(Props::Property<TPanel>(QStringLiteral("BevelInner"), &TPanel::BevelInner, &TPanel::SetBevelInner, DefaultBevelInner));
    L.push_back(Props::Property<TPanel>(QStringLiteral("BevelOuter"), &TPanel::BevelOuter, &TPanel::SetBevelOuter, DefaultBevelOuter));
    L.push_back(Props::Property<TPanel>(QStringLiteral("BevelWidth"), &TPanel::BevelWidth, &TPanel::SetBevelWidth, DefaultBevelWidth));
    L.push_back(Props::Property<TPanel>(QStringLiteral("BorderWidth"), &TPanel::BorderWidth, &TPanel::SetBorderWidth, 0));
    L.push_back(ControlProps::Caption());
    L.push_back(ControlProps::Color(DefaultColor));
    ControlProps::AddFont(L);
    L.push_back(Props::Property<TPanel>(QStringLiteral("ParentBackground"), &TPanel::ParentBackground, &TPanel::SetParentBackground, DefaultParentBackground));
    L.push_back(ControlProps::ParentColor());
    L.push_back(ControlProps::ParentFont());
    L.push_back(ControlProps::OnClick());
    // Panels are created at their own default size.
    ControlProps::AddSize(L, DefaultWidth, DefaultHeight);
    return L;
}

// ---------------------------------------------------------------------------
// TImage

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner)
{
    SetBounds(0, 0, DefaultSize, DefaultSize);
}

QImage TImage::ReadPicture(const QString& Path)
{
    QImage Loaded;
    // A PNG named so is read by Qt's own decoder straight away: letting
    // the reader guess would load every image-format plugin first, a
    // noticeable part of the window's start. Anything else, or a file
    // whose name lies, takes the reader's full search.
    if (Path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) {
        QImageReader Png(Path, QByteArrayLiteral("png"));
        Png.setAutoDetectImageFormat(false);
        Loaded = Png.read();
    }
    if (Loaded.isNull()) {
        QImageReader Reader(Path);
        Loaded = Reader.read();
        if (Loaded.isNull())
            throw EFOpenError(QStringLiteral("Cannot open picture \"%1\". %2").arg(Path, Reader.errorString()));
    }
    return Loaded;
}

void TImage::SetPicture(const QString& Path)
{
    if (Path == FPicture)
        return;
    const QImage Loaded = Path.isEmpty() ? QImage() : ReadPicture(Path);
    FPicture = Path;
    FImage = Loaded;
    PrepareImage();
    Invalidate();
}

void TImage::SetImage(const QImage& Image)
{
    FPicture.clear();
    FImage = Image;
    PrepareImage();
    Invalidate();
}

void TImage::SetStretch(bool Value)
{
    if (Value == FStretch)
        return;
    FStretch = Value;
    Invalidate();
}

void TImage::SetCenter(bool Value)
{
    if (Value == FCenter)
        return;
    FCenter = Value;
    Invalidate();
}

void TImage::SetProportional(bool Value)
{
    if (Value == FProportional)
        return;
    FProportional = Value;
    Invalidate();
}

void TImage::SetTransparent(bool Value)
{
    if (Value == FTransparent)
        return;
    FTransparent = Value;
    PrepareImage();
    Invalidate();
}

void TImage::PrepareImage()
{
    FDrawn = FTransparent ? WithKeyColourClear(FImage) : FImage;
    FDense.reset();
}

QImage TImage::WithKeyColourClear(const QImage& Image)
{
    if (Image.isNull() || Image.hasAlphaChannel())
        return Image;
    // Without an alpha channel the bottom-left pixel names the see-through colour.
    QImage Result = Image.convertToFormat(QImage::Format_ARGB32);
    const QRgb Key = Result.pixel(0, Result.height() - 1) | 0xFF000000u;
    for (int Y = 0; Y < Result.height(); ++Y) {
        auto* Line = reinterpret_cast<QRgb*>(Result.scanLine(Y));
        for (int X = 0; X < Result.width(); ++X)
            if ((Line[X] | 0xFF000000u) == Key)
                Line[X] = 0;
    }
    return Result;
}

const QImage& TImage::DenseImage()
{
    if (!FDense) {
        FDense = QImage();
        const int Dot = FPicture.lastIndexOf(u'.');
        const QString Path = Dot > FPicture.lastIndexOf(u'/') ? FPicture.left(Dot) + QStringLiteral("@2x") + FPicture.mid(Dot) : QString();
        // A missing or unreadable variant leaves the picture as it is.
        if (!Path.isEmpty() && QFile::exists(Path)) {
            try {
                FDense = FTransparent ? WithKeyColourClear(ReadPicture(Path)) : ReadPicture(Path);
            } catch (const EFOpenError&) {
            }
        }
        if (!FDense->isNull())
            FDense->setDevicePixelRatio(2);
    }
    return *FDense;
}

void TImage::Paint()
{
    if (FDrawn.isNull())
        return;
    QPainter& P = *Canvas().Painter();
    const QRect Client(0, 0, Width(), Height());
    QRect Target(QPoint(0, 0), FDrawn.size());
    if (FStretch) {
        Target = Client;
        if (FProportional) {
            const QSize S = FDrawn.size().scaled(Client.size(), Qt::KeepAspectRatio);
            Target = QRect(QPoint(0, 0), S);
        }
    }
    if (FCenter)
        Target.moveCenter(Client.center());
    // The painter's scale is the surface's density, also when the widget
    // renders into an image of its own.
    const bool Dense = std::abs(P.deviceTransform().m11()) > 1 && !DenseImage().isNull();
    P.setClipRect(Client);
    P.setRenderHint(QPainter::SmoothPixmapTransform, FStretch || Dense);
    P.drawImage(Target, Dense ? *FDense : FDrawn);
}

QAccessible::Role TImage::AccessibleRole() const
{
    return QAccessible::Graphic;
}

TPropList TImage::Published()
{
    TPropList L;
    L.push_back(Props::Property<TImage>(QStringLiteral("Center"), &TImage::Center, &TImage::SetCenter, false));
    L.push_back(Props::Property<TImage>(QStringLiteral("Picture"), &TImage::Picture, &TImage::SetPicture, QString()));
    L.push_back(Props::Property<TImage>(QStringLiteral("Proportional"), &TImage::Proportional, &TImage::SetProportional, false));
    L.push_back(Props::Property<TImage>(QStringLiteral("Stretch"), &TImage::Stretch, &TImage::SetStretch, false));
    L.push_back(Props::Property<TImage>(QStringLiteral("Transparent"), &TImage::Transparent, &TImage::SetTransparent, false));
    L.push_back(ControlProps::OnClick());
    ControlProps::AddSize(L, DefaultSize, DefaultSize);
    return L;
}

void RegisterExtCtrlsUnit()
{
    RegisterControlsUnit();
    RegisterClass<TPanel, TCustomControl>(QStringLiteral("TPanel"), TPanel::Published());
    RegisterClass<TImage, TGraphicControl>(QStringLiteral("TImage"), TImage::Published());
}
