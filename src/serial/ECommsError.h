#pragma once

#include <stdexcept>
#include <string>

namespace quav {

/// Raised by the port object when a port cannot be claimed. Carries only its message.
class ECommsError : public std::runtime_error
{
public:
    explicit ECommsError(const std::string& message) : std::runtime_error(message) {}
};

/// Raised when the port log cannot be created, written or closed.
class EInOutError : public std::runtime_error
{
public:
    explicit EInOutError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace quav
