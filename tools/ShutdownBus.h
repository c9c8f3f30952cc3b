#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// logind's manager object, where the tool asks for the power-off or reboot.
namespace Logind {
inline const QString Service = QStringLiteral("org.freedesktop.login1");
inline const QString Path = QStringLiteral("/org/freedesktop/login1");
inline const QString Manager = QStringLiteral("org.freedesktop.login1.Manager");
} // namespace Logind

enum class TShutdownBusKind { System, Session };

// The tool's only door to D-Bus, so that the dry run and the tests can stand
// in for the real buses.
class IShutdownBus
{
public:
    virtual ~IShutdownBus() = default;

    // Whether the bus can be reached at all.
    virtual bool Available(TShutdownBusKind Bus) = 0;
    // A blocking call; the answer is a reply or an error message.
    virtual QDBusMessage Call(TShutdownBusKind Bus, const QDBusMessage& Message) = 0;
    virtual bool ConnectSignal(TShutdownBusKind Bus, const QString& Service, const QString& Path,
        const QString& Interface, const QString& Name, QObject* Receiver, const char* Slot) = 0;
};

// The real buses of this machine.
std::unique_ptr<IShutdownBus> CreateSystemShutdownBus();
// Prints every call that would change something, through Out, and makes
// none; answers as a quiet system would.
std::unique_ptr<IShutdownBus> CreateDryRunShutdownBus(std::function<void(const QString&)> Out);

// One line per call, in busctl's syntax, so that a reader can replay it:
// busctl --system call org.freedesktop.login1 /org/freedesktop/login1
//     org.freedesktop.login1.Manager PowerOff b false
QString FormatBusCall(TShutdownBusKind Bus, const QDBusMessage& Message);

// An error answer as a person reads it: its message and its name.
QString BusErrorText(const QDBusMessage& Reply);
