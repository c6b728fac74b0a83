#pragma once
// A window's part (a widget, an action, a timer) found by its object name, as a user finds it by
// what it shows: the windows keep their parts to themselves. A name that is not there fails the
// test that asked for it.

#include <QObject>
#include <QString>
#include <stdexcept>
#include <string>

template <class Part>
Part& Child(const QObject& window, const char* name)
{
    Part* part = window.findChild<Part*>(QString::fromLatin1(name));
    if (!part)
        throw std::logic_error("no part named " + std::string(name) + " in " + window.objectName().toStdString());
    return *part;
}
