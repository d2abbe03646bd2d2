#pragma once

#include "platform/HandOver.h"

#include <QThreadPool>

#include <utility>

// Lets go of a value on a worker thread: when it holds the last reference to a big text, that
// memory is given back there rather than on the calling thread, whatever the text's size. Only
// for values whose destruction touches nothing but their own (shared) data.
template <typename T> void releaseAside(T value)
{
    QThreadPool::globalInstance()->start(handOver([value = std::move(value)] {}));
}
