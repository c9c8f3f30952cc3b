#pragma once

#include <QString>

// The folders the program finds its files in, read once at construction.
// Texts are empty where the system gives no answer.
class TAppFrame
{
public:
    TAppFrame();

    // $XDG_CONFIG_HOME, else ~/.config; no trailing separator.
    QString AppDataPath;
    // The first of $XDG_CONFIG_DIRS, else /etc/xdg; no trailing separator.
    QString CommonAppDataPath;
    // The folder that holds the language folder, always ending with "/":
    // see ExePathFor.
    QString ExePath;
};

// ExePath of a program whose file is ModuleFile. The language folder is
// looked up as ExePath + "Toolbox_Language", so ExePath is where that folder
// lies, which differs by layout:
//   build tree      <build>/bin/lumidor, <build>/bin/Toolbox_Language
//                   -> the executable's folder;
//   installed       <prefix>/bin/lumidor, <prefix>/share/lumidor/Toolbox_Language
//                   -> <prefix>/share/lumidor/ (a language folder in /usr/bin
//                   would not belong there), found relative to the executable
//                   like GetSystemDir, so any prefix and a DESTDIR staging work.
// A language folder beside the executable wins; with neither, the executable's
// folder, where the language scan then finds nothing. Empty for an empty name.
// A helper program in <prefix>/libexec/lumidor (the shutdown tool) gets the
// ExePath of a program in <prefix>/bin, so that it speaks the same language.
QString ExePathFor(const QString& ModuleFile);

// The language folder: ExePath + "Toolbox_Language".
QString LanguageFolderOf(const TAppFrame& Frame);
// The suite's settings file, whose [Main] Language names the language in force.
QString SuiteSettingsFile(const TAppFrame& Frame);

// The folder that holds the shutdown tool: <exe dir>/../libexec/lumidor, so
// that an installed program and a build tree both find it. No trailing
// separator. Asked afresh on every call.
QString GetSystemDir();
// Tests point GetSystemDir at a folder of their own, holding a recording
// stand-in of the shutdown tool; an empty text restores the default.
void SetSystemDirForTesting(const QString& Folder);

// The full path of the running executable (/proc/self/exe); empty if unknown.
QString ModuleFileName();

// Appends a caller's suffix written with "\" separators (the literals
// "\Zelvo\Corvane V8\Main.ini", "Toolbox_Language", "\Shutdown.exe") to one
// of the folders above, giving a path of this system.
QString SystemPath(const QString& Base, const QString& Suffix);
