// Runs the GUI thread's event loop until a condition holds or the time is up (thumb tests).
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

inline bool RunUntil(const std::function<bool()>& pred, int timeoutMs) {
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (pred() || clock.elapsed() >= timeoutMs) loop.quit();
    });
    poll.start(1);
    if (!pred()) loop.exec();
    return pred();
}
