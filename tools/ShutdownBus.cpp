#include "tools/ShutdownBus.h"

#include <QDBusConnection>
#include <QStringList>
#include <QVariantMap>

namespace {

QString Quote(const QString& Text)
{
    QString Out = Text;
    Out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    Out.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + Out + QLatin1Char('"');
}

// Signature and busctl text of one argument, for the types the tool sends.
void FormatValue(const QVariant& Value, QString& Signature, QStringList& Words)
{
    switch (Value.metaType().id()) {
    case QMetaType::QString:
        Signature += QLatin1Char('s');
        Words << Quote(Value.toString());
        break;
    case QMetaType::UInt:
        Signature += QLatin1Char('u');
        Words << QString::number(Value.toUInt());
        break;
    case QMetaType::Int:
        Signature += QLatin1Char('i');
        Words << QString::number(Value.toInt());
        break;
    case QMetaType::ULongLong:
        Signature += QLatin1Char('t');
        Words << QString::number(Value.toULongLong());
        break;
    case QMetaType::LongLong:
        Signature += QLatin1Char('x');
        Words << QString::number(Value.toLongLong());
        break;
    case QMetaType::UChar:
        Signature += QLatin1Char('y');
        Words << QString::number(Value.value<uchar>());
        break;
    case QMetaType::Bool:
        Signature += QLatin1Char('b');
        Words << (Value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        break;
    case QMetaType::QStringList: {
        const QStringList List = Value.toStringList();
        Signature += QLatin1String("as");
        Words << QString::number(List.size());
        for (const QString& Item : List)
            Words << Quote(Item);
        break;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap Map = Value.toMap();
        Signature += QLatin1String("a{sv}");
        Words << QString::number(Map.size());
        for (auto It = Map.cbegin(); It != Map.cend(); ++It) {
            QString Inner;
            QStringList InnerWords;
            FormatValue(It.value(), Inner, InnerWords);
            Words << Quote(It.key()) << Inner << InnerWords;
        }
        break;
    }
    default:
        Signature += QLatin1Char('?');
        Words << Quote(Value.toString());
        break;
    }
}

class TRealShutdownBus : public IShutdownBus
{
public:
    bool Available(TShutdownBusKind Bus) override { return Connection(Bus).isConnected(); }

    QDBusMessage Call(TShutdownBusKind Bus, const QDBusMessage& Message) override
    {
        QDBusConnection C = Connection(Bus);
        if (!C.isConnected())
            return Message.createErrorReply(QDBusError::Disconnected, C.lastError().message());
        return C.call(Message, QDBus::Block, 25000);
    }

    bool ConnectSignal(TShutdownBusKind Bus, const QString& Service, const QString& Path,
        const QString& Interface, const QString& Name, QObject* Receiver, const char* Slot) override
    {
        return Connection(Bus).connect(Service, Path, Interface, Name, Receiver, Slot);
    }

private:
    static QDBusConnection Connection(TShutdownBusKind Bus)
    {
        return Bus == TShutdownBusKind::System ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
    }
};

// Prints every call that would change something and makes none; answers as a quiet system would.
class TDryRunShutdownBus : public IShutdownBus
{
public:
    explicit TDryRunShutdownBus(std::function<void(const QString&)> Out) : FOut(std::move(Out)) {}

    bool Available(TShutdownBusKind) override { return true; }

    QDBusMessage Call(TShutdownBusKind Bus, const QDBusMessage& Message) override
    {
        // A dry run reads nothing of the real system either: the tool goes on as with no answer.
        if (Message.interface() == QLatin1String("org.freedesktop.DBus.Properties"))
            return Message.createErrorReply(QDBusError::NotSupported, QStringLiteral("not read in a dry run"));
        FOut(FormatBusCall(Bus, Message));
        if (Message.member() == QLatin1String("Notify"))
            return Message.createReply(QVariant::fromValue(uint(0)));
        return Message.createReply();
    }

    bool ConnectSignal(TShutdownBusKind, const QString&, const QString&, const QString&, const QString&,
        QObject*, const char*) override
    {
        return false;
    }

private:
    std::function<void(const QString&)> FOut;
};

} // namespace

std::unique_ptr<IShutdownBus> CreateSystemShutdownBus()
{
    return std::make_unique<TRealShutdownBus>();
}

std::unique_ptr<IShutdownBus> CreateDryRunShutdownBus(std::function<void(const QString&)> Out)
{
    return std::make_unique<TDryRunShutdownBus>(std::move(Out));
}

QString FormatBusCall(TShutdownBusKind Bus, const QDBusMessage& Message)
{
    QString Signature;
    QStringList Words;
    for (const QVariant& Arg : Message.arguments())
        FormatValue(Arg, Signature, Words);
    QStringList Line{QStringLiteral("busctl"),
        Bus == TShutdownBusKind::System ? QStringLiteral("--system") : QStringLiteral("--user"),
        QStringLiteral("call"), Message.service(), Message.path(), Message.interface(), Message.member()};
    if (!Signature.isEmpty())
        Line << Signature << Words;
    return Line.join(QLatin1Char(' '));
}


QString BusErrorText(const QDBusMessage& Reply)
{
    const QString Name = Reply.errorName();
    return Reply.errorMessage().isEmpty() ? Name : Reply.errorMessage() + QStringLiteral(" (") + Name + QLatin1Char(')');
}
