#include "tools/ShutdownTool.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication App(argc, argv);
    TShutdownOptions Options;
    QString Error;
    if (!ParseShutdownArguments(App.arguments().mid(1), Options, Error)) {
        QTextStream(stderr) << "Shutdown.exe: " << Error << Qt::endl << ShutdownUsage() << Qt::endl;
        return ShutdownExitUsage;
    }
    TShutdownTool Tool(Options);
    return Tool.Run();
}
