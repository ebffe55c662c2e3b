#include "QuickLists.h"

#include <algorithm>
#include <new>
#include <utility>

int TCustomQuickList::NextCapacity(int capacity) {
    return capacity <= 64 ? capacity + 16 : capacity + capacity / 4;
}

void TCustomQuickList::SetCapacity(int capacity) {
    capacity = std::max(capacity, Held());
    items_.resize(std::size_t(capacity), nullptr);
}

void TCustomQuickList::Grow() {
    SetCapacity(NextCapacity(Capacity()));
}

TBufList::TBufList(std::size_t recordSize, bool keepOrder)
    : recordSize_(recordSize ? recordSize : 1), keepOrder_(keepOrder) {}

TBufList::~TBufList() {
    for (int i = 0; i < allocated_; ++i)
        ::operator delete(items_[i]);
}

void* TBufList::Add() {
    if (count_ == allocated_) {
        if (allocated_ == Capacity()) Grow();
        items_[allocated_] = ::operator new(recordSize_);
        ++allocated_;
    }
    return items_[count_++];
}

void TBufList::Delete(int index) {
    if (index < 0 || index >= count_) return;
    const int last = count_ - 1;
    // The freed buffer goes to the end of the live items, where it becomes the first spare one.
    if (keepOrder_)
        std::rotate(items_.begin() + index, items_.begin() + index + 1, items_.begin() + count_);
    else
        std::swap(items_[index], items_[last]);
    count_ = last;
}

void TBufList::Clear() {
    count_ = 0;
}
