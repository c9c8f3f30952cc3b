// The start-up baseline of a real program: a Qt window of the wizard's size
// that shows one line of text, so that it pays the font system's start too.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int Argc, char** Argv)
{
    QApplication App(Argc, Argv);
    QWidget Window;
    Window.resize(524, 350);
    QLabel Line(QStringLiteral("Shut down this computer at a time of your choice."), &Window);
    Line.move(16, 16);
    Window.show();
    return App.exec();
}
