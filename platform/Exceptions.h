#pragma once

#include <QString>
#include <stdexcept>

// The few errors the program raises on purpose instead of answering with a
// result ("Unable to write to %s", a date that cannot be converted, "Cannot
// open file ..."). Nobody below the application object catches them; its
// handler of unexpected errors shows Message().
class EError : public std::runtime_error
{
public:
    explicit EError(const QString& Message)
        : std::runtime_error(Message.toStdString()), FMessage(Message)
    {
    }

    const QString& Message() const { return FMessage; }

private:
    QString FMessage;
};

// A write to an INI file that the system refused.
class EIniFileException : public EError
{
public:
    using EError::EError;
};

// A text or number that names no valid date or time.
class EConvertError : public EError
{
public:
    using EError::EError;
};

// A file that could not be opened or read.
class EFOpenError : public EError
{
public:
    using EError::EError;
};
