#include "app/UniqueInstance.h"
#include "platform/UserFolders.h"
#include "resources/fonts/Fonts.h"
#include "resources/pictures/Pictures.h"
#include "toolkit/Forms.h"
#include "wizard/uMain.h"

#include <QApplication>
#include <QIcon>

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
    // The toolkit's application object runs on Qt's, which must exist before
    // the start hooks: the guard's wake-up listener needs its event loop.
    UniqueInstance::ReadStartActivation();
    QApplication qtApplication(argc, argv);

    // Unit initialisation, in this order; finalisation runs in reverse.
    Pictures::Register();
    UniqueInstance::Initialize();

    {
        TApplication::SetErrorLogPath(UserFolders::ErrorLog());
        TApplication application;
        // Runs the start-hook chain: a later instance ends here, before any window.
        Application->Initialize();

        QApplication::setWindowIcon(ProgramIcon());
        QGuiApplication::setDesktopFileName(QStringLiteral("lumidor"));
        Fonts::InstallSubstitutes();

        // The main window owns its taskbar button: Qt gives one to every top-level window.
        TfrmMain* frmMain = nullptr;
        Application->CreateForm(frmMain);
        Application->Run();
    }

    UniqueInstance::Finalize();
    return 0;
}
