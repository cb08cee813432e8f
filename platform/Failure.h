#pragma once
// An error whose text is for the operator, kept as Qt text; what() gives it as
// UTF-8 for code that knows only std::exception.
#include <QString>
#include <exception>
#include <stdexcept>

namespace Platform {

class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString& message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {
    }
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// The text of any exception: a Failure's own, else what() read as UTF-8.
inline QString messageOf(const std::exception& e)
{
    if (const auto* failure = dynamic_cast<const Failure*>(&e))
        return failure->message();
    return QString::fromUtf8(e.what());
}

} // namespace Platform
