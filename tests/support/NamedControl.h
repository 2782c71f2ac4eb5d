#pragma once

#include <stdexcept>
#include <string>

#include <QObject>
#include <QString>

namespace quav::test {

// A window's control found by its object name, as a user's tool would find it; a name
// that is missing or of another type ends the test with the name.
template <class T> T* Named(const QObject& window, const char* name)
{
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        throw std::runtime_error(std::string("no control ") + name);
    }
    return found;
}

} // namespace quav::test
