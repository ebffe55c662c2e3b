// A form's control by its object name, failing the test (and answering null) when it is missing.
#pragma once

#include <QString>
#include <QWidget>
#include <gtest/gtest.h>

template <class T> T* Get(QWidget& form, const char* name) {
    T* w = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}
