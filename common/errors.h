#pragma once
// The program's exception: a message for the application's error box.
// Message() is the whole text; what() is its UTF-8 form, which a C string
// ends at the first U+0000.

#include <QString>
#include <stdexcept>

class EError : public std::runtime_error {
public:
    explicit EError(const QString& message) : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& Message() const { return message_; }

private:
    QString message_;
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
