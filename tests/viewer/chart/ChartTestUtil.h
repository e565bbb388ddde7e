#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace charttest {

// Runs f on the modal dialog of type D as soon as it is shown. A dialog of
// another type, or none at all, is rejected so a failing test cannot hang.
template <typename D>
void whenModal(std::function<void(D*)> f, int attempts = 50)
{
    QTimer::singleShot(10, [f, attempts] {
        QWidget* w = QApplication::activeModalWidget();
        if (auto* d = qobject_cast<D*>(w)) {
            f(d);
            return;
        }
        if (attempts > 0) {
            whenModal<D>(f, attempts - 1);
            return;
        }
        ADD_FAILURE() << "expected dialog did not appear";
        if (auto* other = qobject_cast<QDialog*>(w))
            other->reject();
    });
}

} // namespace charttest
