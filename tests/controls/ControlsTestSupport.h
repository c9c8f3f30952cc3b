#pragma once

#include <QFile>
#include <QImage>
#include <QString>

#include <memory>

#include "controls/PPageNote.h"
#include "controls/TLabel_Transparent.h"
#include "toolkit/Forms.h"

namespace ControlsTest {

struct TFree
{
    void operator()(TComponent* C) const { FreeComponent(C); }
};
template <class T>
using TOwned = std::unique_ptr<T, TFree>;

inline void RegisterAll()
{
    RegisterToolkitClasses();
    RegisterPPageNoteUnit();
    RegisterTLabel_TransparentUnit();
}

// A description from tests/data/controls, with @DATA@ standing for tests/data.
inline QString Description(const QString& Name)
{
    QFile File(QStringLiteral(LUMIDOR_TEST_DATA "/controls/") + Name);
    if (!File.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(File.readAll()).replace(QStringLiteral("@DATA@"), QStringLiteral(LUMIDOR_TEST_DATA));
}

inline TOwned<TForm> LoadForm(const QString& Text, const QString& Name = QStringLiteral("test.txt"))
{
    RegisterAll();
    TOwned<TForm> Form(new TForm(nullptr));
    Form->LoadDescriptionText(Text, Name);
    return Form;
}

template <class T>
T* Find(TComponent* Root, const char* Name)
{
    return dynamic_cast<T*>(Root->FindComponent(QString::fromLatin1(Name)));
}

// The smallest rectangle of pixels that differ from Background.
inline QRect InkOn(const QImage& Image, QRgb Background)
{
    QRect Box;
    for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X)
            if (Image.pixel(X, Y) != Background)
                Box |= QRect(X, Y, 1, 1);
    return Box;
}

} // namespace ControlsTest
