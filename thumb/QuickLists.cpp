#include "QuickLists.h"

#include <cstdlib>
#include <cstring>
#include <new>

TCustomQuickList::~TCustomQuickList() {
    std::free(items_);
}

int TCustomQuickList::NextCapacity(int capacity) {
    return capacity <= 64 ? capacity + 16 : capacity + capacity / 4;
}

void TCustomQuickList::SetCapacity(int capacity) {
    if (capacity < count_) capacity = count_;
    if (capacity == capacity_) return;
    void** grown = static_cast<void**>(std::realloc(items_, std::size_t(capacity) * sizeof(void*)));
    if (!grown && capacity > 0) throw std::bad_alloc();
    items_ = grown;
    capacity_ = capacity;
}

void TCustomQuickList::Grow() {
    SetCapacity(NextCapacity(capacity_));
}

TBufList::TBufList(std::size_t recordSize, bool keepOrder)
    : recordSize_(recordSize ? recordSize : 1), keepOrder_(keepOrder) {}

TBufList::~TBufList() {
    for (int i = 0; i < allocated_; ++i)
        ::operator delete(items_[i]);
}

void* TBufList::Add() {
    if (count_ == allocated_) {
        if (allocated_ == capacity_) Grow();
        items_[allocated_] = ::operator new(recordSize_);
        ++allocated_;
    }
    return items_[count_++];
}

void TBufList::Delete(int index) {
    if (index < 0 || index >= count_) return;
    void* freed = items_[index];
    const int last = count_ - 1;
    if (keepOrder_) {
        std::memmove(items_ + index, items_ + index + 1, std::size_t(last - index) * sizeof(void*));
    } else {
        items_[index] = items_[last];
    }
    items_[last] = freed;
    count_ = last;
}

void TBufList::Clear() {
    count_ = 0;
}
