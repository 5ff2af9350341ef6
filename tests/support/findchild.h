#pragma once
// Finding a window's controls in tests: by the object name the program's help and
// rights use. A name that is missing, names more than one object, or names an
// object of another class fails the test loudly, naming the window; the lookup
// then throws, so the test goes no further with a null control.
//
//   QTest::mouseClick(mwtest::child<QPushButton>(&form, "LoginB"), Qt::LeftButton);
//   mwtest::child<QAction>(&mainForm, "Export1")   // a submenu: the action that opens it

#include <QAction>
#include <QMenu>
#include <QObject>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <type_traits>

namespace mwtest {

template <class T>
T* child(QObject* root, const char* name)
{
    const auto where = [&] {
        if (!root)
            return std::string("no window");
        const QString rootName = root->objectName();
        return std::string(root->metaObject()->className()) + " \"" + rootName.toStdString() + "\"";
    };
    const auto fail = [&](const std::string& what) -> T* {
        const std::string message = std::string("child \"") + name + "\" of " + where() + ": " + what;
        ADD_FAILURE() << message;
        throw std::runtime_error(message);
    };
    if (!root)
        return fail("the window is null");

    const QList<QObject*> found = root->findChildren<QObject*>(QLatin1String(name));
    if (found.isEmpty())
        return fail("no such object name");
    if (found.size() > 1)
        return fail("the name is given to " + std::to_string(found.size()) + " objects");
    QObject* object = found.first();
    if (T* typed = qobject_cast<T*>(object))
        return typed;
    // A submenu stands in the menu as the action that opens it.
    if constexpr (std::is_base_of_v<QAction, T>) {
        if (auto* menu = qobject_cast<QMenu*>(object))
            if (T* action = qobject_cast<T*>(menu->menuAction()))
                return action;
    }
    return fail(std::string("it is a ") + object->metaObject()->className() + ", not a " +
                T::staticMetaObject.className());
}

} // namespace mwtest
