#pragma once
// An invalid entry in a dialog. Raised with the text the operator is to see, caught around the one check
// that failed and shown in the standard exception box.
#include <QString>
#include <stdexcept>

class UserError : public std::runtime_error {
public:
    explicit UserError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};
