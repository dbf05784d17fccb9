#pragma once
// The program's exception: a message for the application's error box.
// what() is UTF-8.

#include <QString>
#include <stdexcept>

class EError : public std::runtime_error {
public:
    explicit EError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromUtf8(what()); }
};

// An integer conversion that failed: "'%s' is not a valid integer value".
class EConvertError : public EError {
public:
    using EError::EError;
};

// A settings write that failed: "Unable to write to %s".
class EIniFileError : public EError {
public:
    using EError::EError;
};
