#include "app/UniqueInstance.h"
#include "resources/fonts/Fonts.h"
#include "resources/pictures/Pictures.h"

#include <QApplication>
#include <QIcon>
#include <QWidget>

namespace {

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/pictures/lumidor-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

int main(int argc, char** argv)
{
    // Units in their fixed order.
    UniqueInstance::Initialize();

    QApplication app(argc, argv);
    // Runs the start hooks: a later instance ends here, before any window.
    CheckSingleInstance();

    Pictures::Register();
    QApplication::setWindowIcon(ProgramIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("lumidor"));
    Fonts::InstallSubstitutes();

    QWidget window;
    window.setWindowTitle(QStringLiteral("Zelvo Lumidor"));
    window.resize(524, 350);
    UniqueInstance::SetMainWindowSource([&window] { return &window; });
    window.show();
    const int result = app.exec();

    UniqueInstance::SetMainWindowSource(nullptr);
    UniqueInstance::Finalize();
    return result;
}
